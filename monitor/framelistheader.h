#ifndef KWN_MONITOR_FRAMELISTHEADER_H
#define KWN_MONITOR_FRAMELISTHEADER_H

// The columns of the Bus page's list: their widths, fitted to what they
// hold, and their header. Each view (every frame, or Latest) has its own
// columns: their order, widths and which are shown are kept for the view
// left and put back for the view shown; they are stored for the next run
// when a column is shown or hidden, when the page goes and when the
// program quits.

#include <QByteArray>
#include <QObject>

class ColumnFitter;
class ElidingDelegate;
class FrameTableModel;
class LatestMessageModel;
class QMenu;
class QPoint;
class QTableView;

class FrameListHeader : public QObject
{
    Q_OBJECT

public:
    FrameListHeader(QTableView *view, FrameTableModel *frames, LatestMessageModel *latest, QObject *parent);

    // Before and after the view shows the other model.
    void keepHeaderState();
    void showHeaderState();
    void saveHeaderStates();
    // One checkable action per column, named after it: a new child of the
    // view, which the caller may delete once done.
    QMenu *columnMenu();

private:
    bool latestShown() const;
    void setColumnWidths();
    void buildColumnFitters();
    void setDefaultHeader();
    void showColumnMenu(const QPoint &pos);

    QTableView *tableViewFrames = nullptr;
    FrameTableModel *frameModel = nullptr;
    LatestMessageModel *latestModel = nullptr;
    ElidingDelegate *delegateElideMiddle = nullptr;
    QByteArray listHeaderState;
    QByteArray latestHeaderState;
    ColumnFitter *listFitter = nullptr;
    ColumnFitter *latestFitter = nullptr;
    // The header is set up as the list is first shown, in its final font.
    bool headerReady = false;
    bool headerOfLatest = false; // which view the header's state is of
};

#endif
