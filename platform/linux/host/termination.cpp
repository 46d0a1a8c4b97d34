#include "platform/linux/host/termination.h"

#include <signal.h>

#include <thread>

#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_server.h"

void endOnTerminationSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  std::thread([signals, queue = currentQueue()] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) continue;
      loseWindows(*queue);
      giveUpDesktop();
    }
  }).detach();
}
