#include "widgets/elidingdelegate.h"

ElidingDelegate::ElidingDelegate(Qt::TextElideMode mode, QObject *parent)
    : QStyledItemDelegate(parent), m_mode(mode)
{
}

void ElidingDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = m_mode;
}
