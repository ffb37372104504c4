#ifndef KWN_WIDGETS_COMBOBOXTEXT_H
#define KWN_WIDGETS_COMBOBOXTEXT_H

// The pages follow their combo boxes by the text of the current item, on every
// change of index. Qt 6 has no currentIndexChanged(const QString &), and its
// currentTextChanged follows the text, not the index, so it need not fire
// between two items of the same text (two named values may share a
// description); the index signal is followed here and the item's text sent on.

#include <QComboBox>
#include <QObject>

// Calls `slot` of `receiver` with the text of the new current item on every
// change of the box's current index ("" when the box is emptied).
template<typename Receiver>
void connectCurrentIndexText(QComboBox *box, Receiver *receiver, void (Receiver::*slot)(const QString &))
{
    QObject::connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), receiver,
                     [box, receiver, slot](int index) { (receiver->*slot)(box->itemText(index)); });
}

#endif
