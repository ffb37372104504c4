// The general decoding of DecodeCatalogue: any text or bytes into a
// FrameReport. Its writers are in reportwriters.cpp, the quicker way of
// plain frames in plainframereport.cpp.

#include "codec/framereport.h"

DecodeCatalogue::DecodeCatalogue(const QString &folder) : m_catalogue(folder) {}

DecodeCatalogue::~DecodeCatalogue() = default;

FrameReport DecodeCatalogue::decodeText(const QString &text)
{
    FrameReport r;
    r.input = text;
    r.frame = parseFrameText(text);
    decodeParsed(r);
    return r;
}

FrameReport DecodeCatalogue::decodeText(const char *utf8, qsizetype size)
{
    FrameReport r;
    r.frame = parseFrameText(utf8, size);
    decodeParsed(r);
    return r;
}

FrameReport DecodeCatalogue::decodeBytes(const QByteArray &frameBytes)
{
    FrameReport r;
    r.input = frameToHexText(frameBytes);
    r.frame = parseFrameBytes(frameBytes);
    if (r.frame.ok())
        r.bytesText = r.input;
    decodeParsed(r);
    return r;
}

void DecodeCatalogue::decodeParsed(FrameReport &r)
{
    if (!r.frame.ok()) {
        r.status = r.frame.statusText;
        r.error = true;
        return;
    }
    r.parsed = true;
    r.checksumOk = checksumMatches(r.frame.bytes);
    m_catalogue.refresh();
    const FrameFields &f = r.frame.fields;
    const DeviceCatalogue::Device *device = deviceOf(f.sourceNodeType, f.destinationNodeType);
    if (!device) {
        r.status = QStringLiteral("No product found for the node type set in this frame.");
        r.error = true;
        return;
    }
    r.productFound = true;
    r.device = device->product;
    static const MessageDefinition unknown;
    const MessageDefinition *message = messageOf(*device, f.messageId);
    r.message = decodeMessageData(message ? *message : unknown, f.data, r.frame.frameLonger, r.frame.statusText);
    r.status = r.message.statusText;
    r.error = r.message.statusIsError;
}

