#include "termination.h"

#include <signal.h>

#include <thread>

#include "user32.h"
#include "window_server.h"

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
