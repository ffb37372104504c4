#ifndef KWN_MONITOR_DETAILPANEL_H
#define KWN_MONITOR_DETAILPANEL_H

// Under the Bus page's list, three tabs: "Frame", the list's current row in
// full (the session decodes it, again only when it is another frame) with
// links to the rows it is paired with, "Nodes", every node heard, with
// "Silent after" in the tab bar's corner, and "Replies", the requests to
// each node and message and how soon they were answered, with the reply
// timeout in the corner. The tab chosen, "Silent after" and the timeout are
// there again next time.

#include "codec/busrecord.h"

#include <QTabWidget>

class BusSession;
class FrameDetailPane;
class NodeTableModel;
class QLabel;
class QMenu;
class QModelIndex;
class QPoint;
class QSortFilterProxyModel;
class QSpinBox;
class QTableView;
class ReplyTableModel;

class DetailPanel : public QTabWidget
{
    Q_OBJECT

public:
    DetailPanel(BusSession *session, NodeTableModel *nodes, ReplyTableModel *replies, QWidget *parent = nullptr);

public slots:
    // The record to show, or null for none; an event shows nothing.
    void showRecord(const BusRecord *record);
    // The sequence number of the record shown (-1: none), for its links.
    void showReplyLinks(qint64 sequence);

signals:
    void frameOpened(const QString &hexText);
    void putInSendRequested(const QByteArray &frame);
    // A parameter's menu of the frame shown is being made: whoever plots adds
    // its entries.
    void parameterMenuRequested(QMenu *menu, const BusRecord &record, const QString &parameter);
    // A node double-clicked: the list is to be filtered by it.
    void filterRequested(const QString &text);
    // A row of Replies double-clicked: the list is to show this filter expression.
    void filterExpressionRequested(const QString &expression);
    // A link followed: the list is to select the record of this number.
    void rowRequested(quint64 sequence);
    // "Plot reply time" of a row of Replies (a ReplyStatistics group).
    void replyPlotRequested(int group);

private:
    void buildNodesTab();
    void buildRepliesTab();
    QWidget *buildNodesCorner();
    QWidget *buildRepliesCorner();
    void showCorner();
    void showRepliesMenu(const QPoint &pos);
    void setNodeColumnWidths();
    void filterByNodeRow(const QModelIndex &index);

    BusSession *busSession = nullptr;
    NodeTableModel *nodeModel = nullptr;
    FrameDetailPane *frameDetailPane = nullptr;
    QTableView *tableViewNodes = nullptr;
    QSortFilterProxyModel *nodesSorted = nullptr;
    QLabel *labelSilentAfter = nullptr;
    QSpinBox *spinBoxSilentAfter = nullptr;
    QWidget *widgetNodesCorner = nullptr;
    ReplyTableModel *replyModel = nullptr;
    QTableView *tableViewReplies = nullptr;
    QSortFilterProxyModel *repliesSorted = nullptr;
    QWidget *widgetRepliesCorner = nullptr;
    QLabel *labelReplyTimeout = nullptr;
    QSpinBox *spinBoxReplyTimeout = nullptr;
    qint64 linksSequence = -1; // of the record shown
    BusRecord detailRecord; // the row the pane shows
    bool detailShown = false;
};

#endif
