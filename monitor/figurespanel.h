#ifndef KWN_MONITOR_FIGURESPANEL_H
#define KWN_MONITOR_FIGURESPANEL_H

// The Bus page's figures under the list: the load line (frames a second,
// the bus load, bad checksums, noise) and the session's counters. The load
// and the Nodes table are fed what the list is fed and drawn on their own
// timer, a few times a second. Live, rates, silence and the load are
// reckoned up to now; for an opened log, up to its last time, and the load
// over the whole log.

#include "serial/serialconnection.h"

#include <QWidget>

class ElidedLabel;
class FrameTableModel;
class LatestMessageModel;
class NodeTableModel;
class QTimer;
class ShownTrace;

class FiguresPanel : public QWidget
{
    Q_OBJECT

public:
    // Of what `shown` shows.
    FiguresPanel(ShownTrace *shown, const FrameTableModel *frames, const LatestMessageModel *latest,
                 NodeTableModel *nodes, QWidget *parent = nullptr);

    // After the store emptied its node table and load meter.
    void clearInsight();
    // The figures are of a log being opened from now on, until cleared or
    // a port is connected.
    void showOfLog(bool ofLog);
    // The load is the bits on the wire over what the baud rate carries.
    void followWireFormat(const SerialSettings &settings);

public slots:
    void showCounters();
    void showInsight();

private:
    ShownTrace *shownTrace = nullptr;
    const FrameTableModel *frameModel = nullptr;
    const LatestMessageModel *latestModel = nullptr;
    NodeTableModel *nodeModel = nullptr;
    ElidedLabel *labelLoad = nullptr;
    ElidedLabel *labelCounters = nullptr;
    QTimer *timerInsight = nullptr;
    bool insightOfLog = false; // rates and silence at the log's last time, not now
};

#endif
