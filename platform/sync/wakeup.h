// A wake-up counter (an eventfd): any thread signals it, and poll or a notifier sees it readable
// until it is drained. One idiom for every wait that another thread must be able to end.
#pragma once

// A non-blocking, close-on-exec counter; -1 with errno set when none can be had.
int OpenWakeup();
void SignalWakeup(int fd);
// Takes every signal given so far: the counter is quiet until the next one.
void DrainWakeup(int fd);
