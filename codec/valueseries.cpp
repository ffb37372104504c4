#include "codec/valueseries.h"

#include "codec/buslog.h"
#include "codec/framedecoding.h"

#include <algorithm>
#include <array>

QString SeriesKey::title() const
{
    return QStringLiteral("%1 (%2 %3, %4)").arg(parameter, device, nodeIdText(sourceAddress), message);
}

bool isPlottable(const DecodedRow &row)
{
    return row.hasRaw && (row.kind == DecodedRow::Value || row.kind == DecodedRow::Bits);
}

SeriesKind seriesKindOf(const DecodedRow &row)
{
    if (row.kind == DecodedRow::Bits)
        return SeriesKind::Bitfield;
    return row.namedForm ? SeriesKind::Named : SeriesKind::Number;
}

bool givesPoints(const FrameReport &report)
{
    return report.parsed && report.checksumOk && report.productFound && report.message.known;
}

SeriesKey seriesKeyOf(const FrameReport &report, const QString &parameter)
{
    SeriesKey key;
    key.sourceAddress = report.frame.fields.sourceAddress;
    key.device = report.device;
    key.messageId = report.frame.fields.messageId;
    key.message = report.message.messageName;
    key.parameter = parameter;
    return key;
}

QVector<PlottableParameter> plottableParameters(const FrameReport &report)
{
    QVector<PlottableParameter> plottable;
    if (!givesPoints(report))
        return plottable;
    for (const DecodedRow &row : report.message.rows) {
        if (isPlottable(row))
            plottable.append({seriesKeyOf(report, row.parameterName), seriesKindOf(row)});
    }
    return plottable;
}

// --- ValueSeries ----------------------------------------------------------------

void ValueSeries::append(qint64 timeUs, double value)
{
    if (!m_times.isEmpty() && timeUs < m_times.constLast())
        m_sorted = false;
    m_times.append(timeUs);
    m_values.append(value);
}

void ValueSeries::clear()
{
    m_times.clear();
    m_values.clear();
    m_names.clear();
    m_sorted = true;
}

// --- ValueExtractor -------------------------------------------------------------

ValueExtractor::ValueExtractor(DecodeCatalogue &catalogue)
    : m_decoder([&catalogue](const QByteArray &bytes) { return catalogue.decodeBytes(bytes); })
{
}

ValueExtractor::ValueExtractor(Decoder decoder) : m_decoder(std::move(decoder)) {}

ValueExtractor::~ValueExtractor() = default;

int ValueExtractor::addSeries(const SeriesKey &key)
{
    const int known = indexOf(key);
    if (known >= 0)
        return known;
    m_series.append(ValueSeries(key));
    return m_series.size() - 1;
}

int ValueExtractor::indexOf(const SeriesKey &key) const
{
    for (int i = 0; i < m_series.size(); ++i) {
        if (m_series.at(i).key() == key)
            return i;
    }
    return -1;
}

const ValueExtractor::Decoded &ValueExtractor::decoded(const QByteArray &bytes)
{
    const auto found = m_cache.constFind(bytes);
    if (found != m_cache.constEnd())
        return found.value();
    // A bus with many changing values has many distinct frames: the cache
    // starts again rather than growing without end.
    if (m_cache.size() >= kCacheLimit)
        m_cache.clear();
    const FrameReport report = m_decoder(bytes);
    ++m_decodedCount;
    Decoded entry;
    entry.usable = givesPoints(report);
    entry.sourceAddress = report.frame.fields.sourceAddress;
    entry.messageId = report.frame.fields.messageId;
    if (entry.usable) {
        entry.device = report.device;
        entry.message = report.message.messageName;
        for (const DecodedRow &row : report.message.rows) {
            if (!isPlottable(row))
                continue;
            Parameter parameter;
            parameter.name = row.parameterName;
            parameter.number = row.rawNumber();
            parameter.kind = seriesKindOf(row);
            parameter.description = row.toolTip;
            // A number that the catalogue does not name has no name to show.
            if (row.valueNamed)
                parameter.shown = row.value;
            entry.parameters.append(parameter);
        }
    }
    return m_cache.insert(bytes, entry).value();
}

int ValueExtractor::feed(const BusRecord &record, int only)
{
    if (record.kind != BusRecord::Received && record.kind != BusRecord::Sent)
        return 0;
    // The record's own header fields, when it has them, leave out the frames
    // of other nodes and messages without a look into the cache.
    if (record.parsed) {
        if (!record.checksumOk)
            return 0;
        bool wanted = false;
        for (int i = only < 0 ? 0 : only; i < (only < 0 ? m_series.size() : only + 1) && !wanted; ++i) {
            const SeriesKey &key = m_series.at(i).key();
            wanted = key.sourceAddress == record.sourceAddress && key.messageId == record.messageId;
        }
        if (!wanted)
            return 0;
    }
    const Decoded &frame = decoded(record.bytes);
    if (!frame.usable)
        return 0;
    int added = 0;
    for (int i = only < 0 ? 0 : only; i < (only < 0 ? m_series.size() : only + 1); ++i) {
        ValueSeries &series = m_series[i];
        const SeriesKey &key = series.key();
        if (key.sourceAddress != frame.sourceAddress || key.messageId != frame.messageId || key.device != frame.device
            || key.message != frame.message)
            continue;
        for (const Parameter &parameter : frame.parameters) {
            if (parameter.name != key.parameter)
                continue;
            if (series.isEmpty()) {
                series.setKind(parameter.kind);
                series.setDescription(parameter.description);
            }
            if (!parameter.shown.isEmpty())
                series.addName(parameter.number, parameter.shown);
            series.append(record.timeUs, double(parameter.number));
            ++added;
            break;
        }
    }
    return added;
}

int ValueExtractor::feed(const QVector<BusRecord> &records, int only)
{
    int added = 0;
    for (const BusRecord &record : records)
        added += feed(record, only);
    return added;
}

// --- Drawing --------------------------------------------------------------------

QVector<QPointF> decimate(const QVector<qint64> &times, const QVector<double> &values, qint64 fromUs, qint64 toUs,
                          int columns, qint64 originUs, bool sorted)
{
    const int count = qMin(times.size(), values.size());
    if (count == 0 || columns < 1 || toUs < fromUs)
        return {};
    int begin = 0;
    int end = count;
    if (sorted) {
        const auto first = times.constBegin();
        begin = int(std::lower_bound(first, first + count, fromUs) - first);
        end = int(std::upper_bound(first, first + count, toUs) - first);
    }
    struct Column
    {
        int first = -1;
        int last = -1;
        int min = -1;
        int max = -1;
    };
    QVector<Column> taken(columns);
    // Wider than any µs span: no time in range reaches column `columns`.
    const double scale = double(columns) / (double(toUs) - double(fromUs) + 1.0);
    for (int i = begin; i < end; ++i) {
        const qint64 t = times.at(i);
        if (!sorted && (t < fromUs || t > toUs))
            continue;
        Column &column = taken[qBound(0, int(double(t - fromUs) * scale), columns - 1)];
        if (column.first < 0) {
            column.first = column.last = column.min = column.max = i;
            continue;
        }
        column.last = i;
        const double v = values.at(i);
        if (v < values.at(column.min))
            column.min = i;
        if (v > values.at(column.max))
            column.max = i;
    }

    QVector<int> indices;
    indices.reserve(4 * columns + 2);
    if (sorted && begin > 0)
        indices.append(begin - 1);
    for (const Column &column : qAsConst(taken)) {
        if (column.first < 0)
            continue;
        std::array<int, 4> four{column.first, column.min, column.max, column.last};
        std::sort(four.begin(), four.end());
        for (int k = 0; k < 4; ++k) {
            if (k == 0 || four[k] != four[k - 1])
                indices.append(four[k]);
        }
    }
    if (sorted && end < count)
        indices.append(end);
    if (!sorted)
        std::sort(indices.begin(), indices.end()); // the series' own order

    QVector<QPointF> points;
    points.reserve(indices.size());
    for (int i : qAsConst(indices))
        points.append(QPointF(double(times.at(i) - originUs) / 1e6, values.at(i)));
    return points;
}

QVector<QPointF> stepPoints(const QVector<QPointF> &points)
{
    QVector<QPointF> steps;
    steps.reserve(2 * points.size());
    for (int i = 0; i < points.size(); ++i) {
        if (i > 0 && points.at(i).y() != points.at(i - 1).y())
            steps.append(QPointF(points.at(i).x(), points.at(i - 1).y()));
        steps.append(points.at(i));
    }
    return steps;
}
