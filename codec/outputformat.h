#ifndef KWN_CODEC_OUTPUTFORMAT_H
#define KWN_CODEC_OUTPUTFORMAT_H

// The user's output format: a per-byte template in which "##" stands for the
// byte in hexadecimal. Only the first "##" counts: the text before it is
// written before every byte, the text up to a second "##" (if any) after it.

#include <QString>

// True when the format holds "##", the only formats the output field accepts.
bool isValidFormat(const QString &format);

// The frame, given as two hexadecimal digits per byte, written byte by byte
// with the format. A format without "##" puts the whole text before each
// byte; callers keep to valid formats.
QString formatOutputText(const QString &frameHexText, const QString &format);

#endif
