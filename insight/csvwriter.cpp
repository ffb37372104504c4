#include "insight/csvwriter.h"

#include "codec/buslog.h"
#include "codec/framedecoding.h"

namespace {

const char kLineEnd[] = "\r\n";

} // namespace

QByteArray CsvWriter::header()
{
    return QByteArrayLiteral("time,direction,source,destination,device,message,parameter,value,raw\r\n");
}

void CsvWriter::appendField(const char *utf8, qsizetype size, QByteArray &out)
{
    bool quoted = false;
    for (qsizetype i = 0; i < size && !quoted; ++i) {
        const char c = utf8[i];
        quoted = c == ',' || c == '"' || c == '\r' || c == '\n';
    }
    if (!quoted) {
        out.append(utf8, int(size));
        return;
    }
    out += '"';
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
        const FrameFields &f = report.frame.fields;
        start += nodeIdText(f.sourceAddress).toLatin1() + ',' + nodeIdText(f.destinationAddress).toLatin1() + ',';
    } else {
        start += ",,";
    }
    appendField(report.device, start);
    start += ',';
    if (report.productFound)
        appendField(report.message.messageName, start);
    start += ',';

    QVector<QByteArray> rows;
    if (report.productFound) {
        for (const DecodedRow &row : report.message.rows) {
            if (row.kind == DecodedRow::LabelOnly)
                continue; // not shown on the single line either
            QByteArray line = start;
            appendField(row.parameterName, line);
            line += ',';
            appendField(parameterValueText(row), line);
            line += ',';
            if (row.hasRaw)
                line += QByteArray::number(row.rawNumber());
            line += kLineEnd;
            rows.append(line);
        }
    }
    if (rows.isEmpty()) {
        QByteArray line = start + ',';
        if (report.error || !report.parsed)
            appendField(report.status, line);
        line += QByteArray(",") + kLineEnd;
        rows.append(line);
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
