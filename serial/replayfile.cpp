#include "serial/replayfile.h"

#include "capture/recordfile.h"
#include "codec/buslog.h"
#include "codec/buslogfile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTextCodec>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(line.constData(), line.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// A frame's text as written on a log line: hex digits, spaces and tabs.
bool isHexText(const QString &text)
{
    for (const QChar c : text) {
        const char l = c.toLatin1();
        const bool digit = (l >= '0' && l <= '9') || (l >= 'a' && l <= 'f') || (l >= 'A' && l <= 'F');
        if (!digit && l != ' ' && l != '\t')
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

// A pipe, standard input ("-") or a device, read once into `copy`: what is
// checked is then what is read. A FIFO opens without waiting for a writer.
QString copyStream(const QString &path, QTemporaryFile &copy)
{
    const int fd = path == QLatin1String("-") ? ::dup(STDIN_FILENO)
                                               : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QFile in;
    if (!in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QStringLiteral("cannot read %1: %2").arg(path, in.errorString());
    }
    if (!copy.open())
        return QStringLiteral("cannot read %1: no room for a copy: %2").arg(path, copy.errorString());
    QByteArray block;
    while (!(block = in.read(1 << 16)).isEmpty()) {
        if (copy.write(block) != block.size())
            return QStringLiteral("cannot read %1: no room for a copy: %2").arg(path, copy.errorString());
    }
    if (in.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read %1: %2").arg(path, in.errorString());
    copy.close();
    return QString();
}

} // namespace

ReplayFile readReplayFile(const QString &path)
{
    ReplayFile result;
    QString readPath = path;
    QTemporaryFile copy;
    const QFileInfo info(path);
    if (path == QLatin1String("-") || (info.exists() && !info.isFile())) {
        result.error = copyStream(path, copy);
        if (!result.ok())
            return result;
        readPath = copy.fileName();
    }
    const bool capture = capture::recordFileKind(readPath) == capture::RecordFileKind::Capture;
    int logFrames = 0;
    if (!capture) {
        result.error = checkLog(readPath, path, &logFrames);
        if (!result.ok())
            return result;
    }
    QVector<BusRecord> frames;
    const capture::RecordScan scan = capture::scanRecordFile(readPath, [&frames](const capture::RecordView &view) {
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
        result.error = readPath == path ? scan.error : QString(scan.error).replace(readPath, path);
    else if ((scan.kind == capture::RecordFileKind::Capture) != capture
             || (!capture && (scan.refusedLines > 0 || frames.size() != logFrames)))
        result.error = QStringLiteral("%1 changed while it was read: it is not replayed").arg(path);
    else if (frames.isEmpty())
        result.error = QStringLiteral("no frames to replay in %1").arg(path);
    if (result.ok())
        result.frames = std::move(frames);
    return result;
}
