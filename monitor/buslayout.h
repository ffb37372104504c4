#ifndef KWN_MONITOR_BUSLAYOUT_H
#define KWN_MONITOR_BUSLAYOUT_H

// The Bus page. Like the other pages it is not a widget: it builds its
// panels into one vertical layout that the main window installs on a page.
// What the panels show and do is decided below them, with no widget: the
// BusSession has the bus (the port, decoding, echoes, counters, pausing,
// recording, repeated sending), the ShownTrace what the page shows (the
// live bus or an opened log), and the tools of bustools/ sending, replaying
// and the logs. The page holds these and the models over the store shown,
// composes the panels over them and wires the panels together; no panel
// knows another. A panel is found by its objectName, a tool here.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVBoxLayout>

class BusPlots;
class BusSession;
class DetailPanel;
class FiguresPanel;
class FrameListPanel;
class FrameTableModel;
class LatestMessageModel;
class LogPanel;
class LogTool;
class NodeTableModel;
class PortPanel;
class QHBoxLayout;
class ReplayPanel;
class ReplayTool;
class ReplyTableModel;
class ReplyTool;
class SendPanel;
class SendTool;
class ShownTrace;
class StatusLine;
class TraceStore;

class BusLayout : public QObject
{
    Q_OBJECT

public:
    explicit BusLayout(QObject *parent = nullptr);
    // The panels go with the page.
    ~BusLayout() override;

    QVBoxLayout *getLayout() { return layoutMain; }
    BusSession *session() const { return busSession; }
    ShownTrace *shown() const { return shownTrace; }
    // Sends the Encode page's frames too.
    SendTool *sending() const { return sendTool; }
    LogTool *logs() const { return logTool; }
    ReplayTool *replay() const { return replayTool; }
    BusPlots *plots() const { return busPlots; }
    ReplyTool *replies() const { return replyTool; }

signals:
    void connectedChanged(bool connected);
    // A frame of the list to be shown on the Decode page, as hex text.
    void frameOpened(const QString &hexText);
    // What became of a frame sent, in words.
    void sendResult(const QString &text, bool error);

private:
    void buildPanels();
    void composePanels();
    void connectPanels();
    void connectMessages();

    QPointer<QVBoxLayout> layoutMain;
    QHBoxLayout *layoutLog = nullptr; // status line and the log buttons
    BusSession *busSession = nullptr;
    TraceStore *traceStore = nullptr; // the live bus's records
    ShownTrace *shownTrace = nullptr; // the live bus or an opened log
    FrameTableModel *frameModel = nullptr;
    LatestMessageModel *latestModel = nullptr;
    NodeTableModel *nodeModel = nullptr;
    SendTool *sendTool = nullptr;
    LogTool *logTool = nullptr;
    ReplayTool *replayTool = nullptr;
    ReplyTool *replyTool = nullptr; // requests and replies of what is shown
    ReplyTableModel *replyModel = nullptr;
    BusPlots *busPlots = nullptr;
    // Widgets of the page: gone with it, if it goes first.
    QPointer<PortPanel> portPanel;
    QPointer<StatusLine> statusLine;
    QPointer<LogPanel> logPanel;
    QPointer<FrameListPanel> listPanel;
    QPointer<DetailPanel> detailPanel;
    QPointer<FiguresPanel> figuresPanel;
    QPointer<SendPanel> sendPanel;
    QPointer<ReplayPanel> replayPanel;
};

#endif
