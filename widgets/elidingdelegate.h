#ifndef KWN_WIDGETS_ELIDINGDELEGATE_H
#define KWN_WIDGETS_ELIDINGDELEGATE_H

// Draws a view's cells as the standard delegate does, but elides a text too
// long for its cell where it is told to. A view has one elide mode for all its
// columns; this one goes on the columns that want another (names keep their
// start and end, so two similar ones still differ on screen).

#include <QStyledItemDelegate>

class ElidingDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ElidingDelegate(Qt::TextElideMode mode, QObject *parent = nullptr);

    Qt::TextElideMode elideMode() const { return m_mode; }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    Qt::TextElideMode m_mode;
};

#endif
