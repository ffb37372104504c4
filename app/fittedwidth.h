#ifndef KWN_APP_FITTEDWIDTH_H
#define KWN_APP_FITTEDWIDTH_H

// The pages' fixed widths were chosen for a compact font; where the system
// font is wider, these grow them just enough that no text is clipped. Both
// pages size their header fields through them, so the two headers match.

class QLabel;
class QLineEdit;

// A fixed width of at least `width`, wider when the label's text needs it.
void setFixedWidthAtLeast(QLabel *label, int width);

// A fixed width of at least `width` that shows six hexadecimal digits whole.
void setNodeIdWidth(QLineEdit *edit, int width);

#endif
