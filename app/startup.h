#ifndef KWN_APP_STARTUP_H
#define KWN_APP_STARTUP_H

// Before the application object exists: true when the toolkit will find a
// display to open its window on. Otherwise writes one sentence to standard
// error saying how to start the tool under a virtual display and returns
// false, instead of letting the toolkit abort.
bool checkGraphicalDisplay(int argc, char **argv);

#endif
