#ifndef KWN_APP_STARTUP_H
#define KWN_APP_STARTUP_H

// Before the application object exists: true when the toolkit will find a
// display to open its window on. Otherwise writes one sentence to standard
// error saying how to start the tool under a virtual display and returns
// false, instead of letting the toolkit abort.
bool checkGraphicalDisplay(int argc, char **argv);

// Before the application object exists: lays the window out in logical pixels
// scaled by the screen's resolution, with images drawn for that resolution, as
// Qt 6 always does and Qt 5 does only when asked. Qt's own variables
// (QT_SCALE_FACTOR, QT_ENABLE_HIGHDPI_SCALING=0, ...) still override it.
// Qt 5 keeps its own rounding to whole factors (a 144-dpi screen scales by
// 2), as it takes the factor from the physical resolution, and a monitor of
// 100 dpi would otherwise scale by 1.04 and blur.
void enableHighDpiScaling();

// After the application object exists: parsed profile records are kept in
// the user's cache folder between starts, so that an unchanged catalogue
// opens without being parsed again.
void useUserCacheFolder();

class QWidget;

// The whole start: the display check, the single-instance hand-over, the main
// window at 740 x 600, shown, and the event loop. `beforeShow`, when given,
// sees the window just before it is shown (the start-up bench watches it).
int runTool(int argc, char **argv, void (*beforeShow)(QWidget *) = nullptr);

#endif
