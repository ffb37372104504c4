#ifndef KWN_CODEC_FRAMESPLITTER_H
#define KWN_CODEC_FRAMESPLITTER_H

// Cuts a byte stream, fed in arbitrary chunks, into bus frames. A frame is
// found by its structure: the low 5 bits of the control byte (byte 1,
// inverted back) give its length, 11 to 31 bytes, and its last two bytes are
// the checksum of the others. A candidate that fails is given up one byte at
// a time, and the bytes that belong to no frame come out as noise runs. A
// partial frame that sees no new byte for the gap time becomes noise, so a
// lost byte costs at most one frame.
//
// Between calls at most two maximal frames are kept (a short noise run and a
// partial frame); the work per byte is a few additions, whatever the stream
// holds (running sums make each candidate's checksum one subtraction).

#include <QByteArray>
#include <QVector>

struct SplitItem
{
    enum Kind { Frame, Noise };
    Kind kind = Frame;
    QByteArray bytes;   // the frame as on the bus, or the noise run
    qint64 timeMs = 0;  // arrival time of its first byte (ms since the epoch, as fed)
    quint64 offset = 0; // stream offset of its first byte
};

class FrameSplitter
{
public:
    explicit FrameSplitter(int gapMs = 100);

    void setGapMs(int gapMs);
    int gapMs() const { return m_gapMs; }

    // Appends every frame and noise run that the new bytes complete.
    void feed(const char *data, qsizetype size, qint64 nowMs, QVector<SplitItem> &out);
    // A partial frame older than the gap becomes noise.
    void expire(qint64 nowMs, QVector<SplitItem> &out);
    // End of stream: whatever is left becomes noise.
    void finish(QVector<SplitItem> &out);

    // Bytes kept back for the next call (a noise run shorter than a frame and
    // the start of a frame).
    qsizetype heldBytes() const { return m_held.size(); }
    // Offset of the next byte to be fed.
    quint64 streamOffset() const { return m_heldOffset + quint64(m_held.size()); }

private:
    void scan(const uchar *bytes, qsizetype size, qint64 nowMs, bool final, QVector<SplitItem> &out);
    qint64 timeAt(qsizetype index, qint64 nowMs) const;

    int m_gapMs;
    QByteArray m_held;          // kept bytes: m_noiseHeld bytes of noise, then a partial frame
    qint64 m_heldTimes[64] = {};
    qsizetype m_noiseHeld = 0;
    quint64 m_heldOffset = 0;   // stream offset of m_held[0]
    qint64 m_lastMs = 0;        // time of the last byte fed
    QByteArray m_work;          // held bytes followed by the chunk, reused
};

#endif
