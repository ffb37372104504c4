#include "capture/recordfile.h"

#include "capture/capturefile.h"
#include "capture/inputfile.h"
#include "capture/recordwriter.h"
#include "codec/buslog.h"
#include "codec/buslogfile.h"
#include "codec/framedecoding.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstring>

#include <sys/stat.h>

namespace capture {

namespace {

// A pcap file's header and each record's.
constexpr qint64 kCaptureHeaderBytes = 24;
constexpr qint64 kCaptureRecordHeaderBytes = 16;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
qint64 daysFromCivil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return qint64(era) * 146097 + dayOfEra - 719468;
}

int digitsAt(const char *text, int count, bool *ok)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[i];
        *ok = *ok && c >= '0' && c <= '9';
        value = value * 10 + (c - '0');
    }
    return value;
}

// The time of the common log line, "YYYY-MM-DDThh:mm:ss.fffZ" or with six
// digits of the second, read straight from its bytes: false for any other
// shape and for any time that is not plainly one (a leap second, a day past
// the month's end), which the general reader then reads.
bool readPlainTime(const char *text, qsizetype size, qint64 *timeUs)
{
    if ((size != 24 && size != 27) || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':'
        || text[16] != ':' || text[19] != '.' || text[size - 1] != 'Z')
        return false;
    bool ok = true;
    const int year = digitsAt(text, 4, &ok);
    const int month = digitsAt(text + 5, 2, &ok);
    const int day = digitsAt(text + 8, 2, &ok);
    const int hour = digitsAt(text + 11, 2, &ok);
    const int minute = digitsAt(text + 14, 2, &ok);
    const int second = digitsAt(text + 17, 2, &ok);
    const int fraction = digitsAt(text + 20, int(size - 21), &ok);
    static const int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!ok || year < 1 || month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] || hour > 23
        || minute > 59 || second > 59)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return false;
    const qint64 seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    *timeUs = seconds * 1000000 + (size == 24 ? fraction * 1000 : fraction);
    return true;
}

// "TIME RX|TX HEX" with a plain time, single spaces and nothing but the
// digits of a whole frame: the entry readBusLogLine would give, read
// without converting the line. False for any other line.
bool readPlainFrameLine(const char *text, qsizetype size, BusLogEntry *entry)
{
    const char *space = static_cast<const char *>(std::memchr(text, ' ', size_t(size)));
    if (!space)
        return false;
    const qsizetype timeSize = space - text;
    const qsizetype hexStart = timeSize + 4;
    const qsizetype digits = size - hexStart;
    if (digits < 2 * kFrameOverheadBytes || digits > 2 * kMaxFrameBytes || digits % 2 != 0
        || (text[timeSize + 1] != 'R' && text[timeSize + 1] != 'T') || text[timeSize + 2] != 'X'
        || text[timeSize + 3] != ' ' || !readPlainTime(text, timeSize, &entry->timeUs))
        return false;
    char bytes[kMaxFrameBytes];
    if (!hexPairsToBytes(text + hexStart, digits / 2, bytes))
        return false;
    entry->kind = text[timeSize + 1] == 'T' ? BusRecord::Sent : BusRecord::Received;
    entry->hasTime = true;
    entry->bytes = QByteArray(bytes, int(digits / 2));
    return true;
}

// A line of a log as readBusLogLine reads it, the common frame line
// straight from its bytes.
BusLogLineKind readLogLine(const QByteArray &line, BusLogEntry *entry)
{
    qsizetype size = line.size();
    if (size > 0 && line.at(int(size - 1)) == '\r')
        --size;
    if (readPlainFrameLine(line.constData(), size, entry))
        return BusLogLineKind::Entry;
    return readBusLogLine(line, entry);
}

RecordScan scanLog(InputDevice &file, const QString &path, const RecordVisitor &visit)
{
    RecordScan scan;
    scan.kind = RecordFileKind::Log;
    BusLogLineReader lines(file);
    QByteArray line;
    bool tooLong = false;
    qint64 lastTimeUs = -1;
    RecordView view;
    BusLogEntry entry;
    while (lines.next(&line, &tooLong)) {
        const BusLogLineKind kind = tooLong ? BusLogLineKind::Refused : readLogLine(line, &entry);
        if (kind == BusLogLineKind::Refused)
            ++scan.refusedLines;
        if (kind != BusLogLineKind::Entry)
            continue;
        if (entry.hasTime)
            lastTimeUs = entry.timeUs;
        else if (lastTimeUs < 0)
            lastTimeUs = QDateTime::currentMSecsSinceEpoch() * 1000;
        view.kind = entry.kind;
        view.timeUs = entry.hasTime ? entry.timeUs : lastTimeUs;
        view.hasTime = entry.hasTime;
        view.bytes = entry.bytes.constData();
        view.size = entry.bytes.size();
        view.text = entry.text;
        view.bytesRead = file.bytesRead();
        ++scan.records;
        if (!visit(view))
            break;
    }
    if (file.failed())
        scan.error = QStringLiteral("cannot read %1: %2").arg(inputName(path), file.errorString());
    return scan;
}

RecordScan scanCapture(FILE *stream, const QString &path, const RecordVisitor &visit)
{
    RecordScan scan;
    scan.kind = RecordFileKind::Capture;
    CaptureReader reader;
    if (!reader.open(stream, path)) {
        scan.error = reader.errorText();
        return scan;
    }
    CaptureRecord record;
    RecordView view;
    view.bytesRead = kCaptureHeaderBytes;
    while (reader.next(&record)) {
        view.kind = record.kind;
        view.timeUs = record.timeUs;
        view.bytes = record.bytes;
        view.size = record.size;
        view.bytesRead += kCaptureRecordHeaderBytes + 1 + record.size;
        ++scan.records;
        if (!visit(view))
            return scan;
    }
    scan.error = reader.errorText();
    return scan;
}

// The same file under both names would be emptied before it is read.
QString sameFileProblem(const QString &in, const QString &out)
{
    if (in == QLatin1String("-"))
        return QString();
    const QFileInfo a(in);
    const QFileInfo b(out);
    if (a.exists() && b.exists() && a.canonicalFilePath() == b.canonicalFilePath())
        return QStringLiteral("%1 is both the input and the output").arg(in);
    return QString();
}

// The record a view shows, its bytes not copied: valid while the view is.
void setRecord(BusRecord &record, const RecordView &view)
{
    record.kind = view.kind;
    record.timeUs = view.timeUs;
    record.bytes = QByteArray::fromRawData(view.bytes, view.size);
    record.values = view.text;
}

// The end of a conversion: the writer closed, a capture's events counted as
// left out, and the file written removed when the input could not be read
// whole or the output not written.
ConvertResult finishConvert(const RecordScan &scan, RecordWriter &writer, const QString &out, bool capture)
{
    const bool closed = writer.close();
    ConvertResult result;
    result.records = writer.counts().frames + writer.counts().noiseRuns;
    if (capture)
        result.eventsLeftOut = writer.counts().events;
    result.refusedLines = scan.refusedLines;
    result.error = !scan.error.isEmpty() ? scan.error : writer.errorText();
    if (result.error.isEmpty() && !closed)
        result.error = QStringLiteral("cannot write %1").arg(out);
    if (!result.ok())
        QFile::remove(out);
    return result;
}

} // namespace

RecordFileKind recordFileKind(const QString &path)
{
    return fileLooksLikeCapture(path) ? RecordFileKind::Capture : RecordFileKind::Log;
}

// scanRecordFile of `path`, named `name` in messages.
RecordScan scanNamed(const QString &path, const QString &name, const RecordVisitor &visit)
{
    InputFile file;
    if (!file.open(path)) {
        RecordScan scan;
        scan.error = file.errorText();
        return scan;
    }
    if (file.isCapture())
        return scanCapture(file.takeStream(), name, visit);
    const std::unique_ptr<InputDevice> device = file.takeDevice();
    return scanLog(*device, name, visit);
}

RecordScan scanRecordFile(const QString &path, const RecordVisitor &visit)
{
    return scanNamed(path, path, visit);
}

bool RereadableFile::open(InputFile &file, const QString &path)
{
    m_copy.reset();
    m_path = path;
    m_name = path;
    m_error.clear();
    struct stat status;
    if (path != QLatin1String("-") && ::fstat(file.handle(), &status) == 0 && S_ISREG(status.st_mode))
        return true;
    m_copy = std::make_unique<QTemporaryFile>();
    if (!m_copy->open()) {
        m_error = QStringLiteral("cannot keep a copy of %1: %2").arg(inputName(path), m_copy->errorString());
        return false;
    }
    m_path = m_copy->fileName();
    const std::unique_ptr<InputDevice> device = file.takeDevice();
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 got = device->read(chunk.data(), chunk.size());
        if (got < 0) {
            m_error = QStringLiteral("cannot read %1: %2").arg(inputName(path), device->errorString());
            return false;
        }
        if (got == 0)
            break;
        if (m_copy->write(chunk.constData(), got) != got) {
            m_error = QStringLiteral("cannot keep a copy of %1: %2").arg(inputName(path), m_copy->errorString());
            return false;
        }
    }
    if (!m_copy->flush()) {
        m_error = QStringLiteral("cannot keep a copy of %1: %2").arg(inputName(path), m_copy->errorString());
        return false;
    }
    return true;
}

RereadableFile::RereadableFile() = default;
RereadableFile::~RereadableFile() = default;

RecordScan RereadableFile::scan(const RecordVisitor &visit) const
{
    return scanNamed(m_path, m_name, visit);
}

bool RereadableFile::timesFinerThanMs() const
{
    bool finer = false;
    scan([&finer](const RecordView &view) {
        finer = view.timeUs % 1000 != 0;
        return !finer;
    });
    return finer;
}

RecordFileRead readRecordFile(const QString &path)
{
    RecordFileRead read;
    const RecordScan scan = scanRecordFile(path, [&read](const RecordView &view) {
        if (view.kind == BusRecord::Event) {
            read.records.append(eventRecord(view.timeUs, view.text));
            return true;
        }
        BusRecord record;
        record.kind = view.kind;
        record.timeUs = view.timeUs;
        record.bytes = QByteArray(view.bytes, view.size);
        read.records.append(std::move(record));
        return true;
    });
    read.kind = scan.kind;
    read.refusedLines = scan.refusedLines;
    read.error = scan.error;
    return read;
}

ConvertResult convertToCapture(const QString &in, const QString &out, const RecordChoice &choice)
{
    ConvertResult result;
    result.error = sameFileProblem(in, out);
    if (!result.ok())
        return result;
    const std::unique_ptr<RecordWriter> writer =
        RecordWriter::open(out, RecordWriter::Kind::Capture, RecordWriter::Opening::AsNamed, &result.error);
    if (!writer)
        return result;
    BusRecord record;
    const RecordScan scan = scanRecordFile(in, [&](const RecordView &view) {
        if (choice && !choice(view))
            return true;
        setRecord(record, view);
        return writer->write(record, true);
    });
    return finishConvert(scan, *writer, out, true);
}

ConvertResult convertToLog(const QString &in, const QString &out, const RecordChoice &choice)
{
    ConvertResult result;
    result.error = sameFileProblem(in, out);
    if (!result.ok())
        return result;
    // First the precision: the µs are written when any time has them. A
    // pipe is kept in a temporary file to be read twice.
    InputFile input;
    RereadableFile again;
    if (!input.open(in) || !again.open(input, in)) {
        result.error = input.errorText().isEmpty() ? again.errorText() : input.errorText();
        return result;
    }
    const bool precise = again.timesFinerThanMs();
    const std::unique_ptr<RecordWriter> writer =
        RecordWriter::open(out, RecordWriter::Kind::Log, RecordWriter::Opening::AsNamed, &result.error);
    if (!writer)
        return result;
    BusRecord record;
    const RecordScan scan = again.scan([&](const RecordView &view) {
        if (choice && !choice(view))
            return true;
        setRecord(record, view);
        return writer->write(record, precise);
    });
    return finishConvert(scan, *writer, out, false);
}

} // namespace capture
