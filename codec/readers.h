#ifndef KWN_CODEC_READERS_H
#define KWN_CODEC_READERS_H

// Readers of parameter values out of a frame's data bytes. Bytes beyond the
// end of the data read as 0. The offset is 64-bit so that a walk over
// parameters with absurd sizes (a bad catalogue) cannot wrap back into the
// data; the work done is bounded by the bytes that exist, never by `size`.

#include "codec/frame.h"

#include <QByteArray>
#include <QString>

// Strings are padded with code 0 for missing bytes only up to this many
// characters in all: a size of four billion from a broken definition must
// not produce a four-billion-character text.
constexpr quint32 kMaxStringPadding = kMaxFrameBytes;

// Bytes offset .. offset+size-1, least significant first; byte k lands on
// bits 8*(k mod 4), so a fifth byte is OR-ed onto bits 0-7 again.
quint32 readUnsigned(const QByteArray &data, quint64 offset, quint32 size);

// readUnsigned, sign-extended from bit 8*size-1 when size is 1, 2 or 3 and
// the last byte of the field lies inside the data.
qint32 readSigned(const QByteArray &data, quint64 offset, quint32 size);

// One Latin-1 character per byte: exactly `size` characters while size stays
// within the data or within kMaxStringPadding, missing bytes giving code 0.
QString readString(const QByteArray &data, quint64 offset, quint32 size);

#endif
