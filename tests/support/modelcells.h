#ifndef KWN_TESTS_SUPPORT_MODELCELLS_H
#define KWN_TESTS_SUPPORT_MODELCELLS_H

// What a view shows of a model: the text of a cell, of a whole column, and
// the colour a cell's text is drawn in.

#include <QAbstractItemModel>
#include <QBrush>
#include <QColor>
#include <QStringList>

inline QString cellText(const QAbstractItemModel &model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

inline QStringList columnTexts(const QAbstractItemModel &model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << cellText(model, row, column);
    return texts;
}

// The colour of the cell's text; an invalid one when the view's own.
inline QColor textColour(const QAbstractItemModel &model, int row, int column)
{
    const QVariant brush = model.data(model.index(row, column), Qt::ForegroundRole);
    return brush.isValid() ? brush.value<QBrush>().color() : QColor();
}

#endif
