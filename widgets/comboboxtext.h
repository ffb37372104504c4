#ifndef KWN_WIDGETS_COMBOBOXTEXT_H
#define KWN_WIDGETS_COMBOBOXTEXT_H

// The pages follow their combo boxes by the text of the current item, through
// Qt 5's currentIndexChanged(const QString &). Qt 6 dropped that signal, and
// its currentTextChanged is meant to follow the text, not the index, so it
// need not fire between two items of the same text (two named values may
// share a description); there a small relay on the box emits the new item's
// text on every change of index, as Qt 5 did.

class QComboBox;
class QObject;

// Connects `slot` (a SLOT(...) taking const QString &) of `receiver` to every
// change of the box's current index, with the text of the new current item.
void connectCurrentIndexText(QComboBox *box, const QObject *receiver, const char *slot);

#endif
