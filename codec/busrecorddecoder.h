#ifndef KWN_CODEC_BUSRECORDDECODER_H
#define KWN_CODEC_BUSRECORDDECODER_H

// Decodes frames into records, each distinct frame once (a bus repeats
// itself a lot): the header fields, device and message always, and the
// texts the views show unless asked not to. `Shown` keeps the Values
// column's text but not the whole single line, which a view that holds
// millions of records makes again from the bytes when it is asked for.

#include "codec/busrecord.h"
#include "codec/framereport.h"

#include <QByteArray>
#include <QHash>

class BusRecordDecoder
{
public:
    // Distinct frames kept; beyond it the cache starts anew.
    static constexpr int kCacheFrames = 4096;
    enum class Texts { Made, Shown, Left };

    explicit BusRecordDecoder(DecodeCatalogue &catalogue, Texts texts = Texts::Made)
        : m_catalogue(catalogue), m_texts(texts)
    {
    }
    // The record of a frame at `timeUs`, as received or sent.
    BusRecord record(const QByteArray &bytes, qint64 timeUs, BusRecord::Kind kind);
    // The decoded part alone (no time, received), valid until the next call.
    const BusRecord &decoded(const QByteArray &bytes);

private:
    DecodeCatalogue &m_catalogue;
    Texts m_texts;
    QHash<QByteArray, BusRecord> m_decoded;
};

#endif
