#include "capture/recordfile.h"

#include "capture/capturefile.h"
#include "codec/buslog.h"
#include "codec/buslogfile.h"
#include "codec/framedecoding.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace capture {

namespace {

// A line of a log as readBusLogLine reads it. The common line, "TIME DIR
// HEX" with a time that exists, is read straight from its bytes.
BusLogLineKind readLogLine(const QByteArray &line, BusLogEntry *entry)
{
    qsizetype size = line.size();
    const char *text = line.constData();
    if (size > 0 && text[size - 1] == '\r')
        --size;
    if (size > 0 && text[0] >= '0' && text[0] <= '9') {
        BusLogLine logged;
        qsizetype textStart = 0;
        if (parseBusLogLine(text, size, &logged, &textStart) && logged.kind == BusLogLine::Frame
            && logged.timeValid && textStart > 0) {
            const ParsedFrame parsed = parseFrameText(text + textStart, size - textStart);
            if (!parsed.ok() || parsed.bytes.size() > kMaxFrameBytes)
                return BusLogLineKind::Refused;
            entry->kind = logged.direction == QLatin1String("TX") ? BusRecord::Sent : BusRecord::Received;
            entry->hasTime = true;
            entry->timeUs = logged.timeUs;
            entry->bytes = parsed.bytes;
            return BusLogLineKind::Entry;
        }
    }
    return readBusLogLine(line, entry);
}

RecordScan scanLog(const QString &path, const RecordVisitor &visit)
{
    RecordScan scan;
    scan.kind = RecordFileKind::Log;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        scan.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return scan;
    }
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
        view.bytes = entry.bytes.constData();
        view.size = entry.bytes.size();
        view.text = entry.text;
        ++scan.records;
        if (!visit(view))
            break;
    }
    if (file.error() != QFileDevice::NoError)
        scan.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return scan;
}

RecordScan scanCapture(const QString &path, const RecordVisitor &visit)
{
    RecordScan scan;
    scan.kind = RecordFileKind::Capture;
    CaptureReader reader;
    if (!reader.open(path)) {
        scan.error = reader.errorText();
        return scan;
    }
    CaptureRecord record;
    RecordView view;
    while (reader.next(&record)) {
        view.kind = record.kind;
        view.timeUs = record.timeUs;
        view.bytes = record.bytes;
        view.size = record.size;
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
    const QFileInfo a(in);
    const QFileInfo b(out);
    if (a.exists() && b.exists() && a.canonicalFilePath() == b.canonicalFilePath())
        return QStringLiteral("%1 is both the input and the output").arg(in);
    return QString();
}

} // namespace

RecordFileKind recordFileKind(const QString &path)
{
    return fileLooksLikeCapture(path) ? RecordFileKind::Capture : RecordFileKind::Log;
}

RecordScan scanRecordFile(const QString &path, const RecordVisitor &visit)
{
    return recordFileKind(path) == RecordFileKind::Capture ? scanCapture(path, visit) : scanLog(path, visit);
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

ConvertResult convertToCapture(const QString &in, const QString &out)
{
    ConvertResult result;
    result.error = sameFileProblem(in, out);
    if (!result.ok())
        return result;
    CaptureWriter writer;
    if (!writer.open(out)) {
        result.error = writer.errorText();
        return result;
    }
    const RecordScan scan = scanRecordFile(in, [&writer](const RecordView &view) {
        return writer.write(view.kind, view.timeUs, view.bytes, view.size);
    });
    const bool closed = writer.close();
    result.records = writer.recordsWritten();
    result.eventsLeftOut = writer.eventsLeftOut();
    result.refusedLines = scan.refusedLines;
    result.error = !scan.error.isEmpty() ? scan.error : writer.errorText();
    if (result.error.isEmpty() && !closed)
        result.error = QStringLiteral("cannot write %1").arg(out);
    if (!result.ok())
        QFile::remove(out);
    return result;
}

ConvertResult convertToLog(const QString &in, const QString &out)
{
    ConvertResult result;
    result.error = sameFileProblem(in, out);
    if (!result.ok())
        return result;
    // First the precision: the µs are written when any time has them.
    bool precise = false;
    RecordScan scan = scanRecordFile(in, [&precise](const RecordView &view) {
        precise = view.timeUs % 1000 != 0;
        return !precise;
    });
    if (!scan.error.isEmpty()) {
        result.error = scan.error;
        return result;
    }
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        result.error = QStringLiteral("cannot write %1: %2").arg(out, file.errorString());
        return result;
    }
    QByteArray chunk;
    chunk.reserve(1 << 17);
    bool written = true;
    BusRecord record;
    scan = scanRecordFile(in, [&](const RecordView &view) {
        record.kind = view.kind;
        record.timeUs = view.timeUs;
        record.bytes = QByteArray::fromRawData(view.bytes, view.size);
        record.values = view.text;
        chunk += busLogLineOf(record, precise);
        ++result.records;
        if (chunk.size() >= (1 << 16)) {
            written = file.write(chunk) == chunk.size();
            chunk.resize(0);
        }
        return written;
    });
    written = written && file.write(chunk) == chunk.size() && file.flush();
    result.refusedLines = scan.refusedLines;
    result.error = scan.error;
    if (result.ok() && !written)
        result.error = QStringLiteral("cannot write %1: %2").arg(out, file.errorString());
    file.close();
    if (!result.ok())
        QFile::remove(out);
    return result;
}

} // namespace capture
