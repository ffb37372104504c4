#ifndef KWN_MONITOR_BUSLAYOUT_H
#define KWN_MONITOR_BUSLAYOUT_H

// The Bus page. Like the other pages it is not a widget: it builds its widgets
// into one vertical layout that the main window installs on a page.
// Everything about the bus itself (the port, decoding, echoes, counters,
// pausing, recording, repeated sending) is the BusSession's; the page shows
// the records the session hands out and forwards what the user asks for.

#include "codec/busrecord.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

class BusLogLoader;
class BusSession;
class ElidedLabel;
class ColumnFitter;
class ElidingDelegate;
class FrameDetailPane;
class FrameTableModel;
class LatestMessageModel;
class NodeTableModel;
class PlotWindow;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPoint;
class QProgressBar;
class QPushButton;
class QShortcut;
class QSortFilterProxyModel;
class QSpinBox;
class QSplitter;
class QTableView;
class QTabWidget;
class QTimer;
class QVBoxLayout;
class QWidget;
class Replayer;
class TraceStore;
enum class SeriesKind : quint8;
struct SeriesKey;
struct SerialSettings;

class BusLayout : public QObject
{
    Q_OBJECT

public:
    explicit BusLayout(QObject *parent = nullptr);
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
    bool isShowingOpenedLog() const { return fileStore != nullptr; }
    // Plays the frames of a log onto the connected port with their spacing
    // (buslayoutreplay.cpp); "Replay…" asks for the file and calls this.
    // False after showing the reason on the page.
    bool startReplay(const QString &path);

    // Puts a frame in the send field, as spaced hex, to be looked at or
    // changed before Send.
    void putInSendField(const QByteArray &frame);
    // The list's menus, built here and shown by the page's slots: each is a
    // new child of the list, which the caller may delete once done. A row's
    // (of the model the list shows): copy, open, put in the send field,
    // filter by its node, device or message (a noise row can only be
    // copied). The header's: one checkable action per column, named after it.
    QMenu *frameMenu(const QModelIndex &index);
    QMenu *columnMenu();

    // Plots of parameter values over time (buslayoutplots.cpp): each in a
    // window of its own, given what the list holds and then every batch.
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
    void on_buttonConnect_clicked(bool checked);
    void on_buttonRefreshPorts_clicked(bool checked);
    void on_LineEditFilter_textChanged(const QString &text);
    void on_checkBoxLatest_toggled(bool checked);
    void on_comboBoxTimeMode_currentIndexChanged(int index);
    void on_checkBoxPreciseLogs_toggled(bool checked);
    void on_buttonPause_toggled(bool checked);
    void on_buttonClear_clicked(bool checked);
    void on_buttonSave_clicked(bool checked);
    void on_buttonOpen_clicked(bool checked);
    void on_buttonRecord_clicked(bool checked);
    void on_buttonSend_clicked(bool checked);
    void on_checkBoxRepeat_toggled(bool checked);
    void on_tableViewFrames_activated(const QModelIndex &index);
    void on_busSession_recordsReady(const QVector<BusRecord> &batch);
    void on_busSession_connectionLost(const QString &text);
    void on_busSession_recordingChanged(bool recording, const QString &reason);
    void on_busSession_repeatingChanged(bool repeating);
    void on_logLoader_batchRead(const QVector<BusRecord> &records, qint64 done, qint64 total);
    void on_logLoader_finished(int refused, bool cancelled, const QString &error);
    void on_buttonCancelOpen_clicked(bool checked);
    void on_application_aboutToQuit();
    void on_tableViewFrames_customContextMenuRequested(const QPoint &pos);
    void showColumnMenu(const QPoint &pos);
    void on_shortcutFilter_activated();
    void on_shortcutCopy_activated();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWidgets();
    void buildPortRows();
    void buildLogAndSendRows();
    void makeConnections();
    void fillPorts();
    void setColumnWidths();
    // The list's view: selection, keys, menus and the columns' header
    // (buslayoutview.cpp).
    void setUpFrameView();
    // The Time column's mode and the logs' precision, as last chosen
    // (buslayoutview.cpp).
    void buildTimeControls();
    // Each view (every frame, or Latest) has its own columns: their order,
    // widths and which are shown are kept for the view left and put back for
    // the view shown; they are stored for the next run when a column is
    // shown or hidden, when the page goes and when the program quits.
    void keepHeaderState();
    void showHeaderState();
    void buildColumnFitters();
    void setDefaultHeader();
    void buildRecordingIndicator();
    void showRecording();
    void saveHeaderStates();
    // The record behind a row of whichever model the list shows.
    const BusRecord *recordOfIndex(const QModelIndex &index) const;
    QString selectedRowsText() const;
    void filterBy(const QString &text);
    void loadSettings();
    void saveSettings() const;
    void disconnectPort();
    // The line settings as the combo boxes show them.
    SerialSettings serialSettings() const;
    // The connection state: always in sight, never replaced by a message.
    void showConnectionState(const QString &text, bool error);
    // A passing message beside it, which clears itself.
    void showMessage(const QString &text, bool error);
    void showCounters();
    void setRecordButton(bool recording);
    // The frame in the send field, or empty after showing why there is none.
    QByteArray frameToSend();
    QString chooseLogFile(const QString &title, bool forWriting);
    // "N of M" beside the filter, while there is one.
    void buildFilterCount();
    void showFilterCount();
    // The Latest view goes through a sorting proxy; the list stays in arrival order.
    void buildLatestSorting();
    void showLatest(bool latest);
    // The records of a batch into a store; the list follows them when the
    // store is the one shown.
    void appendToList(TraceStore *store, const QVector<BusRecord> &batch);

    // The opened log apart from the live bus (buslayoutopened.cpp).
    TraceStore *shownStore() const;
    BusSession *shownSession() const;
    // A new store and session for a log being opened, shown in place of the
    // live bus (or of the log opened before).
    void showOpenedLog();
    // Back to the live bus; the opened log's records are let go.
    void showLiveBus();

    // The detail pane under the list (buslayoutdetail.cpp).
    QWidget *buildDetailPane(); // the splitter
    void connectDetailPane();
    // Follows the current row of the model the list shows (a new one after
    // each switch between the list and Latest).
    void watchCurrentRow();
    // Shows the list's current row in the pane, decoded again only when it
    // is another frame.
    void showDetail();
    // "Plot <parameter>" for each numeric parameter of the record's frame (or
    // the one named), and "Add to plot" while a plot is open.
    void addPlotEntries(QMenu *menu, const BusRecord &record, const QString &onlyParameter = QString());
    // The same for a parameter of the frame the detail pane shows.
    void addDetailPlotEntries(QMenu *menu, const QString &parameter);

    // Nodes and the load line (buslayoutnodes.cpp): fed what the list is
    // fed, drawn on their own timer.
    QWidget *buildNodesTab(); // the tabs: the detail pane and Nodes
    void setNodeColumnWidths();
    void buildLoadLine();
    void connectInsight();
    void clearInsight();
    void showInsight();
    void followWireFormat();
    void filterByNodeRow(const QModelIndex &index);
    // Replay (buslayoutreplay.cpp).
    void buildReplayRow();
    void connectReplay();
    void endReplay(const QString &text, bool error);

    QVBoxLayout *layoutMain = nullptr;
    QHBoxLayout *layoutPort = nullptr;
    QHBoxLayout *layoutSerial = nullptr;
    QHBoxLayout *layoutTools = nullptr;
    QHBoxLayout *layoutLog = nullptr; // status line and the log buttons
    QHBoxLayout *layoutSend = nullptr;
    QLabel *labelPort = nullptr;
    QComboBox *comboBoxPort = nullptr;
    QPushButton *buttonRefreshPorts = nullptr;
    QPushButton *buttonConnect = nullptr;
    QLabel *labelBaud = nullptr;
    QComboBox *comboBoxBaud = nullptr;
    QLabel *labelDataBits = nullptr;
    QComboBox *comboBoxDataBits = nullptr;
    QLabel *labelParity = nullptr;
    QComboBox *comboBoxParity = nullptr;
    QLabel *labelStopBits = nullptr;
    QComboBox *comboBoxStopBits = nullptr;
    ElidedLabel *labelStatus = nullptr;
    ElidedLabel *labelMessage = nullptr;
    QLineEdit *LineEditFilter = nullptr;
    QLabel *labelFilterCount = nullptr;
    QCheckBox *checkBoxLatest = nullptr;
    QComboBox *comboBoxTimeMode = nullptr;
    QCheckBox *checkBoxPreciseLogs = nullptr;
    QPushButton *buttonPause = nullptr;
    QPushButton *buttonClear = nullptr;
    QTableView *tableViewFrames = nullptr;
    ElidedLabel *labelCounters = nullptr;
    QPushButton *buttonSave = nullptr;
    QPushButton *buttonOpen = nullptr;
    QPushButton *buttonRecord = nullptr;
    QProgressBar *progressBarOpen = nullptr;
    QPushButton *buttonCancelOpen = nullptr;
    QLineEdit *LineEditSendFrame = nullptr;
    QPushButton *buttonSend = nullptr;
    QCheckBox *checkBoxRepeat = nullptr;
    QSpinBox *spinBoxRepeatMs = nullptr;
    QSplitter *splitterFrames = nullptr; // the list over the detail pane
    FrameDetailPane *frameDetailPane = nullptr;

    TraceStore *traceStore = nullptr; // every record the list, Latest, Nodes and the load line show
    FrameTableModel *frameModel = nullptr;
    LatestMessageModel *latestModel = nullptr;
    QSortFilterProxyModel *latestSorted = nullptr;
    BusSession *busSession = nullptr;
    // Of the opened log while it is shown: it counts and times its records
    // as the live session does the bus's.
    BusSession *fileSession = nullptr;
    TraceStore *fileStore = nullptr;
    QTimer *timerMessage = nullptr;
    BusLogLoader *logLoader = nullptr;
    QString openingPath;
    quint64 openedFrames = 0;
    quint64 openedNoiseRuns = 0;
    int rowsDroppedFromTop = 0; // during one append
    bool portsListed = false;   // once the page has been shown
    bool listFollowing = true;  // the list sits at the bottom and follows new rows
    bool updatingList = false;  // rows go in: the scroll bar moves by itself
    QVector<QMetaObject::Connection> detailWatches; // to the model shown and its selection
    BusRecord detailRecord;     // the row the pane shows
    bool detailShown = false;
    QVector<QPointer<PlotWindow>> plots; // open, in the order opened
    int plotsOpened = 0;

    QShortcut *shortcutFilter = nullptr;
    QShortcut *shortcutCopy = nullptr;
    ElidingDelegate *delegateElideMiddle = nullptr;
    QByteArray listHeaderState;
    QByteArray latestHeaderState;
    QLabel *labelRecording = nullptr;
    QTimer *timerRecording = nullptr;
    ColumnFitter *listFitter = nullptr;
    ColumnFitter *latestFitter = nullptr;
    // The header is set up as the list is first shown, in its final font.
    bool headerReady = false;
    bool headerOfLatest = false; // which view the header's state is of

    QTabWidget *tabWidgetDetail = nullptr; // "Frame" (the detail pane) and "Nodes"
    QTableView *tableViewNodes = nullptr;
    QLabel *labelSilentAfter = nullptr;
    QSpinBox *spinBoxSilentAfter = nullptr;
    ElidedLabel *labelLoad = nullptr;
    NodeTableModel *nodeModel = nullptr;
    QSortFilterProxyModel *nodesSorted = nullptr;
    QTimer *timerInsight = nullptr;
    bool insightOfLog = false; // rates and silence at the log's last time, not now
    QPushButton *buttonReplay = nullptr;
    QWidget *widgetReplay = nullptr; // the row shown while replaying
    QLabel *labelReplay = nullptr;
    QDoubleSpinBox *doubleSpinBoxReplaySpeed = nullptr;
    QCheckBox *checkBoxReplayLoop = nullptr;
    QProgressBar *progressBarReplay = nullptr;
    QPushButton *buttonReplayPause = nullptr;
    QPushButton *buttonReplayStop = nullptr;
    Replayer *replayer = nullptr;
    QString replayPath;
};

#endif
