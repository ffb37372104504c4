#include "capture/inputfile.h"

#include "capture/capturefile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace capture {

namespace {

constexpr int kHeadBytes = 4;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

// The open file: its first bytes, read ahead, and the descriptor to read on.
struct InputSource
{
    int fd = -1;
    bool owned = false; // standard input stays open
    QByteArray head;
    int headAt = 0;    // bytes of head already read again
    int lastError = 0; // errno of the last failed read

    ~InputSource() { close(); }

    void close()
    {
        if (owned && fd >= 0)
            ::close(fd);
        fd = -1;
    }

    qint64 readFd(char *buffer, qint64 size)
    {
        ssize_t got;
        do {
            got = ::read(fd, buffer, size_t(size));
        } while (got < 0 && errno == EINTR);
        if (got < 0)
            lastError = errno;
        return qint64(got);
    }

    // Up to `size` bytes: what is left of the head, then the descriptor's.
    qint64 read(char *buffer, qint64 size)
    {
        if (headAt < head.size()) {
            const qint64 n = qMin(size, qint64(head.size() - headAt));
            std::memcpy(buffer, head.constData() + headAt, size_t(n));
            headAt += int(n);
            return n;
        }
        return readFd(buffer, size);
    }
};

InputDevice::InputDevice(std::unique_ptr<InputSource> source) : m_source(std::move(source))
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

InputDevice::~InputDevice() = default;

qint64 InputDevice::readData(char *data, qint64 maxSize)
{
    const qint64 got = m_source->read(data, maxSize);
    if (got < 0) {
        m_failed = true;
        setErrorString(systemError(m_source->lastError));
    } else {
        m_read += got;
    }
    return got;
}

QString inputName(const QString &path)
{
    return path == QLatin1String("-") ? QStringLiteral("standard input") : path;
}

InputFile::InputFile() = default;
InputFile::~InputFile() = default;

bool InputFile::open(const QString &path)
{
    m_error.clear();
    auto source = std::make_unique<InputSource>();
    if (path == QLatin1String("-")) {
        source->fd = STDIN_FILENO;
    } else {
        // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever
        // when there is none; its reads are made to wait again once open.
        source->fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (source->fd < 0) {
            m_error = QStringLiteral("cannot read %1: %2").arg(path, systemError(errno));
            return false;
        }
        source->owned = true;
        const int flags = ::fcntl(source->fd, F_GETFL);
        if (flags < 0 || ::fcntl(source->fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
            m_error = QStringLiteral("cannot read %1: %2").arg(path, systemError(errno));
            return false;
        }
    }
    source->head.resize(kHeadBytes);
    int have = 0;
    while (have < kHeadBytes) {
        const qint64 got = source->readFd(source->head.data() + have, kHeadBytes - have);
        if (got < 0) {
            m_error = QStringLiteral("cannot read %1: %2").arg(inputName(path), systemError(source->lastError));
            return false;
        }
        if (got == 0)
            break;
        have += int(got);
    }
    source->head.resize(have);
    m_source = std::move(source);
    return true;
}

const QByteArray &InputFile::head() const
{
    static const QByteArray none;
    return m_source ? m_source->head : none;
}

bool InputFile::isCapture() const
{
    return looksLikeCapture(head());
}

int InputFile::handle() const
{
    return m_source ? m_source->fd : -1;
}

FILE *InputFile::takeStream()
{
    if (!m_source)
        return nullptr;
    cookie_io_functions_t functions = {};
    functions.read = [](void *cookie, char *buffer, size_t size) -> ssize_t {
        const qint64 got = static_cast<InputSource *>(cookie)->read(buffer, qint64(size));
        if (got < 0)
            errno = static_cast<InputSource *>(cookie)->lastError;
        return ssize_t(got);
    };
    functions.close = [](void *cookie) -> int {
        delete static_cast<InputSource *>(cookie);
        return 0;
    };
    FILE *stream = fopencookie(m_source.get(), "r", functions);
    if (stream)
        m_source.release();
    return stream;
}

std::unique_ptr<InputDevice> InputFile::takeDevice()
{
    if (!m_source)
        return nullptr;
    return std::make_unique<InputDevice>(std::move(m_source));
}

} // namespace capture
