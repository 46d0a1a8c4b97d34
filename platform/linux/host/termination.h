// How the Linux player ends when it is asked to from outside: SIGINT,
// SIGTERM and SIGHUP end it the way closing its window does.
#pragma once

// Called first thing on the thread that will run the message loop, before
// any other thread exists: the three signals are blocked for every thread
// and taken by a thread of their own, which hands each one to the window
// layer (loseWindows on the calling thread's queue) and gives up the desktop
// (giveUpDesktop). Start-up then runs to its end, the windows are destroyed,
// and the loop ends with exit code 0, whatever the X server does.
void endOnTerminationSignals();
