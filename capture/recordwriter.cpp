#include "capture/recordwriter.h"

#include "capture/capturefile.h"
#include "catalogue/fileaccess.h"
#include "codec/buslogfile.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace capture {

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

// Opens `file` as the opening asks; false with the error when it cannot.
bool openFile(QFile &file, const QString &path, RecordWriter::Opening opening, QString *error)
{
    QString problem;
    if (opening == RecordWriter::Opening::Chosen) {
        if (openForWriting(file, path, &problem))
            return true;
    } else {
        file.setFileName(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return true;
        problem = file.errorString();
    }
    *error = QStringLiteral("cannot write %1: %2").arg(path, problem);
    return false;
}

// A log's lines go to the system in blocks, and at each flush.
class LogWriter : public RecordWriter
{
public:
    LogWriter(std::unique_ptr<QFile> file, const QString &path, Opening opening)
        : m_file(std::move(file)), m_path(path), m_opening(opening)
    {
        m_text.reserve(kBlockBytes + 512);
    }

    bool flush() override { return writeOut() && check(m_file->flush()); }
    bool close() override
    {
        const bool flushed = flush();
        m_file->close();
        return flushed;
    }
    bool gone() const override { return m_opening == Opening::Chosen && fileGone(*m_file, m_path); }

protected:
    bool put(const BusRecord &record, bool preciseTimes) override
    {
        m_text += busLogLineOf(record, preciseTimes);
        return m_text.size() < kBlockBytes || writeOut();
    }

private:
    static constexpr int kBlockBytes = 1 << 16;

    bool writeOut()
    {
        const bool written = m_text.isEmpty() || m_file->write(m_text) == m_text.size();
        m_text.resize(0);
        return check(written);
    }
    bool check(bool ok)
    {
        if (!ok && m_error.isEmpty())
            m_error = QStringLiteral("cannot write %1: %2").arg(m_path, m_file->errorString());
        return ok;
    }

    std::unique_ptr<QFile> m_file;
    QString m_path;
    Opening m_opening;
    QByteArray m_text;
};

// The capture writer writes the file by its name; a chosen file is opened
// first, as a log is, which keeps the checks on links and tells whether the
// name still names what is written.
class CaptureFileWriter : public RecordWriter
{
public:
    CaptureFileWriter(std::unique_ptr<QFile> made, const QString &path) : m_made(std::move(made)), m_path(path) {}

    bool open()
    {
        if (m_writer.open(m_path))
            return true;
        m_error = m_writer.errorText();
        return false;
    }
    bool flush() override { return check(m_writer.flush()); }
    bool close() override
    {
        const bool closed = check(m_writer.close());
        if (m_made)
            m_made->close();
        return closed;
    }
    bool gone() const override { return m_made && fileGone(*m_made, m_path); }

protected:
    bool put(const BusRecord &record, bool preciseTimes) override
    {
        Q_UNUSED(preciseTimes)
        return check(m_writer.write(record));
    }

private:
    bool check(bool ok)
    {
        if (!ok)
            m_error = m_writer.errorText();
        return ok;
    }

    std::unique_ptr<QFile> m_made; // none when opened as named
    QString m_path;
    CaptureWriter m_writer;
};

} // namespace

bool isCapturePath(const QString &path)
{
    return path.endsWith(QLatin1String(".pcap"), Qt::CaseInsensitive);
}

QString writeProblem(const QString &error, const QString &path)
{
    const QString prefixes[] = {QStringLiteral("cannot write %1: ").arg(path), QStringLiteral("%1: ").arg(path)};
    for (const QString &prefix : prefixes) {
        if (error.startsWith(prefix))
            return error.mid(prefix.size());
    }
    return error;
}

std::unique_ptr<RecordWriter> RecordWriter::open(const QString &path, Kind kind, Opening opening, QString *error)
{
    std::unique_ptr<QFile> file;
    if (kind == Kind::Log || opening == Opening::Chosen) {
        file = std::make_unique<QFile>();
        if (!openFile(*file, path, opening, error))
            return nullptr;
    }
    if (kind == Kind::Log)
        return std::make_unique<LogWriter>(std::move(file), path, opening);
    auto writer = std::make_unique<CaptureFileWriter>(std::move(file), path);
    if (!writer->open()) {
        *error = writer->errorText();
        return nullptr;
    }
    return writer;
}

bool RecordWriter::write(const BusRecord &record, bool preciseTimes)
{
    if (!put(record, preciseTimes))
        return false;
    m_counts.add(record);
    return true;
}

bool RecordWriter::write(const QVector<BusRecord> &records, bool preciseTimes)
{
    for (const BusRecord &record : records) {
        if (!write(record, preciseTimes))
            return false;
    }
    return records.isEmpty() || flush();
}

} // namespace capture
