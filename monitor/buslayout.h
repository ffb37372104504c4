#ifndef KWN_MONITOR_BUSLAYOUT_H
#define KWN_MONITOR_BUSLAYOUT_H

// The Bus page. Like the other pages it is not a widget: it builds its widgets
// into one vertical layout that the main window installs on a page.
// The serial connection splits the bytes away from the GUI thread; a timer
// here takes what arrived in one batch, decodes it once through the shared
// catalogue, records it, and hands it to the list in one insertion.

#include "codec/framereport.h"
#include "codec/framesplitter.h"
#include "monitor/busrecord.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>

#include <memory>

class FrameTableModel;
class LatestMessageModel;
class QCheckBox;
class QComboBox;
class QFile;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;
class QVBoxLayout;
class SerialConnection;

class BusLayout : public QObject
{
    Q_OBJECT

public:
    explicit BusLayout(QObject *parent = nullptr);
    ~BusLayout() override;

    QVBoxLayout *getLayout();

    bool isConnected() const;
    // The list's ring size (100,000 frames unless changed); empties the list.
    void setCapacity(int frames);

    // Log files, one frame per line; the buttons ask for the file name and
    // call these. Each returns false after showing the reason on the status line.
    bool saveLog(const QString &path);
    bool openLog(const QString &path);
    bool startRecording(const QString &path);
    void stopRecording();

public slots:
    // Writes the frame to the bus (the Encode page's "Send" comes here).
    void sendFrame(const QByteArray &frame);
    // Takes what arrived since the last call into the list (the timer's work).
    void takeArrivals();

signals:
    void connectedChanged(bool connected);
    // A frame of the list to be shown on the Decode page, as hex text.
    void frameOpened(const QString &hexText);

private slots:
    void on_buttonConnect_clicked(bool checked);
    void on_buttonRefreshPorts_clicked(bool checked);
    void on_LineEditFilter_Edited(const QString &text);
    void on_checkBoxLatest_toggled(bool checked);
    void on_buttonPause_toggled(bool checked);
    void on_buttonClear_clicked(bool checked);
    void on_buttonSave_clicked(bool checked);
    void on_buttonOpen_clicked(bool checked);
    void on_buttonRecord_toggled(bool checked);
    void on_buttonSend_clicked(bool checked);
    void on_checkBoxRepeat_toggled(bool checked);
    void on_tableViewFrames_activated(const QModelIndex &index);
    void on_connection_sent(const QByteArray &frame, qint64 timeMs);
    void on_connection_errorOccurred(const QString &text);
    void on_timerRepeat_timeout();
    void on_application_aboutToQuit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct SentFrame
    {
        QByteArray bytes;
        qint64 timeMs = 0;
    };

    void buildWidgets();
    void makeConnections();
    void fillPorts();
    void setColumnWidths();
    void loadSettings();
    void saveSettings() const;
    void disconnectPort();
    void showStatus(const QString &text, bool error);
    void showCounters();
    void setRecordChecked(bool checked);
    // Decodes a frame into a record, from the cache when these bytes were seen.
    BusRecord recordOf(const QByteArray &bytes, qint64 timeMs, BusRecord::Kind kind);
    BusRecord noiseRecord(const QByteArray &bytes, qint64 timeMs) const;
    // Whether a received frame is the echo of one we sent.
    bool takeEcho(const QByteArray &bytes, qint64 timeMs);
    void writeRecorded(const QVector<BusRecord> &records);
    void flushRecording();
    // Into the list (or held back while paused).
    void deliver(QVector<BusRecord> &records);
    void showBatch(QVector<BusRecord> &records);

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
    QLabel *labelStatus = nullptr;
    QLineEdit *LineEditFilter = nullptr;
    QCheckBox *checkBoxLatest = nullptr;
    QPushButton *buttonPause = nullptr;
    QPushButton *buttonClear = nullptr;
    QTableView *tableViewFrames = nullptr;
    QLabel *labelCounters = nullptr;
    QPushButton *buttonSave = nullptr;
    QPushButton *buttonOpen = nullptr;
    QPushButton *buttonRecord = nullptr;
    QLineEdit *LineEditSendFrame = nullptr;
    QPushButton *buttonSend = nullptr;
    QCheckBox *checkBoxRepeat = nullptr;
    QSpinBox *spinBoxRepeatMs = nullptr;

    FrameTableModel *frameModel = nullptr;
    LatestMessageModel *latestModel = nullptr;
    SerialConnection *connection = nullptr;
    QTimer *timerArrivals = nullptr;
    QTimer *timerRepeat = nullptr;
    std::unique_ptr<QFile> recordFile;
    QElapsedTimer sinceFlush;
    DecodeCatalogue catalogue;
    QHash<QByteArray, BusRecord> decodedCache;
    QVector<SentFrame> sentRecently; // for matching their echo
    QVector<BusRecord> sentWaiting;  // written since the last batch
    QVector<BusRecord> heldWhilePaused;
    QByteArray repeatFrame;
    quint64 framesReceived = 0;
    quint64 framesSent = 0;
    quint64 noiseBytes = 0;
    quint64 badChecksums = 0;
    quint64 droppedWhilePaused = 0;
    bool portsListed = false; // once the page has been shown
};

#endif
