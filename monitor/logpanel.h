#ifndef KWN_MONITOR_LOGPANEL_H
#define KWN_MONITOR_LOGPANEL_H

// The Bus page's logs and captures: Save writes what the list holds, Open
// reads a file into the list on a thread of its own (with its progress and
// Cancel), Record writes every frame as it arrives (with a steady line
// saying where to), and whether times go to the µs.

#include "codec/busrecord.h"

#include <QString>
#include <QVector>
#include <QWidget>

class BusLogLoader;
class BusSession;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class ShownTrace;

class LogPanel : public QWidget
{
    Q_OBJECT

public:
    // Saves and opens what `shown` shows, records the live bus.
    explicit LogPanel(ShownTrace *shown, QWidget *parent = nullptr);

    // Each returns false after saying why.
    bool saveLog(const QString &path);
    bool openLog(const QString &path);
    bool isOpeningLog() const;
    void cancelOpening();
    bool startRecording(const QString &path);
    void stopRecording();

signals:
    void message(const QString &text, bool error, bool lasting = false);
    // A log's records are coming: figures are of the log, not of now.
    void logOpening();

private slots:
    void on_buttonSave_clicked(bool checked);
    void on_buttonOpen_clicked(bool checked);
    void on_buttonRecord_clicked(bool checked);
    void on_buttonCancelOpen_clicked(bool checked);
    void on_checkBoxPreciseLogs_toggled(bool checked);
    void on_logLoader_batchRead(const QVector<BusRecord> &records, qint64 done, qint64 total);
    void on_logLoader_finished(int refused, bool cancelled, const QString &error);
    void on_busSession_recordingChanged(bool recording, const QString &reason);

private:
    void buildWidgets();
    void showMessage(const QString &text, bool error) { emit message(text, error); }
    void showRecording();
    void setRecordButton(bool recording);

    ShownTrace *shownTrace = nullptr;
    BusSession *busSession = nullptr; // the live one
    BusLogLoader *logLoader = nullptr;
    QProgressBar *progressBarOpen = nullptr;
    QPushButton *buttonCancelOpen = nullptr;
    QLabel *labelRecording = nullptr;
    QTimer *timerRecording = nullptr;
    QPushButton *buttonSave = nullptr;
    QPushButton *buttonOpen = nullptr;
    QPushButton *buttonRecord = nullptr;
    QCheckBox *checkBoxPreciseLogs = nullptr;
    QString openingPath;
    quint64 openedFrames = 0;
    quint64 openedNoiseRuns = 0;
};

#endif
