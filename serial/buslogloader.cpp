#include "serial/buslogloader.h"

#include "capture/recordfile.h"
#include "codec/framereport.h"
#include "serial/bussession.h"

#include <QFileInfo>
#include <QThread>

namespace {

// Batches the reader may be ahead of the caller.
const int kBatchesAhead = 3;

BusRecord noiseRecord(qint64 timeUs, const QByteArray &bytes)
{
    BusRecord record;
    record.kind = BusRecord::Noise;
    record.bytes = bytes;
    record.timeUs = timeUs;
    return record;
}

} // namespace

BusLogLoader::BusLogLoader(const QString &catalogueFolder, QObject *parent)
    : QObject(parent), m_catalogueFolder(catalogueFolder)
{
    qRegisterMetaType<QVector<BusRecord>>("QVector<BusRecord>");
}

BusLogLoader::~BusLogLoader()
{
    cancel();
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

bool BusLogLoader::start(const QString &path, qint64 nowMs)
{
    if (m_thread) {
        m_error = QStringLiteral("a log is being read already");
        return false;
    }
    // A pipe or a device would never end, or never begin.
    const QFileInfo info(path);
    if (!info.exists()) {
        m_error = QStringLiteral("no such file");
        return false;
    }
    if (!info.isFile()) {
        m_error = QStringLiteral("not a regular file");
        return false;
    }
    if (!info.isReadable()) {
        m_error = QStringLiteral("permission denied");
        return false;
    }
    m_error.clear();
    m_cancelled = false;
    m_room.acquire(m_room.available());
    m_room.release(kBatchesAhead);
    m_thread = QThread::create([this, path, nowMs] { run(path, nowMs); });
    m_thread->setObjectName(QStringLiteral("log reader"));
    m_thread->start();
    return true;
}

void BusLogLoader::cancel()
{
    m_cancelled = true;
    m_room.release(kBatchesAhead); // a reader waiting for room wakes and sees it
}

void BusLogLoader::batchTaken()
{
    m_room.release();
}

// The batch being filled and how to hand it out, for either kind of file.
struct BusLogLoader::Reading
{
    BusLogLoader *loader = nullptr;
    BusRecordDecoder *decoder = nullptr;
    QVector<BusRecord> batch;
    qint64 done = 0;
    qint64 total = 0;

    void add(BusRecord record)
    {
        batch.append(std::move(record));
        if (batch.size() >= kBatchRecords)
            handOut();
    }
    void handOut()
    {
        while (!loader->m_room.tryAcquire(1, 50)) {
            if (loader->m_cancelled)
                return;
        }
        if (!loader->m_cancelled)
            emit loader->batchRead(batch, qMin(done, total), total);
        batch.clear();
    }
};

// Either kind of file through the capture library's one record reader, each
// frame decoded as the session decodes a live one: a capture gives the same
// records as the log it would be converted to. Lines of a log without a time
// take `nowMs`; refused lines are counted and passed over.
QString BusLogLoader::read(const QString &path, qint64 nowMs, Reading &reading, int *refused)
{
    reading.total = QFileInfo(path).size();
    const capture::RecordScan scan = capture::scanRecordFile(path, [&](const capture::RecordView &view) {
        const qint64 timeUs = view.hasTime ? view.timeUs : nowMs * 1000;
        reading.done = view.bytesRead;
        const QByteArray bytes(view.bytes, view.size);
        if (view.kind == BusRecord::Noise)
            reading.add(noiseRecord(timeUs, bytes));
        else if (view.kind == BusRecord::Event)
            reading.add(eventRecord(timeUs, view.text));
        else
            reading.add(reading.decoder->record(bytes, timeUs, view.kind));
        return !m_cancelled;
    });
    *refused = scan.refusedLines;
    if (m_cancelled)
        return QString();
    reading.done = reading.total;
    // A log's read error says the reason alone, the message naming the file.
    const QString readPrefix = QStringLiteral("cannot read %1: ").arg(path);
    if (scan.kind == capture::RecordFileKind::Log && scan.error.startsWith(readPrefix))
        return scan.error.mid(readPrefix.size());
    return scan.error;
}

void BusLogLoader::run(const QString &path, qint64 nowMs)
{
    DecodeCatalogue catalogue(m_catalogueFolder);
    BusRecordDecoder decoder(catalogue);
    Reading reading;
    reading.loader = this;
    reading.decoder = &decoder;
    int refused = 0;
    const QString error = read(path, nowMs, reading, &refused);
    if (!reading.batch.isEmpty())
        reading.handOut();
    const bool cancelled = m_cancelled;
    // The end is told on the caller's thread, once this thread is done.
    QMetaObject::invokeMethod(
        this,
        [this, refused, cancelled, error] {
            if (m_thread) {
                m_thread->wait();
                delete m_thread;
                m_thread = nullptr;
            }
            emit finished(refused, cancelled, error);
        },
        Qt::QueuedConnection);
}
