#include "serial/busrecording.h"

#include "capture/capturefile.h"
#include "catalogue/fileaccess.h"
#include "codec/buslogfile.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// Whether the path no longer names the open file (removed or replaced).
bool fileGone(const QFile &file, const QString &path)
{
    struct stat opened = {};
    struct stat named = {};
    if (::fstat(file.handle(), &opened) != 0)
        return true;
    if (::stat(QFile::encodeName(path).constData(), &named) != 0)
        return true;
    return opened.st_dev != named.st_dev || opened.st_ino != named.st_ino;
}
#else
bool fileGone(const QFile &, const QString &path)
{
    return !QFile::exists(path);
}
#endif

class LogSink : public RecordingSink
{
public:
    LogSink(std::unique_ptr<QFile> file, const QString &path) : m_file(std::move(file)), m_path(path) {}

    bool write(const QVector<BusRecord> &records, bool preciseTimes, QString *problem) override
    {
        QByteArray text;
        for (const BusRecord &record : records)
            text += busLogLineOf(record, preciseTimes);
        if (!text.isEmpty() && (m_file->write(text) != text.size() || !m_file->flush())) {
            *problem = m_file->errorString();
            return false;
        }
        return true;
    }
    bool close(QString *problem) override
    {
        const bool flushed = m_file->flush();
        if (!flushed && problem)
            *problem = m_file->errorString();
        m_file->close();
        return flushed;
    }
    bool gone() const override { return fileGone(*m_file, m_path); }

private:
    std::unique_ptr<QFile> m_file;
    QString m_path;
};

// The capture writer writes the file by its name; the file opened first, as
// a log is, keeps the checks on links and tells whether the name still
// names what is written.
class CaptureSink : public RecordingSink
{
public:
    CaptureSink(std::unique_ptr<QFile> made, const QString &path) : m_made(std::move(made)), m_path(path) {}

    bool open(QString *problem)
    {
        // The header waits for the first records, so that a file that takes
        // nothing stops the recording as a log's does, at the first write.
        if (m_writer.open(m_path))
            return true;
        *problem = captureProblem(m_writer.errorText(), m_path);
        return false;
    }
    bool write(const QVector<BusRecord> &records, bool preciseTimes, QString *problem) override
    {
        Q_UNUSED(preciseTimes)
        for (const BusRecord &record : records) {
            if (!m_writer.write(record)) {
                *problem = captureProblem(m_writer.errorText(), m_path);
                return false;
            }
        }
        if (!records.isEmpty() && !m_writer.flush()) {
            *problem = captureProblem(m_writer.errorText(), m_path);
            return false;
        }
        return true;
    }
    bool close(QString *problem) override
    {
        const bool closed = m_writer.close();
        if (!closed && problem)
            *problem = captureProblem(m_writer.errorText(), m_path);
        m_made->close();
        return closed;
    }
    bool gone() const override { return fileGone(*m_made, m_path); }

private:
    std::unique_ptr<QFile> m_made;
    QString m_path;
    capture::CaptureWriter m_writer;
};

} // namespace

bool isCapturePath(const QString &path)
{
    return path.endsWith(QLatin1String(".pcap"), Qt::CaseInsensitive);
}

QString captureProblem(const QString &error, const QString &path)
{
    const QString prefixes[] = {QStringLiteral("cannot write %1: ").arg(path), QStringLiteral("%1: ").arg(path)};
    for (const QString &prefix : prefixes) {
        if (error.startsWith(prefix))
            return error.mid(prefix.size());
    }
    return error;
}

void RecordCounts::add(const BusRecord &record)
{
    switch (record.kind) {
    case BusRecord::Received:
    case BusRecord::Sent:
        ++frames;
        break;
    case BusRecord::Noise:
        ++noiseRuns;
        break;
    case BusRecord::Event:
        ++events;
        break;
    }
}

void RecordCounts::add(const QVector<BusRecord> &records)
{
    for (const BusRecord &record : records)
        add(record);
}

std::unique_ptr<RecordingSink> RecordingSink::open(const QString &path, QString *problem)
{
    auto file = std::make_unique<QFile>();
    if (!openForWriting(*file, path, problem))
        return nullptr;
    if (!isCapturePath(path))
        return std::make_unique<LogSink>(std::move(file), path);
    auto sink = std::make_unique<CaptureSink>(std::move(file), path);
    if (!sink->open(problem))
        return nullptr;
    return sink;
}

namespace {

// "51 frames and 1 noise run"
QString savedText(const RecordCounts &counts)
{
    QString saved = countText(counts.frames, "frame", "frames");
    if (counts.noiseRuns > 0)
        saved += QStringLiteral(" and %1").arg(countText(counts.noiseRuns, "noise run", "noise runs"));
    return saved;
}

} // namespace

SavedRecords saveRecords(const QString &path, const RecordRange &records, bool preciseTimes)
{
    // Handed to the sink a batch at a time, as a recording's are.
    const int kBatchRecords = 4096;
    SavedRecords saved;
    saved.capture = isCapturePath(path);
    QString problem;
    std::unique_ptr<RecordingSink> sink = RecordingSink::open(path, &problem);
    QVector<BusRecord> batch;
    for (int i = 0; sink && problem.isEmpty() && i < records.count; i += kBatchRecords) {
        batch.resize(0);
        for (int k = i; k < qMin(records.count, i + kBatchRecords); ++k)
            batch.append(records.at(k));
        if (sink->write(batch, preciseTimes, &problem))
            saved.counts.add(batch);
    }
    if (sink && problem.isEmpty())
        sink->close(&problem);
    else if (sink)
        sink->close();
    saved.ok = problem.isEmpty();
    if (!saved.ok) {
        saved.message = QStringLiteral("Cannot write %1: %2").arg(path, problem);
        return saved;
    }
    saved.message = QStringLiteral("Saved %1 to %2").arg(savedText(saved.counts), path);
    if (saved.capture && saved.counts.events > 0)
        saved.message += QStringLiteral("; %1 left out: a capture holds no events")
                             .arg(countText(saved.counts.events, "event", "events"));
    return saved;
}
