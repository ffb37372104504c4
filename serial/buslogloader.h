#ifndef KWN_SERIAL_BUSLOGLOADER_H
#define KWN_SERIAL_BUSLOGLOADER_H

// Reads a bus log or a pcap capture (told apart by their content, not their
// name) on a thread of its own and hands out its records, decoded and
// prepared as the session prepares live ones, in batches: a file of a
// gigabyte neither freezes the window nor has to fit in memory at once. The
// caller takes each batch and says so (batchTaken), so the reader never runs
// more than a few batches ahead; cancel() stops it between two records.

#include "codec/busrecord.h"

#include <QObject>
#include <QSemaphore>
#include <QString>
#include <QVector>

#include <atomic>

class QThread;

class BusLogLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBatchRecords = 4096;

    explicit BusLogLoader(const QString &catalogueFolder, QObject *parent = nullptr);
    ~BusLogLoader() override;

    // Starts reading; false, with errorText(), when the file cannot be read.
    // Lines of a log without a time take `nowMs`.
    bool start(const QString &path, qint64 nowMs);
    void cancel();
    bool isRunning() const { return m_thread != nullptr; }
    // Batches already on their way when cancel() came are to be let go.
    bool isCancelled() const { return m_cancelled; }
    QString errorText() const { return m_error; }

    // The caller has taken a batch: the reader may read another.
    void batchTaken();

signals:
    // Records in log order; `done` of `total` bytes read so far.
    void batchRead(const QVector<BusRecord> &records, qint64 done, qint64 total);
    // The end: how many lines were refused, and whether it was cancelled.
    // `error` says why reading stopped early, when it did.
    void finished(int refused, bool cancelled, const QString &error);

private:
    struct Reading;
    void run(const QString &path, qint64 nowMs);
    QString read(const QString &path, qint64 nowMs, Reading &reading, int *refused);

    QString m_catalogueFolder;
    QThread *m_thread = nullptr;
    QSemaphore m_room;
    std::atomic<bool> m_cancelled{false};
    QString m_error;
};

#endif
