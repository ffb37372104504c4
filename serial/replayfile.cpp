#include "serial/replayfile.h"

#include "capture/inputfile.h"
#include "capture/recordfile.h"
#include "catalogue/hexdigits.h"
#include "codec/buslog.h"
#include "codec/buslogfile.h"

#include <QFile>


namespace {

// Text as a log holds it: UTF-8 without control characters but tab and CR.
bool isTextLine(const QByteArray &line)
{
    bool ascii = true;
    for (const char c : line) {
        const uchar u = uchar(c);
        if ((u < 0x20 && c != '\t' && c != '\r') || u == 0x7F)
            return false;
        ascii = ascii && u < 0x80;
    }
    if (ascii)
        return true;
    // Bytes that are no UTF-8 come back as U+FFFD, which differs from them.
    return QString::fromUtf8(line).toUtf8() == line;
}

// A frame's text as written on a log line: hex digits, spaces and tabs.
bool isHexText(const QString &text)
{
    for (const QChar c : text) {
        if (hexDigitValue(c.unicode()) < 0 && c != QLatin1Char(' ') && c != QLatin1Char('\t'))
            return false;
    }
    return true;
}

// Whether a line may be in a log to replay (see replayfile.h); counts its frame.
bool isReplayableLine(const QByteArray &line, bool tooLong, int *frames)
{
    if (tooLong || !isTextLine(line))
        return false;
    BusLogEntry entry;
    const BusLogLineKind kind = readBusLogLine(line, &entry);
    if (kind == BusLogLineKind::Refused)
        return false;
    if (kind == BusLogLineKind::Skipped || (entry.kind != BusRecord::Received && entry.kind != BusRecord::Sent))
        return true;
    ++*frames;
    QByteArray text = line;
    if (text.endsWith('\r'))
        text.chop(1);
    return isHexText(parseBusLogLine(QString::fromUtf8(text)).frameText);
}

// The first line that may not be in a log to replay, as an error; empty when
// every line may. `frames` counts the frame lines.
QString checkLog(const QString &path, const QString &shownPath, int *frames)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(shownPath, file.errorString());
    BusLogLineReader lines(file);
    QByteArray line;
    bool tooLong = false;
    for (int number = 1; lines.next(&line, &tooLong); ++number) {
        if (!isReplayableLine(line, tooLong, frames))
            return QStringLiteral("line %1 of %2 is no log line: it is neither a frame, noise, an event nor a "
                                  "comment, and the file is not replayed")
                .arg(number)
                .arg(shownPath);
    }
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read %1: %2").arg(shownPath, file.errorString());
    return QString();
}

} // namespace

ReplayFile readReplayFile(const QString &path)
{
    ReplayFile result;
    // Opened once (a pipe, standard input or a FIFO is kept in a copy), so
    // that what is checked is what is read.
    capture::InputFile input;
    capture::RereadableFile file;
    if (!input.open(path)) {
        result.error = input.errorText();
        return result;
    }
    const bool capture = input.isCapture();
    if (!file.open(input, path)) {
        result.error = file.errorText();
        return result;
    }
    const QString readPath = file.readablePath();
    int logFrames = 0;
    if (!capture) {
        result.error = checkLog(readPath, capture::inputName(path), &logFrames);
        if (!result.ok())
            return result;
    }
    QVector<BusRecord> frames;
    const capture::RecordScan scan = file.scan([&frames](const capture::RecordView &view) {
        if (view.kind != BusRecord::Received && view.kind != BusRecord::Sent)
            return true;
        BusRecord record;
        record.kind = view.kind;
        record.timeUs = view.hasTime ? view.timeUs : -1;
        record.bytes = QByteArray(view.bytes, view.size);
        frames.append(std::move(record));
        return true;
    });
    if (!scan.error.isEmpty())
        result.error = scan.error;
    else if ((scan.kind == capture::RecordFileKind::Capture) != capture
             || (!capture && (scan.refusedLines > 0 || frames.size() != logFrames)))
        result.error = QStringLiteral("%1 changed while it was read: it is not replayed").arg(capture::inputName(path));
    else if (frames.isEmpty())
        result.error = QStringLiteral("no frames to replay in %1").arg(capture::inputName(path));
    if (result.ok())
        result.frames = std::move(frames);
    return result;
}
