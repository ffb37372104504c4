#ifndef KWN_CLI_LINEREADER_H
#define KWN_CLI_LINEREADER_H

// Reading standard input (or any file descriptor) as it arrives.

#include "codec/framereport.h"

#include <QByteArray>
#include <QCommandLineParser>

namespace cli {

constexpr int kStandardInput = 0;

// One read(2) of at most `size` bytes, retried when a signal interrupts it.
// Returns the count read, 0 at the end, -1 on an error.
qint64 readSome(int fd, char *buffer, qint64 size);

// Writes `out` to standard output, flushes it and empties `out`.
void flushOut(QByteArray *out);
// Appends `size` bytes to `out`, writing it out once it is long; a long
// piece is written out after `out` instead, without a copy.
void writeOut(QByteArray *out, const char *bytes, qsizetype size);

// --json, --single-line or the blocks.
ReportStyle reportStyle(const QCommandLineParser &parser);

// Lines of a file descriptor as they arrive. Output is flushed before every
// read that may wait, so a live log is answered frame by frame, while a file
// or a fast pipe is written in large pieces. Each byte is searched for a line
// end once, so a line of any length is read in linear time; memory stays
// bounded by the longest line.
class LineReader
{
public:
    explicit LineReader(int fd) : m_fd(fd) {}
    // Reads `head`, bytes already read from `fd`, before the rest of `fd`.
    LineReader(int fd, const QByteArray &head) : m_fd(fd), m_buffer(head) {}

    // The next line without its "\n"; false at the end of input.
    bool next(QByteArray *line, QByteArray *pendingOut);
    // The same line in place, without a copy: valid until the next call.
    bool nextView(const char **line, qsizetype *size, QByteArray *pendingOut);

    // Bytes looked at in the search for line ends so far: never more than
    // the bytes read.
    qint64 bytesSearched() const { return m_searched; }

private:
    // Finds the next line: its bytes are [begin, end) in m_buffer.
    bool advance(qsizetype *begin, qsizetype *end, QByteArray *pendingOut);

    int m_fd;
    QByteArray m_buffer;
    qsizetype m_start = 0;   // first byte of the next line
    qsizetype m_scanned = 0; // bytes before this hold no line end after m_start
    bool m_eof = false;
    qint64 m_searched = 0;
};

} // namespace cli

#endif
