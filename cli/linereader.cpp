#include "cli/linereader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace cli {

namespace {
// The least read from the file descriptor.
constexpr int kChunk = 1 << 16;
} // namespace

qint64 readSome(int fd, char *buffer, qint64 size)
{
    qint64 got;
    do {
#ifdef Q_OS_WIN
        got = ::_read(fd, buffer, unsigned(size));
#else
        got = ::read(fd, buffer, size_t(size));
#endif
    } while (got < 0 && errno == EINTR);
    return got;
}

void flushOut(QByteArray *out)
{
    if (!out->isEmpty()) {
        std::fwrite(out->constData(), 1, size_t(out->size()), stdout);
        std::fflush(stdout);
        out->resize(0); // keeps a reserved buffer for the next output
    }
}

void writeOut(QByteArray *out, const char *bytes, qsizetype size)
{
    if (size < kChunk) {
        out->append(bytes, int(size));
        if (out->size() >= kChunk)
            flushOut(out);
        return;
    }
    flushOut(out);
    std::fwrite(bytes, 1, size_t(size), stdout);
    std::fflush(stdout);
}

ReportStyle reportStyle(const QCommandLineParser &parser)
{
    if (parser.isSet(QStringLiteral("json")))
        return ReportStyle::Json;
    if (parser.isSet(QStringLiteral("single-line")))
        return ReportStyle::SingleLine;
    return ReportStyle::Blocks;
}

bool LineReader::next(QByteArray *line, QByteArray *pendingOut)
{
    qsizetype begin = 0;
    qsizetype end = 0;
    if (!advance(&begin, &end, pendingOut))
        return false;
    if (begin == 0 && end >= kChunk && m_start == end + 1) {
        // A line longer than a read: hand over the buffer itself rather
        // than a copy, keeping only the bytes after it.
        QByteArray rest = m_buffer.mid(int(m_start));
        m_buffer.truncate(int(end));
        line->swap(m_buffer);
        m_buffer = rest;
        m_start = m_scanned = 0;
        return true;
    }
    *line = m_buffer.mid(int(begin), int(end - begin));
    return true;
}

bool LineReader::nextView(const char **line, qsizetype *size, QByteArray *pendingOut)
{
    qsizetype begin = 0;
    qsizetype end = 0;
    if (!advance(&begin, &end, pendingOut))
        return false;
    *line = m_buffer.constData() + begin;
    *size = end - begin;
    return true;
}

bool LineReader::advance(qsizetype *begin, qsizetype *end, QByteArray *pendingOut)
{
    for (;;) {
        const qsizetype from = qMax(m_start, m_scanned);
        const char *bytes = m_buffer.constData();
        const void *found = from < m_buffer.size()
                                ? std::memchr(bytes + from, '\n', size_t(m_buffer.size() - from))
                                : nullptr;
        if (found) {
            const qsizetype newline = static_cast<const char *>(found) - bytes;
            m_searched += newline + 1 - from;
            *begin = m_start;
            *end = newline;
            m_start = newline + 1;
            m_scanned = m_start;
            return true;
        }
        m_searched += m_buffer.size() - from;
        m_scanned = m_buffer.size();
        if (m_eof) {
            if (m_start < m_buffer.size()) {
                *begin = m_start;
                *end = m_buffer.size();
                m_start = m_scanned = m_buffer.size();
                return true;
            }
            return false;
        }
        // Drop the lines already returned; the partial line moves once per line.
        if (m_start > 0) {
            m_buffer.remove(0, int(m_start));
            m_scanned -= m_start;
            m_start = 0;
        }
        flushOut(pendingOut);
        // Read straight into the buffer, which grows geometrically: a long
        // line is copied only a few times in all. Reads larger than this
        // make a log of short lines slower.
        const int before = m_buffer.size();
        m_buffer.resize(before + kChunk);
        const qint64 got = readSome(m_fd, m_buffer.data() + before, kChunk);
        m_buffer.resize(before + int(qMax<qint64>(got, 0)));
        if (got <= 0)
            m_eof = true;
    }
}

} // namespace cli
