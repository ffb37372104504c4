#ifndef KWN_MONITOR_DETAILPANEL_H
#define KWN_MONITOR_DETAILPANEL_H

// Under the Bus page's list, two tabs: "Frame", the list's current row in
// full (the session decodes it, again only when it is another frame), and
// "Nodes", every node heard, with "Silent after" in the tab bar's corner.
// The tab chosen and "Silent after" are there again next time.

#include "codec/busrecord.h"

#include <QTabWidget>

class BusSession;
class FrameDetailPane;
class NodeTableModel;
class QLabel;
class QMenu;
class QModelIndex;
class QSortFilterProxyModel;
class QSpinBox;
class QTableView;

class DetailPanel : public QTabWidget
{
    Q_OBJECT

public:
    DetailPanel(BusSession *session, NodeTableModel *nodes, QWidget *parent = nullptr);

public slots:
    // The record to show, or null for none; an event shows nothing.
    void showRecord(const BusRecord *record);

signals:
    void frameOpened(const QString &hexText);
    void putInSendRequested(const QByteArray &frame);
    // A parameter's menu of the frame shown is being made: whoever plots adds
    // its entries.
    void parameterMenuRequested(QMenu *menu, const BusRecord &record, const QString &parameter);
    // A node double-clicked: the list is to be filtered by it.
    void filterRequested(const QString &text);

private:
    void buildNodesTab();
    QWidget *buildNodesCorner();
    void setNodeColumnWidths();
    void filterByNodeRow(const QModelIndex &index);

    BusSession *busSession = nullptr;
    NodeTableModel *nodeModel = nullptr;
    FrameDetailPane *frameDetailPane = nullptr;
    QTableView *tableViewNodes = nullptr;
    QSortFilterProxyModel *nodesSorted = nullptr;
    QLabel *labelSilentAfter = nullptr;
    QSpinBox *spinBoxSilentAfter = nullptr;
    BusRecord detailRecord; // the row the pane shows
    bool detailShown = false;
};

#endif
