#ifndef KWN_CODEC_FRAMESPLITTER_H
#define KWN_CODEC_FRAMESPLITTER_H

// Cuts a byte stream, fed in arbitrary chunks, into bus frames. A frame is
// found by its structure: the low 5 bits of the control byte (byte 1,
// inverted back) give its length, 11 to 31 bytes, and its last two bytes are
// the checksum of the others. The earliest candidate that holds is taken; a
// candidate that fails is given up one byte at a time, and the bytes that
// belong to no frame come out as noise runs. A partial frame that sees no new
// byte for the gap time becomes noise, so a lost byte costs at most one frame.
//
// Bad checksums: a noise run may end in a frame whose checksum fails. That is
// a candidate whose announced length ends it exactly where a valid frame
// starts, at a gap or at the end of the stream; it comes out as a frame with
// checksumOk false. A valid frame always wins: a bad frame never holds the
// start of one. Of several such candidates in one run, the earliest is taken
// (the run's start, right after the previous valid frame or a gap, when it
// qualifies). Anything else stays noise: of two bad frames in a row, at most
// one comes out as such.
//
// 0x00 bytes: the checksum is a sum, so a 0x00 byte in front of a frame keeps
// it valid. A candidate that starts with 0x00 and holds gives way to one
// starting after those zeros that ends at the same place (the zeros are
// noise), unless it starts where a frame is expected: right after the
// previous valid frame, after a gap or at the start of the stream. The end of
// a bad frame is no such place: a bad frame is told by the valid frame at its
// end, so it cannot in turn decide where that frame starts. After one, such
// zeros are noise, or the tail of a longer bad frame that ends where the frame
// after them starts. A run of 0x00 only (a line held low) is never a frame,
// valid or bad.
//
// Between calls under two maximal frames are kept (noise that may still start
// a bad frame, and a partial frame); the work per byte is a few additions,
// whatever the stream holds (running sums make each candidate's checksum one
// subtraction).

// What comes out are records with only what the splitter knows: the kind
// (Received for a frame, Noise), checksumOk (for a frame: false when only its
// checksum fails), the bytes, the stream offset of the first byte, and as
// timeUs the time its first byte was fed with (in ms, as µs). Whoever knows
// the line's byte time (the serial connection) sets the time of the last.

#include "codec/busrecord.h"

#include <QByteArray>
#include <QVector>

class FrameSplitter
{
public:
    explicit FrameSplitter(int gapMs = 100);

    void setGapMs(int gapMs);
    int gapMs() const { return m_gapMs; }

    // Appends every frame and noise run that the new bytes complete.
    void feed(const char *data, qsizetype size, qint64 nowMs, QVector<BusRecord> &out);
    // After the gap, what is held becomes noise, or a bad frame if a
    // candidate ends right at its end; the next byte may start a frame.
    void expire(qint64 nowMs, QVector<BusRecord> &out);
    // End of stream: the same as a gap.
    void finish(QVector<BusRecord> &out);

    // Bytes kept back for the next call (noise not yet given out and the
    // start of a frame), fewer than two maximal frames.
    qsizetype heldBytes() const { return m_held.size(); }
    // Offset of the next byte to be fed.
    quint64 streamOffset() const { return m_heldOffset + quint64(m_held.size()); }

private:
    void scan(const uchar *bytes, qsizetype size, qint64 nowMs, bool final, QVector<BusRecord> &out);
    qint64 timeAt(qsizetype index, qint64 nowMs) const;

    int m_gapMs;
    QByteArray m_held;          // kept bytes: m_noiseHeld bytes of noise, then a partial frame
    qint64 m_heldTimes[64] = {};
    qsizetype m_noiseHeld = 0;
    quint64 m_heldOffset = 0;   // stream offset of m_held[0]
    quint64 m_expectedOffset = 0; // where a frame is expected: after the last valid frame or a gap
    qint64 m_lastMs = 0;        // time of the last byte fed
    QByteArray m_work;          // held bytes followed by the chunk, reused
};

#endif
