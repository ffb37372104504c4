#ifndef KWN_CLI_LOGRECORD_H
#define KWN_CLI_LOGRECORD_H

// A record of a log or capture as the commands that read them whole (stats,
// replies) take it: a frame decoded once per distinct bytes, noise with its
// bytes, and no time for a plain frame line, which has none of its own.

#include "capture/recordfile.h"
#include "codec/busrecorddecoder.h"

namespace cli {

inline BusRecord recordOf(const capture::RecordView &view, BusRecordDecoder &decoder)
{
    const QByteArray bytes(view.bytes, view.size);
    const bool noise = view.kind == BusRecord::Noise;
    BusRecord record = noise ? BusRecord() : decoder.decoded(bytes);
    if (noise)
        record.bytes = bytes;
    record.kind = view.kind;
    record.timeUs = view.hasTime ? view.timeUs : -1;
    return record;
}

} // namespace cli

#endif
