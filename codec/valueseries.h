#ifndef KWN_CODEC_VALUESERIES_H
#define KWN_CODEC_VALUESERIES_H

// Values of one parameter over time, taken from the frames of the bus: which
// frames a series takes (its key), the points it holds (time in µs, the
// number as read), and the few points per pixel column that draw it.

#include "codec/busrecord.h"
#include "codec/framereport.h"

#include <QHash>
#include <QMap>
#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>

// The frames a series takes: those of one source node, device and message,
// and in them the parameter of this name.
struct SeriesKey
{
    quint32 sourceAddress = 0;
    QString device;
    quint8 messageId = 0;
    QString message;
    QString parameter;

    // "Position (QX-Drive 40 000001, Move To Position)"
    QString title() const;
    bool operator==(const SeriesKey &o) const
    {
        return sourceAddress == o.sourceAddress && messageId == o.messageId && device == o.device
            && message == o.message && parameter == o.parameter;
    }
    bool operator!=(const SeriesKey &o) const { return !(*this == o); }
};

// What a parameter's number is: a plain or hexadecimal integer, a bitfield's
// whole field, or the number behind a named value (a choice of the catalogue).
enum class SeriesKind : quint8 { Number, Bitfield, Named };

// How a decoded parameter row is plotted: not at all (a string, a row of no
// known type), or as one of the kinds: an integer whose values the catalogue
// names is a named-value series (DecodedRow::namedForm), whatever its names read.
bool isPlottable(const DecodedRow &row);
SeriesKind seriesKindOf(const DecodedRow &row);

// Whether a decoded frame gives points at all: it decodes in full, with a
// good checksum, a known product and a known message.
bool givesPoints(const FrameReport &report);
// The series of the parameter of this name in the frame's node, device and message.
SeriesKey seriesKeyOf(const FrameReport &report, const QString &parameter);

// A series a frame can give points to.
struct PlottableParameter
{
    SeriesKey key;
    SeriesKind kind = SeriesKind::Number;
};
// Every parameter of the frame that can be plotted, in the order of its
// rows; none when the frame gives no points.
QVector<PlottableParameter> plottableParameters(const FrameReport &report);

class ValueSeries
{
public:
    ValueSeries() = default;
    explicit ValueSeries(const SeriesKey &key) : m_key(key) {}

    const SeriesKey &key() const { return m_key; }
    SeriesKind kind() const { return m_kind; }
    // Set by the first point (all later ones are of the same parameter).
    void setKind(SeriesKind kind) { m_kind = kind; }
    // The catalogue's description of the parameter, as its first point had it.
    const QString &description() const { return m_description; }
    void setDescription(const QString &description) { m_description = description; }

    int size() const { return m_times.size(); }
    bool isEmpty() const { return m_times.isEmpty(); }
    const QVector<qint64> &times() const { return m_times; }
    const QVector<double> &values() const { return m_values; }
    // False once a point came earlier than the one before it.
    bool isSorted() const { return m_sorted; }
    void append(qint64 timeUs, double value);
    void clear();

    // A named-value series: the names seen, by the number that stands for them.
    const QMap<qint64, QString> &names() const { return m_names; }
    void addName(qint64 number, const QString &name) { m_names.insert(number, name); }

private:
    SeriesKey m_key;
    SeriesKind m_kind = SeriesKind::Number;
    QVector<qint64> m_times;
    QVector<double> m_values;
    QMap<qint64, QString> m_names;
    QString m_description;
    bool m_sorted = true;
};

// Feeds records into series: each frame of a series' source, device and
// message with a good checksum that decodes in full gives a point of the
// parameter's number at the frame's time. Each distinct frame is decoded once
// (a bus repeats itself), the decodings kept in a bounded cache.
class ValueExtractor
{
public:
    using Decoder = std::function<FrameReport(const QByteArray &)>;

    explicit ValueExtractor(DecodeCatalogue &catalogue);
    explicit ValueExtractor(Decoder decoder);
    ~ValueExtractor();

    // The index of the series with this key, added when new.
    int addSeries(const SeriesKey &key);
    int indexOf(const SeriesKey &key) const;
    int seriesCount() const { return m_series.size(); }
    const ValueSeries &series(int index) const { return m_series.at(index); }
    ValueSeries &series(int index) { return m_series[index]; }

    // Points appended (to the one series `only`, or to all when -1).
    int feed(const BusRecord &record, int only = -1);
    int feed(const QVector<BusRecord> &records, int only = -1);

    // Frames decoded so far (cache misses), for tests and benches.
    quint64 decodedCount() const { return m_decodedCount; }
    static constexpr int kCacheLimit = 4096;

private:
    struct Parameter
    {
        QString name;
        qint64 number = 0;
        SeriesKind kind = SeriesKind::Number;
        QString shown; // a name, for Named
        QString description;
    };
    struct Decoded
    {
        bool usable = false;
        quint32 sourceAddress = 0;
        quint8 messageId = 0;
        QString device;
        QString message;
        QVector<Parameter> parameters;
    };
    const Decoded &decoded(const QByteArray &bytes);

    Decoder m_decoder;
    QVector<ValueSeries> m_series;
    QHash<QByteArray, Decoded> m_cache;
    quint64 m_decodedCount = 0;
};

// The points that draw the series' part from `fromUs` to `toUs` on a line
// `columns` pixels wide, in their order: in each column the first, the
// smallest, the largest and the last of its points (each once), plus the
// nearest point on either side of the range, so that the line runs on to the
// edges. x is in seconds from `originUs`. At most 4 * columns + 2 points.
// Times out of order (`sorted` false) are taken as they are: every point is
// looked at, each put in the column of its time, and no neighbours added.
QVector<QPointF> decimate(const QVector<qint64> &times, const QVector<double> &values, qint64 fromUs, qint64 toUs,
                          int columns, qint64 originUs, bool sorted = true);

// A line of steps through the points: each value holds until the next point.
QVector<QPointF> stepPoints(const QVector<QPointF> &points);

#endif
