#include "codec/busrecord.h"

#include "catalogue/hexdigits.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"

#include <QDateTime>
#include <QStringList>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr qint64 kHourMs = 3600 * 1000;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b < 0 ? 1 : 0);
}

qint64 localOffsetMs(qint64 timeMs)
{
    return qint64(QDateTime::fromMSecsSinceEpoch(timeMs).offsetFromUtc()) * 1000;
}

// A stretch of time over which the local time's offset from UTC holds.
struct OffsetSpan
{
    qint64 from = 0;  // first millisecond
    qint64 until = 0; // one past the last; empty: nothing known
    qint64 offsetMs = 0;
};

// Where the offset changes between `same`, whose offset is `offsetMs`, and
// `other`, on either side of it, whose offset is another: the first
// millisecond of the later of the two offsets. It changes once between them.
qint64 offsetChange(qint64 same, qint64 other, qint64 offsetMs)
{
    while (qAbs(other - same) > 1) {
        const qint64 middle = same + (other - same) / 2;
        (localOffsetMs(middle) == offsetMs ? same : other) = middle;
    }
    return qMax(same, other);
}

// The span around `timeMs` within its hour of UTC, found by asking for the
// offsets at both ends of the hour: the offset changes at most once an hour.
OffsetSpan offsetSpanAt(qint64 timeMs)
{
    OffsetSpan span;
    span.offsetMs = localOffsetMs(timeMs);
    span.from = floorDiv(timeMs, kHourMs) * kHourMs;
    span.until = span.from + kHourMs;
    if (localOffsetMs(span.from) != span.offsetMs)
        span.from = offsetChange(timeMs, span.from, span.offsetMs);
    if (localOffsetMs(span.until - 1) != span.offsetMs)
        span.until = offsetChange(timeMs, span.until - 1, span.offsetMs);
    return span;
}

// Where a filter word can be found, from the characters it holds.
enum WordPlace : quint32 {
    PlaceNamed = 1,          // device, message, values, direction, checksum: any text
    PlaceTime = 2,           // digits, colons, a point
    PlaceDelta = 4,          // digits and a point
    PlaceHex = 8,            // hex digits: the bytes, spaced or not
    PlaceSpacedHex = 16,     // hex digits and spaces: the bytes as the list shows them
    PlaceRoute = 32,         // a route between two nodes
    PlaceGroupRoute = 64,    // a route to the group
    PlaceBroadcastRoute = 128,
    PlaceAcross = 256,       // a line break: across columns, read from the whole text
};

quint32 routePlace(quint32 destination)
{
    switch (addressingModeOf(destination)) {
    case AddressingMode::Group:
        return PlaceGroupRoute;
    case AddressingMode::Broadcast:
        return PlaceBroadcastRoute;
    case AddressingMode::PointToPoint:
        break;
    }
    return PlaceRoute;
}

bool contains(const char *text, const QByteArray &word)
{
    return std::string_view(text).find(std::string_view(word.constData(), size_t(word.size())))
        != std::string_view::npos;
}

// Whether the text, lower case and in UTF-8, holds the word; without a copy
// when the text is ASCII.
bool containsLowered(const QString &text, const QByteArray &word)
{
    const QChar *chars = text.constData();
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        if (chars[i].unicode() >= 0x80)
            return text.toLower().toUtf8().contains(word);
    }
    const int length = word.size();
    const char *w = word.constData();
    for (int at = 0; at + length <= size; ++at) {
        int i = 0;
        while (i < length) {
            ushort c = chars[at + i].unicode();
            if (c >= 'A' && c <= 'Z')
                c = ushort(c + ('a' - 'A'));
            if (c != ushort(quint8(w[i])))
                break;
            ++i;
        }
        if (i == length)
            return true;
    }
    return false;
}

// A node id as nodeIdText writes it, in lower case; returns the end.
char *nodeIdLowered(quint32 address, char *out)
{
    const char *digits = kHexDigitsLower;
    int count = 6;
    while (count < 8 && (address >> (4 * count)) != 0)
        ++count;
    for (int i = count - 1; i >= 0; --i, address >>= 4)
        out[i] = digits[address & 0xF];
    return out + count;
}

// Whether routeText, in lower case and UTF-8, holds the word.
bool routeHolds(quint32 source, quint32 destination, const QByteArray &word)
{
    char text[32];
    char *end = nodeIdLowered(source, text);
    end = std::copy_n(" \xe2\x86\x92 ", 5, end);
    switch (addressingModeOf(destination)) {
    case AddressingMode::Group:
        end = std::copy_n("group", 5, end);
        break;
    case AddressingMode::Broadcast:
        end = std::copy_n("broadcast", 9, end);
        break;
    case AddressingMode::PointToPoint:
        end = nodeIdLowered(destination, end);
        break;
    }
    return std::string_view(text, size_t(end - text)).find(std::string_view(word.constData(), size_t(word.size())))
        != std::string_view::npos;
}

// Whether the bytes in lower-case hex, spaced as the list shows them or
// unspaced, hold the word.
bool containsHex(const QByteArray &bytes, const QByteArray &word, bool spaced)
{
    const char *digits = kHexDigitsLower;
    const int step = spaced ? 3 : 2;
    char local[256];
    std::unique_ptr<char[]> large;
    const size_t size = size_t(bytes.size()) * size_t(step);
    char *text = size <= sizeof local ? local : (large.reset(new char[size]), large.get());
    for (int i = 0; i < bytes.size(); ++i) {
        const quint8 byte = quint8(bytes.at(i));
        char *out = text + i * step;
        out[0] = digits[byte >> 4];
        out[1] = digits[byte & 0xF];
        if (spaced)
            out[2] = ' ';
    }
    // The spaced text has no space after its last byte.
    const size_t length = spaced && size > 0 ? size - 1 : size;
    return std::string_view(text, length).find(std::string_view(word.constData(), size_t(word.size())))
        != std::string_view::npos;
}

} // namespace

QString timeOfDayText(qint64 timeUs)
{
    const qint64 timeMs = floorDiv(timeUs, 1000);
    // Asking the time zone for every row costs more than the rest of the row;
    // each thread asks again only when the time leaves the span it last
    // found: the hour of UTC around that time, cut where the offset changes
    // (summer time begins or ends). A new zone for the whole system shows
    // from the next span on.
    thread_local OffsetSpan span;
    if (timeMs < span.from || timeMs >= span.until)
        span = offsetSpanAt(timeMs);
    const qint64 dayMs = 24 * 3600 * 1000;
    qint64 ms = (timeMs + span.offsetMs) % dayMs;
    if (ms < 0)
        ms += dayMs;
    return QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("hh:mm:ss.zzz"))
        + QStringLiteral("%1").arg(timeUs - timeMs * 1000, 3, 10, QLatin1Char('0'));
}

namespace {

// `value` in units of 1/`scale` with `digits` decimals, exactly.
QString fixedText(qint64 value, qint64 scale, int digits)
{
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    const QString text = QString::number(magnitude / quint64(scale)) + QLatin1Char('.')
        + QStringLiteral("%1").arg(magnitude % quint64(scale), digits, 10, QLatin1Char('0'));
    return value < 0 ? QLatin1Char('-') + text : text;
}

} // namespace

QString deltaText(qint64 deltaUs)
{
    return deltaUs < 0 ? QString() : fixedText(deltaUs, 1000, 3);
}

QString secondsText(qint64 us)
{
    return fixedText(us, 1000000, 6);
}

QString directionText(BusRecord::Kind kind)
{
    return kind == BusRecord::Sent ? QStringLiteral("TX") : QStringLiteral("RX");
}

QString spacedHexText(const QByteArray &bytes)
{
    const char *digits = kHexDigitsUpper;
    if (bytes.isEmpty())
        return QString();
    QString text(3 * bytes.size() - 1, QLatin1Char(' '));
    QChar *out = text.data();
    for (int i = 0; i < bytes.size(); ++i) {
        const quint8 byte = quint8(bytes.at(i));
        out[3 * i] = QLatin1Char(digits[byte >> 4]);
        out[3 * i + 1] = QLatin1Char(digits[byte & 0xF]);
    }
    return text;
}

QString routeText(quint32 source, quint32 destination)
{
    const AddressingMode mode = addressingModeOf(destination);
    const QString to = mode == AddressingMode::PointToPoint ? nodeIdText(destination)
                                                            : addressingModeName(destination);
    return nodeIdText(source) + QStringLiteral(" \u2192 ") + to;
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

QString countText(quint64 count, const char *singular, const char *plural)
{
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? singular : plural);
}

void setShownValues(BusRecord &record, const QString &status, bool success, const QString &parameters)
{
    // A frame whose checksum fails may be a frame the bus mangled: it says
    // so first, whatever its decoding says.
    const bool badChecksum = record.parsed && !record.checksumOk;
    QStringList parts;
    if (badChecksum)
        parts << QStringLiteral("bad checksum");
    if (!success && !status.isEmpty())
        parts << status;
    if (!parameters.isEmpty() || parts.isEmpty())
        parts << parameters;
    record.statusShown = !success || badChecksum;
    record.shownValues = parts.join(QStringLiteral(" | "));
}

BusRecord eventRecord(qint64 timeUs, const QString &text)
{
    BusRecord record;
    record.kind = BusRecord::Event;
    record.timeUs = timeUs;
    record.values = text;
    record.shownValues = text;
    return record;
}

QString columnText(const BusRecord &record, int column)
{
    const bool noise = record.kind == BusRecord::Noise;
    const bool frame = !noise && record.kind != BusRecord::Event;
    switch (column) {
    case ColumnTime:
        return timeOfDayText(record.timeUs);
    case ColumnDelta:
        return deltaText(record.deltaUs);
    case ColumnDirection:
        return record.kind == BusRecord::Event ? QString() : directionText(record.kind);
    case ColumnDevice:
        return record.device;
    case ColumnMessage:
        return noise ? QStringLiteral("Noise") : record.message;
    case ColumnRoute:
        return record.parsed ? routeText(record.sourceAddress, record.destinationAddress) : QString();
    case ColumnValues:
        return noise ? countText(quint64(record.bytes.size()), "byte", "bytes") : record.shownValues;
    case ColumnBytes:
        return spacedHexText(record.bytes);
    case ColumnChecksum:
        if (!frame || !record.parsed)
            return QString();
        return record.checksumOk ? QStringLiteral("ok") : QStringLiteral("bad");
    default:
        return QString();
    }
}

QString columnToolTip(const BusRecord &record, int column)
{
    if (column == ColumnValues && !record.values.isEmpty())
        return record.values;
    return columnText(record, column);
}

QByteArray searchText(const BusRecord &record)
{
    QString all;
    all.reserve(96 + record.shownValues.size() + 5 * record.bytes.size());
    for (int column = 0; column < BusColumnCount; ++column) {
        // A line break between columns, which the filter field cannot hold,
        // so that no match spans two columns.
        if (column > 0)
            all += QLatin1Char('\n');
        all += columnText(record, column);
    }
    if (!record.bytes.isEmpty()) {
        all += QLatin1Char('\n');
        appendHexText(record.bytes, all);
    }
    return all.toLower().toUtf8();
}

BusFilter::BusFilter(const QString &text)
{
    const int size = text.size();
    int at = 0;
    while (at < size) {
        if (text.at(at).isSpace()) {
            ++at;
            continue;
        }
        // A lone "-" is looked for as it is.
        const bool excluded = text.at(at) == QLatin1Char('-') && at + 1 < size && !text.at(at + 1).isSpace();
        if (excluded)
            ++at;
        int end = at;
        QString word;
        if (text.at(at) == QLatin1Char('"')) {
            // A phrase, spaces and all, to the closing quote or the end.
            end = text.indexOf(QLatin1Char('"'), at + 1);
            if (end < 0)
                end = size;
            word = text.mid(at + 1, end - at - 1);
            at = qMin(size, end + 1);
        } else {
            while (end < size && !text.at(end).isSpace())
                ++end;
            word = text.mid(at, end - at);
            at = end;
        }
        if (word.isEmpty())
            continue;
        (excluded ? m_excluded : m_required).append(BusFilter::word(word));
    }
}

bool BusFilter::matches(const QByteArray &search) const
{
    for (const Word &word : m_required) {
        if (!search.contains(word.text))
            return false;
    }
    for (const Word &word : m_excluded) {
        if (search.contains(word.text))
            return false;
    }
    return true;
}

bool BusFilter::matches(const BusRecord &record) const
{
    for (const Word &word : m_required) {
        if (!holds(record, word))
            return false;
    }
    for (const Word &word : m_excluded) {
        if (holds(record, word))
            return false;
    }
    return true;
}

BusFilter::Word BusFilter::word(const QString &text)
{
    Word word;
    word.text = text.toLower().toUtf8();
    const auto within = [&word](const char *characters) {
        for (char c : word.text) {
            if (!std::strchr(characters, c))
                return false;
        }
        return true;
    };
    const char *const hex = kHexDigitsLower;
    if (word.text.contains('\n'))
        return Word{word.text, PlaceAcross};
    word.places = PlaceNamed;
    if (within("0123456789:."))
        word.places |= PlaceTime;
    if (within("0123456789."))
        word.places |= PlaceDelta;
    if (within(hex))
        word.places |= PlaceHex;
    else if (within("0123456789abcdef "))
        word.places |= PlaceSpacedHex;
    // The route: two node ids in hex, an arrow, or a mode's name.
#define KWN_ROUTE_CHARACTERS "0123456789abcdef \xe2\x86\x92"
    if (within(KWN_ROUTE_CHARACTERS))
        word.places |= PlaceRoute | PlaceGroupRoute | PlaceBroadcastRoute;
    if (within(KWN_ROUTE_CHARACTERS "group"))
        word.places |= PlaceGroupRoute;
    if (within(KWN_ROUTE_CHARACTERS "broadcast"))
        word.places |= PlaceBroadcastRoute;
#undef KWN_ROUTE_CHARACTERS
    return word;
}

bool BusFilter::holds(const BusRecord &record, const Word &word)
{
    if (word.places & PlaceAcross)
        return searchText(record).contains(word.text);
    const QByteArray &text = word.text;
    const bool noise = record.kind == BusRecord::Noise;
    const bool frame = !noise && record.kind != BusRecord::Event;
    if (containsLowered(record.device, text))
        return true;
    if (noise ? contains("noise", text) : containsLowered(record.message, text))
        return true;
    if (noise ? containsLowered(countText(quint64(record.bytes.size()), "byte", "bytes"), text)
              : containsLowered(record.shownValues, text))
        return true;
    if (record.kind != BusRecord::Event && contains(record.kind == BusRecord::Sent ? "tx" : "rx", text))
        return true;
    if (frame && record.parsed && contains(record.checksumOk ? "ok" : "bad", text))
        return true;
    if ((word.places & PlaceDelta) && record.deltaUs >= 0
        && deltaText(record.deltaUs).contains(QLatin1String(text)))
        return true;
    if ((word.places & (PlaceHex | PlaceSpacedHex)) && containsHex(record.bytes, text,
                                                                   word.places & PlaceSpacedHex))
        return true;
    if (record.parsed && (word.places & routePlace(record.destinationAddress))
        && routeHolds(record.sourceAddress, record.destinationAddress, text))
        return true;
    return (word.places & PlaceTime) && timeOfDayText(record.timeUs).contains(QLatin1String(text));
}
