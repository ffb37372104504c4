#include "codec/buslogfile.h"

#include "codec/buslog.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"

#include <QIODevice>

namespace {

const QLatin1String kEventTag("event:");

// An event's text on one line: line breaks and other controls as spaces.
QString oneLine(const QString &text)
{
    QString line = text.trimmed();
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return line;
}

} // namespace

QByteArray busLogLineOf(const BusRecord &record, bool precise)
{
    const QString time = busLogTimeUs(record.timeUs, precise);
    QString line;
    switch (record.kind) {
    case BusRecord::Noise:
        line = QLatin1String("# ") + time + QLatin1String(" noise: ") + frameToHexText(record.bytes);
        break;
    case BusRecord::Event:
        line = QStringLiteral("# ") + time + QLatin1Char(' ') + kEventTag + QLatin1Char(' ') + oneLine(record.values);
        break;
    case BusRecord::Received:
    case BusRecord::Sent:
        line = time + QLatin1Char(' ') + directionText(record.kind) + QLatin1Char(' ') + frameToHexText(record.bytes);
        break;
    }
    return line.toUtf8() + '\n';
}

bool parseBusLogNoiseLine(const QString &line, BusLogEntry *entry)
{
    const QString text = line.trimmed();
    if (!text.startsWith(QLatin1Char('#')))
        return false;
    const QStringList words = text.mid(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 3 || words.at(1) != QLatin1String("noise:") || !hasBusLogTimeShape(words.at(0)))
        return false;
    const QString hex = words.at(2);
    if (hex.isEmpty() || hex.size() % 2 != 0)
        return false;
    for (const QChar c : hex) {
        const bool digit = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
        if (!digit)
            return false;
    }
    qint64 us = 0;
    entry->kind = BusRecord::Noise;
    entry->hasTime = readBusLogTimeUs(words.at(0), &us);
    entry->timeUs = entry->hasTime ? us : -1;
    entry->bytes = hexTextToBytes(hex);
    return true;
}

bool parseBusLogEventLine(const QString &line, BusLogEntry *entry)
{
    const QString text = line.trimmed();
    if (!text.startsWith(QLatin1Char('#')))
        return false;
    int at = 1;
    while (at < text.size() && text.at(at) == QLatin1Char(' '))
        ++at;
    const int timeEnd = text.indexOf(QLatin1Char(' '), at);
    if (timeEnd < 0 || !hasBusLogTimeShape(text, at))
        return false;
    int tag = timeEnd;
    while (tag < text.size() && text.at(tag) == QLatin1Char(' '))
        ++tag;
    if (!QStringView(text).mid(tag).startsWith(kEventTag))
        return false;
    qint64 us = 0;
    entry->kind = BusRecord::Event;
    entry->hasTime = readBusLogTimeUs(text.mid(at, timeEnd - at), &us);
    entry->timeUs = entry->hasTime ? us : -1;
    entry->bytes.clear();
    entry->text = text.mid(tag + kEventTag.size()).trimmed();
    return true;
}

BusLogLineKind readBusLogLine(const QByteArray &bytes, BusLogEntry *entry)
{
    QByteArray text = bytes;
    if (text.endsWith('\r'))
        text.chop(1);
    // Whole, NULs and all: fromUtf8 of a QByteArray would stop at the first NUL.
    const QString line = QString::fromUtf8(text.constData(), text.size());
    if (line.trimmed().isEmpty())
        return BusLogLineKind::Skipped;
    if (parseBusLogNoiseLine(line, entry) || parseBusLogEventLine(line, entry))
        return BusLogLineKind::Entry;
    const BusLogLine logged = parseBusLogLine(line);
    if (logged.kind != BusLogLine::Frame)
        return BusLogLineKind::Skipped; // other comments
    const ParsedFrame parsed = parseFrameText(logged.frameText);
    if (!parsed.ok() || parsed.bytes.size() > kMaxFrameBytes)
        return BusLogLineKind::Refused;
    entry->kind = logged.direction == QLatin1String("TX") ? BusRecord::Sent : BusRecord::Received;
    entry->hasTime = logged.timeValid;
    entry->timeUs = logged.timeUs;
    entry->bytes = parsed.bytes;
    return BusLogLineKind::Entry;
}

bool BusLogLineReader::fill()
{
    if (m_end)
        return false;
    if (m_pos > 0) {
        m_buffer.remove(0, int(m_pos));
        m_pos = 0;
    }
    const qsizetype had = m_buffer.size();
    m_buffer.resize(int(had + (1 << 16)));
    const qint64 got = m_device.read(m_buffer.data() + had, 1 << 16);
    m_buffer.resize(int(had + qMax<qint64>(0, got)));
    if (got <= 0)
        m_end = true;
    return got > 0;
}

bool BusLogLineReader::next(QByteArray *line, bool *tooLong)
{
    *tooLong = false;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', int(m_pos));
        if (end >= 0) {
            if (*tooLong)
                line->clear();
            else
                *line = m_buffer.mid(int(m_pos), int(end - m_pos));
            m_pos = end + 1;
            return true;
        }
        if (m_buffer.size() - m_pos > kMaxLineBytes) {
            // Too long: what is held goes, and the rest of the line after it.
            *tooLong = true;
            m_buffer.clear();
            m_pos = 0;
        }
        if (!fill()) {
            if (m_pos >= m_buffer.size() && !*tooLong)
                return false;
            *line = *tooLong ? QByteArray() : m_buffer.mid(int(m_pos));
            m_buffer.clear();
            m_pos = 0;
            return true;
        }
    }
}

BusLogRead readBusLog(QIODevice &device)
{
    BusLogRead read;
    BusLogLineReader lines(device);
    QByteArray line;
    bool tooLong = false;
    while (lines.next(&line, &tooLong)) {
        BusLogEntry entry;
        const BusLogLineKind kind = tooLong ? BusLogLineKind::Refused : readBusLogLine(line, &entry);
        if (kind == BusLogLineKind::Refused)
            ++read.refused;
        else if (kind == BusLogLineKind::Entry)
            read.entries.append(std::move(entry));
    }
    return read;
}
