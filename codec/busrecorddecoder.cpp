#include "codec/busrecorddecoder.h"

const BusRecord &BusRecordDecoder::decoded(const QByteArray &bytes)
{
    auto cached = m_decoded.constFind(bytes);
    if (cached != m_decoded.constEnd())
        return cached.value();
    const FrameReport report = m_catalogue.decodeBytes(bytes);
    BusRecord decoded;
    decoded.bytes = bytes;
    decoded.parsed = report.parsed;
    decoded.checksumOk = report.parsed && report.checksumOk;
    if (report.parsed) {
        const FrameFields &fields = report.frame.fields;
        decoded.messageId = fields.messageId;
        decoded.sourceAddress = fields.sourceAddress;
        decoded.destinationAddress = fields.destinationAddress;
    }
    decoded.device = report.device;
    decoded.message = report.productFound ? report.message.messageName : QString();
    decoded.messageKnown = report.productFound && report.message.known;
    decoded.slaveMessage = decoded.messageKnown && report.message.slave;
    if (m_texts != Texts::Left) {
        if (m_texts == Texts::Made)
            decoded.values = singleLineText(report);
        const bool success = report.productFound && report.message.complete && !report.error
            && !report.frame.frameLonger;
        setShownValues(decoded, report.status, success, parametersText(report));
    }
    if (m_decoded.size() >= kCacheFrames)
        m_decoded.clear();
    return m_decoded.insert(bytes, decoded).value();
}

BusRecord BusRecordDecoder::record(const QByteArray &bytes, qint64 timeUs, BusRecord::Kind kind)
{
    BusRecord record = decoded(bytes);
    record.timeUs = timeUs;
    record.kind = kind;
    return record;
}
