#ifndef KWN_MONITOR_LATESTMESSAGEMODEL_H
#define KWN_MONITOR_LATESTMESSAGEMODEL_H

// The "latest per message" view of the Bus page: one row per (source address,
// message identifier) with the last frame's texts, how many were seen, at
// what rate and the time between the last two. A batch updates rows in place
// (one dataChanged) and appends the
// new ones (one insertion). The quick filter is judged when a row first
// appears and whenever the filter changes. At most `capacity` rows are kept:
// past it, the rows seen longest ago go (a tenth at a time, counted), so a
// bus of ever new sources cannot take all memory. Only frames whose checksum
// holds are counted, as for the Nodes tab.
// Rows stay in order of first appearance; a sorting proxy sorts them by
// SortRole, which gives numbers for the time, count, rate and Δ.

#include "codec/busrecord.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QVector>

class LatestMessageModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Device, Message, Route, Values, Count, Rate, Delta, ColumnCount };
    // What a column sorts by: the time in µs, the count, the rate per second
    // and the Δ in µs as numbers (none: -1), the text for the others.
    static constexpr int SortRole = Qt::UserRole;

    static constexpr int kDefaultCapacity = 100000;

    explicit LatestMessageModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Frames whose header could be read count; noise and events do not.
    void append(const QVector<BusRecord> &batch);
    void clear();
    void setFilterText(const QString &text);
    // Empties the view and sets how many rows it keeps at most.
    void setCapacity(int capacity);
    int capacity() const { return maxEntries; }
    // Rows dropped because there were more than `capacity`.
    quint64 droppedCount() const { return dropped; }
    int entryCount() const { return entries.size(); }

    // The last record of a row; nullptr for a row that does not exist.
    const BusRecord *recordAt(int row) const;

private:
    struct Entry
    {
        BusRecord last;
        quint64 count = 0;
        double intervalUs = 0; // smoothed time between two frames
        qint64 deltaUs = -1;   // between the last two frames
        quint64 lastSeen = 0;  // batch number of the last frame
    };

    QString entryText(const Entry &entry, int column) const;
    QVariant sortKey(const Entry &entry, int column) const;
    QVariant foreground(const Entry &entry, int column) const;
    void dropOldest();
    void rebuildRows();

    QVector<Entry> entries;        // in order of first appearance
    QHash<quint64, int> entryOfKey;
    QVector<int> rows;             // entries shown
    QHash<int, int> rowOfEntry;
    BusFilter filter;
    int maxEntries = kDefaultCapacity;
    quint64 dropped = 0;
    quint64 batchNumber = 0;
};

#endif
