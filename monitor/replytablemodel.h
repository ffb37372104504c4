#ifndef KWN_MONITOR_REPLYTABLEMODEL_H
#define KWN_MONITOR_REPLYTABLEMODEL_H

// The Replies tab of the Bus page: one row per node asked and request
// message, as the reply tool's table has them (requests, answered,
// unanswered, median, 95th percentile and maximum delay in ms), the
// unanswered count red when there are any. Rows stay in order of first
// request, appended as they come; a sorting proxy sorts them by SortRole.

#include <QAbstractTableModel>

class ReplyTool;

class ReplyTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int SortRole = Qt::UserRole;

    explicit ReplyTableModel(ReplyTool *replies, QObject *parent = nullptr);
    ReplyTool *replies() const { return m_replies; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void follow();

    ReplyTool *m_replies;
    int m_rows = 0; // rows announced
};

#endif
