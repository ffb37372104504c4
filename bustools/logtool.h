#ifndef KWN_BUSTOOLS_LOGTOOL_H
#define KWN_BUSTOOLS_LOGTOOL_H

// The Bus page's logs, without its widgets: Save writes what the page
// shows; Open reads a log or capture on a thread of its own
// (serial/buslogloader.h) into a store of its own, shown in place of the
// live bus (bustools/showntrace.h), and says at the end what it read;
// Record writes every record of the live bus as it arrives. Going back to
// the live bus stops an opening under way.

#include "codec/busrecord.h"

#include <QObject>
#include <QString>
#include <QVector>

class BusLogLoader;
class BusSession;
class ShownTrace;

class LogTool : public QObject
{
    Q_OBJECT

public:
    explicit LogTool(ShownTrace *shown, QObject *parent = nullptr);

    // Each returns false after saying why. A name ending in ".pcap" is
    // saved or recorded as a capture.
    bool save(const QString &path);
    bool open(const QString &path);
    bool isOpening() const;
    void cancelOpening();
    bool startRecording(const QString &path);
    void stopRecording();
    bool isRecording() const;
    // Save, Record and Copy write times to the µs rather than the ms.
    void setPreciseLogs(bool precise);
    // "● Recording NAME: N frames" while recording.
    QString recordingText() const;
    QString recordingPath() const;

signals:
    // A lasting message stays until the next one (a log being opened).
    void message(const QString &text, bool error, bool lasting = false);
    void openingChanged(bool opening);
    // How much of the file is read, in thousandths.
    void openProgress(int permille);
    // Also after a start that failed.
    void recordingChanged(bool recording);

private:
    void takeBatch(const QVector<BusRecord> &records, qint64 done, qint64 total);
    void finishOpening(int refused, bool cancelled, const QString &error);
    void followRecording(bool recording, const QString &reason);

    ShownTrace *shownTrace = nullptr;
    BusSession *busSession = nullptr; // the live one
    BusLogLoader *logLoader = nullptr;
    QString openingPath;
    RecordCounts opened; // of the log being opened
};

#endif
