#ifndef KWN_WIDGETS_FITTEDWIDTH_H
#define KWN_WIDGETS_FITTEDWIDTH_H

// The pages' fixed widths were chosen for a compact font; where the system
// font is wider, these grow them just enough that no text is clipped. Both
// pages size their fixed-width labels, buttons and node ID fields through
// them, so the two pages match.

class QLabel;
class QLineEdit;
class QPushButton;

// A fixed width of at least `width`, wider when the label's text needs it.
void setFixedWidthAtLeast(QLabel *label, int width);

// The same for a push button: its text and icon inside the style's margins.
void setFixedWidthAtLeast(QPushButton *button, int width);

// A fixed width of at least `width` that shows six hexadecimal digits whole.
void setNodeIdWidth(QLineEdit *edit, int width);

#endif
