#include "insight/csvwriter.h"

#include "codec/buslog.h"
#include "codec/framedecoding.h"
#include "codec/valueseries.h"

#include <algorithm>

namespace {

const char kLineEnd[] = "\r\n";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether a text cell needs a leading ': it would start a formula, it starts
// with the mark itself, or a spreadsheet would take it for a number.
bool needsMark(const char *utf8, qsizetype size)
{
    if (size == 0)
        return false;
    switch (utf8[0]) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
    case '\'':
        return true;
    default:
        return CsvWriter::readsAsNumber(utf8, size);
    }
}

// A node ID as no spreadsheet reads a number: 0x1E0005.
void appendNodeId(quint32 address, QByteArray &out)
{
    out += "0x";
    out += nodeIdText(address).toLatin1();
}

// A parameter's value: a number when it is raw's decimal text, else a text.
void appendValue(const DecodedRow &row, QByteArray &out)
{
    const QString text = parameterValueText(row);
    const QByteArray number = row.hasRaw ? QByteArray::number(row.rawNumber()) : QByteArray();
    if (row.hasRaw && text == QLatin1String(number))
        out += number;
    else
        CsvWriter::appendField(text, out);
}

} // namespace

QByteArray CsvWriter::header()
{
    return QByteArrayLiteral(
        "time,direction,source,destination,device,message,parameter,value,raw,status,checksum_ok\r\n");
}

bool CsvWriter::readsAsNumber(const char *text, qsizetype size)
{
    qsizetype i = 0;
    while (i < size && text[i] == ' ')
        ++i;
    while (size > i && text[size - 1] == ' ')
        --size;
    if (i < size && (text[i] == '+' || text[i] == '-'))
        ++i;
    int digits = 0;
    for (; i < size && (isDigit(text[i]) || (text[i] == ',' && digits > 0)); ++i)
        digits += isDigit(text[i]) ? 1 : 0;
    if (i < size && text[i] == '.') {
        for (++i; i < size && isDigit(text[i]); ++i)
            ++digits;
    }
    if (digits == 0)
        return false;
    if (i < size && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < size && (text[i] == '+' || text[i] == '-'))
            ++i;
        const qsizetype exponent = i;
        while (i < size && isDigit(text[i]))
            ++i;
        if (i == exponent)
            return false;
    }
    return i == size;
}

void CsvWriter::appendField(const char *utf8, qsizetype size, QByteArray &out)
{
    bool quoted = false;
    for (qsizetype i = 0; i < size && !quoted; ++i) {
        const char c = utf8[i];
        quoted = c == ',' || c == '"' || c == '\r' || c == '\n';
    }
    if (quoted)
        out += '"';
    if (needsMark(utf8, size))
        out += '\'';
    if (!quoted) {
        out.append(utf8, int(size));
        return;
    }
    for (qsizetype i = 0; i < size; ++i) {
        if (utf8[i] == '"')
            out += '"';
        out += utf8[i];
    }
    out += '"';
}

void CsvWriter::appendField(const QString &text, QByteArray &out)
{
    const QByteArray utf8 = text.toUtf8();
    appendField(utf8.constData(), utf8.size(), out);
}

QVector<QByteArray> CsvWriter::rowTails(const FrameReport &report)
{
    QByteArray start;
    if (report.parsed) {
        appendNodeId(report.frame.fields.sourceAddress, start);
        start += ',';
        appendNodeId(report.frame.fields.destinationAddress, start);
        start += ',';
    } else {
        start += ",,";
    }
    appendField(report.device, start);
    start += ',';
    if (report.productFound)
        appendField(report.message.messageName, start);
    start += ',';
    QByteArray end(",");
    appendField(report.status, end);
    end += report.parsed && report.checksumOk ? ",true" : ",false";
    end += kLineEnd;

    QVector<QByteArray> rows;
    if (report.productFound) {
        for (const DecodedRow &row : report.message.rows) {
            if (row.kind == DecodedRow::LabelOnly)
                continue; // not shown on the single line either
            QByteArray line = start;
            appendField(row.parameterName, line);
            line += ',';
            appendValue(row, line);
            line += ',';
            if (row.hasRaw)
                line += QByteArray::number(row.rawNumber());
            rows.append(line + end);
        }
    }
    if (rows.isEmpty()) {
        QByteArray line = start + ',';
        if (report.error || !report.parsed)
            appendField(report.status, line);
        rows.append(line + ',' + end);
    }
    return rows;
}

void CsvWriter::appendReport(const FrameReport &report, QByteArray &out)
{
    QByteArray lead;
    appendField(report.time, lead);
    lead += ',';
    appendField(report.direction, lead);
    lead += ',';
    for (const QByteArray &tail : rowTails(report))
        out += lead + tail;
}

bool CsvWriter::appendFrame(const QByteArray &bytes, const QByteArray &time, const QByteArray &direction,
                            QByteArray &out)
{
    auto cached = m_rows.constFind(bytes);
    if (cached == m_rows.constEnd()) {
        if (m_rows.size() >= kCacheFrames)
            m_rows.clear();
        const FrameReport report = m_catalogue.decodeBytes(bytes);
        cached = m_rows.insert(bytes, Rows{report.parsed, rowTails(report)});
    }
    for (const QByteArray &tail : cached.value().tails) {
        appendField(time.constData(), time.size(), out);
        out += ',';
        appendField(direction.constData(), direction.size(), out);
        out += ',';
        out += tail;
    }
    return cached.value().parsed;
}

void CsvWriter::appendRecord(const BusRecord &record, bool precise, QByteArray &out)
{
    if (record.kind != BusRecord::Received && record.kind != BusRecord::Sent)
        return;
    appendFrame(record.bytes, busLogTimeUs(record.timeUs, precise).toLatin1(),
                directionText(record.kind).toLatin1(), out);
}

QByteArray CsvWriter::seriesCsv(const QVector<const ValueSeries *> &series)
{
    struct Row
    {
        qint64 timeUs;
        int series;
        int point;
    };
    QVector<Row> rows;
    QVector<QByteArray> titles;
    for (int s = 0; s < series.size(); ++s) {
        QByteArray title;
        appendField(series.at(s)->key().title(), title);
        titles << title;
        for (int i = 0; i < series.at(s)->size(); ++i)
            rows.append({series.at(s)->times().at(i), s, i});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.timeUs < b.timeUs; });
    QByteArray csv("time,series,value,name\r\n");
    csv.reserve(csv.size() + rows.size() * 48);
    for (const Row &row : qAsConst(rows)) {
        csv += busLogTimeUs(row.timeUs, true).toLatin1();
        csv += ',';
        csv += titles.at(row.series);
        csv += ',';
        const ValueSeries &shown = *series.at(row.series);
        const qint64 number = qint64(shown.values().at(row.point));
        csv += QByteArray::number(number);
        csv += ',';
        // A named value's name beside its number.
        if (shown.kind() == SeriesKind::Named)
            appendField(shown.names().value(number), csv);
        csv += kLineEnd;
    }
    return csv;
}
