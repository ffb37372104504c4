#ifndef KWN_MONITOR_FIGURESPANEL_H
#define KWN_MONITOR_FIGURESPANEL_H

// The Bus page's figures under the list: the load line and the session's
// counters, in the words of bustools/busfigures.h. The load and the Nodes
// table are fed what the list is fed and drawn on their own timer, a few
// times a second.

#include "serial/serialconnection.h"

#include <QWidget>

class ElidedLabel;
class NodeTableModel;
class QTimer;
class ShownTrace;

class FiguresPanel : public QWidget
{
    Q_OBJECT

public:
    // Of what `shown` shows; the Nodes table is drawn with the load.
    FiguresPanel(ShownTrace *shown, NodeTableModel *nodes, QWidget *parent = nullptr);

    // The load is the bits on the wire over what the baud rate carries.
    void followWireFormat(const SerialSettings &settings);

public slots:
    void showCounters();
    void showInsight();

private:
    ShownTrace *shownTrace = nullptr;
    NodeTableModel *nodeModel = nullptr;
    ElidedLabel *labelLoad = nullptr;
    ElidedLabel *labelCounters = nullptr;
    QTimer *timerInsight = nullptr;
};

#endif
