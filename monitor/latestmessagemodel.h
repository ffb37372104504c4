#ifndef KWN_MONITOR_LATESTMESSAGEMODEL_H
#define KWN_MONITOR_LATESTMESSAGEMODEL_H

// The "latest per message" view of the Bus page: one row per (source address,
// message identifier) with the last frame's texts, how many were seen and at
// what rate. A batch updates rows in place (one dataChanged) and appends the
// new ones (one insertion). The quick filter is judged when a row first
// appears and whenever the filter changes.

#include "codec/busrecord.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QVector>

class LatestMessageModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Device, Message, Route, Values, Count, Rate, ColumnCount };

    explicit LatestMessageModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Frames whose header could be read count; noise does not.
    void append(const QVector<BusRecord> &batch);
    void clear();
    void setFilterText(const QString &text);

    // The last record of a row; nullptr for a row that does not exist.
    const BusRecord *recordAt(int row) const;

private:
    struct Entry
    {
        BusRecord last;
        quint64 count = 0;
        double intervalMs = 0; // smoothed time between two frames
    };

    QString entryText(const Entry &entry, int column) const;

    QVector<Entry> entries;        // in order of first appearance
    QHash<quint64, int> entryOfKey;
    QVector<int> rows;             // entries shown
    QHash<int, int> rowOfEntry;
    QByteArray needle;
};

#endif
