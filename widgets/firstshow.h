#ifndef KWN_WIDGETS_FIRSTSHOW_H
#define KWN_WIDGETS_FIRSTSHOW_H

// Work that waits until a widget is first shown: by then it has the font and
// the room it will be shown with, and a page the user never opens costs
// nothing.

#include <functional>

class QWidget;

// Calls `call` once, as `widget` is first shown (at once if it is shown now).
void callOnFirstShow(QWidget *widget, std::function<void()> call);

#endif
