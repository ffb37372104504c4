#ifndef KWN_MONITOR_BUSLAYOUT_H
#define KWN_MONITOR_BUSLAYOUT_H

// The Bus page. Like the other pages it is not a widget: it builds its
// panels into one vertical layout that the main window installs on a page.
// Everything about the bus itself (the port, decoding, echoes, counters,
// pausing, recording, repeated sending) is the BusSession's; the page holds
// the session and the models of what it handed out, composes the panels
// over them and wires them together. No panel knows another.

#include "codec/busrecord.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

class BusPlots;
class BusSession;
class DetailPanel;
class FiguresPanel;
class FrameListPanel;
class FrameTableModel;
class LatestMessageModel;
class LogPanel;
class NodeTableModel;
class PlotWindow;
class PortPanel;
class QHBoxLayout;
class QMenu;
class QModelIndex;
class QVBoxLayout;
class ReplayPanel;
class SendPanel;
class ShownTrace;
class StatusLine;
class TraceStore;
enum class SeriesKind : quint8;
struct SeriesKey;

class BusLayout : public QObject
{
    Q_OBJECT

public:
    explicit BusLayout(QObject *parent = nullptr);
    // The panels go with the page.
    ~BusLayout() override;

    QVBoxLayout *getLayout();
    BusSession *session() const { return busSession; }

    bool isConnected() const;
    // The list's ring size (100,000 frames unless changed); empties the list.
    void setCapacity(int frames);

    // Log files, one frame per line; the buttons ask for the file name and
    // call these. Each returns false after showing the reason on the page.
    bool saveLog(const QString &path);
    // Opening reads on a thread of its own; this starts it, and the list
    // fills batch by batch until isOpeningLog() is false.
    bool openLog(const QString &path);
    bool isOpeningLog() const;
    bool startRecording(const QString &path);
    void stopRecording();
    // While an opened log is shown, the list, Latest, Nodes and the load
    // line show its records alone, apart from the live bus, which goes on
    // into its own store; Clear and Connect come back to the live bus.
    bool isShowingOpenedLog() const;
    // Plays the frames of a log onto the connected port with their spacing;
    // "Replay…" asks for the file and calls this. False after showing the
    // reason on the page.
    bool startReplay(const QString &path);

    // Puts a frame in the send field, as spaced hex, to be looked at or
    // changed before Send.
    void putInSendField(const QByteArray &frame);
    // The list's menus, built here and shown by the list: each is a new
    // child of the list, which the caller may delete once done. A row's (of
    // the model the list shows): copy, open, put in the send field, filter
    // by its node, device or message (a noise row can only be copied), and
    // the plots. The header's: one checkable action per column, named
    // after it.
    QMenu *frameMenu(const QModelIndex &index);
    QMenu *columnMenu();

    // Plots of parameter values over time: each in a window of its own,
    // given what the list holds and then every batch.
    PlotWindow *openPlot(const SeriesKey &key, SeriesKind kind);
    void addToPlot(PlotWindow *window, const SeriesKey &key, SeriesKind kind);
    QVector<PlotWindow *> plotWindows() const;

public slots:
    // Writes the frame to the bus (the Encode page's "Send" comes here);
    // `sendResult` tells how it went.
    void sendFrame(const QByteArray &frame);

signals:
    void connectedChanged(bool connected);
    // A frame of the list to be shown on the Decode page, as hex text.
    void frameOpened(const QString &hexText);
    // What became of a frame given to sendFrame, in words.
    void sendResult(const QString &text, bool error);

private slots:
    void on_busSession_recordsReady(const QVector<BusRecord> &batch);
    void on_application_aboutToQuit();

private:
    void buildPanels();
    void composePanels();
    void connectPanels();
    void connectMessages();
    // Empties the live bus's list, Latest, Nodes and counters, and shows it.
    void clear();
    // The records of a batch into a store; the list follows them when the
    // store is the one shown.
    void appendToList(TraceStore *store, const QVector<BusRecord> &batch);
    // Back to the live bus; the opened log's records are let go.
    void showLiveBus();
    // The models, the figures and the plots follow the store shown.
    void followShownTrace();

    QVBoxLayout *layoutMain = nullptr;
    QHBoxLayout *layoutLog = nullptr; // status line and the log buttons
    BusSession *busSession = nullptr;
    TraceStore *traceStore = nullptr; // every record the list, Latest, Nodes and the load line show
    ShownTrace *shownTrace = nullptr; // the live bus or an opened log
    FrameTableModel *frameModel = nullptr;
    LatestMessageModel *latestModel = nullptr;
    NodeTableModel *nodeModel = nullptr;
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
