#ifndef KWN_CLI_INTERRUPT_H
#define KWN_CLI_INTERRUPT_H

// Ctrl-C (and SIGTERM) for the commands that run until stopped: the signal
// sets a flag for loops that read, and wakes an event loop that waits.

class QEventLoop;

namespace cli {

// From now on the signals set the flag instead of ending the process; a
// blocked read returns at once.
void catchInterrupt();
bool interrupted();
// Makes `loop` quit when the signal comes, for as long as it exists.
void quitOnInterrupt(QEventLoop &loop);

} // namespace cli

#endif
