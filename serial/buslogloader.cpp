#include "serial/buslogloader.h"

#include "codec/buslogfile.h"
#include "codec/framereport.h"
#include "serial/bussession.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

// Batches the reader may be ahead of the caller.
const int kBatchesAhead = 3;

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

void BusLogLoader::run(const QString &path, qint64 nowMs)
{
    QFile file(path);
    QString error;
    int refused = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
    } else {
        const qint64 total = file.size();
        DecodeCatalogue catalogue(m_catalogueFolder);
        BusRecordDecoder decoder(catalogue);
        BusLogLineReader lines(file);
        QVector<BusRecord> batch;
        auto handOut = [&] {
            while (!m_room.tryAcquire(1, 50)) {
                if (m_cancelled)
                    return;
            }
            if (!m_cancelled)
                emit batchRead(batch, file.pos(), total);
            batch.clear();
        };
        QByteArray line;
        bool tooLong = false;
        while (!m_cancelled && lines.next(&line, &tooLong)) {
            BusLogEntry entry;
            const BusLogLineKind kind = tooLong ? BusLogLineKind::Refused : readBusLogLine(line, &entry);
            if (kind == BusLogLineKind::Refused)
                ++refused;
            if (kind != BusLogLineKind::Entry)
                continue;
            const qint64 timeUs = entry.hasTime ? entry.timeUs : nowMs * 1000;
            BusRecord record;
            if (entry.kind == BusRecord::Noise) {
                record.kind = BusRecord::Noise;
                record.bytes = entry.bytes;
                record.timeUs = timeUs;
            } else if (entry.kind == BusRecord::Event) {
                record = eventRecord(timeUs, entry.text);
            } else {
                record = decoder.record(entry.bytes, timeUs, entry.kind);
            }
            batch.append(std::move(record));
            if (batch.size() >= kBatchRecords)
                handOut();
        }
        if (!m_cancelled && file.error() != QFileDevice::NoError)
            error = file.errorString();
        if (!batch.isEmpty())
            handOut();
    }
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
