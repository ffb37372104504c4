#include "capture/capturefile.h"

#include "capture/inputfile.h"
#include "codec/frame.h"

#include <QFile>

#include <pcap/pcap.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace capture {

namespace {

constexpr qint64 kMaxCaptureSeconds = 0xFFFFFFFFLL;

quint32 magicOf(const QByteArray &head)
{
    if (head.size() < 4)
        return 0;
    const uchar *b = reinterpret_cast<const uchar *>(head.constData());
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

QString recordText(quint64 index)
{
    return QStringLiteral("record %1").arg(index);
}

} // namespace

bool looksLikeCapture(const QByteArray &head)
{
    switch (magicOf(head)) {
    case 0xA1B2C3D4: // microseconds, either byte order
    case 0xD4C3B2A1:
    case 0xA1B23C4D: // nanoseconds
    case 0x4D3CB2A1:
    case 0x0A0D0D0A: // pcapng's section header block
        return true;
    default:
        return false;
    }
}

bool fileLooksLikeCapture(const QString &path)
{
    InputFile file;
    return file.open(path) && file.isCapture();
}

bool timeFitsCapture(qint64 timeUs)
{
    return timeUs >= 0 && timeUs / 1000000 <= kMaxCaptureSeconds;
}

// ---------------------------------------------------------------------------

struct CaptureWriter::Handles
{
    pcap_t *dead = nullptr;
    pcap_dumper_t *dumper = nullptr;

    ~Handles()
    {
        if (dumper)
            pcap_dump_close(dumper);
        if (dead)
            pcap_close(dead);
    }
};

CaptureWriter::CaptureWriter() = default;

CaptureWriter::~CaptureWriter()
{
    close();
}

bool CaptureWriter::open(const QString &path)
{
    close();
    m_path = path;
    m_error.clear();
    m_written = 0;
    m_eventsLeftOut = 0;
    auto handles = std::make_unique<Handles>();
    handles->dead = pcap_open_dead_with_tstamp_precision(DLT_USER0, kSnapshotLength, PCAP_TSTAMP_PRECISION_MICRO);
    if (!handles->dead) {
        m_error = QStringLiteral("cannot write %1: out of memory").arg(path);
        return false;
    }
    handles->dumper = pcap_dump_open(handles->dead, QFile::encodeName(path).constData());
    if (!handles->dumper) {
        m_error = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_handles = std::move(handles);
    m_buffer.reserve(kSnapshotLength);
    return true;
}

bool CaptureWriter::isOpen() const
{
    return m_handles != nullptr;
}

bool CaptureWriter::write(const BusRecord &record)
{
    return write(record.kind, record.timeUs, record.bytes.constData(), record.bytes.size());
}

bool CaptureWriter::write(BusRecord::Kind kind, qint64 timeUs, const char *bytes, int size)
{
    if (!m_handles) {
        m_error = QStringLiteral("no capture file is open");
        return false;
    }
    if (kind == BusRecord::Event) {
        ++m_eventsLeftOut;
        return true;
    }
    if (size <= 0) {
        m_error = QStringLiteral("%1: an empty record has no place in a capture").arg(m_path);
        return false;
    }
    if (!timeFitsCapture(timeUs)) {
        m_error = QStringLiteral("%1: the time of %2 cannot be held in a capture, which holds times "
                                 "from 1970 to 2106")
                      .arg(m_path, recordText(m_written + 1));
        return false;
    }
    const quint8 direction = kind == BusRecord::Sent ? DirectionSent
        : kind == BusRecord::Noise                  ? DirectionNoise
                                                     : DirectionReceived;
    pcap_pkthdr header;
    header.ts.tv_sec = time_t(timeUs / 1000000);
    header.ts.tv_usec = suseconds_t(timeUs % 1000000);
    // A noise run longer than a record goes in several of the same time.
    for (int at = 0; at < size;) {
        const int n = qMin(size - at, kSnapshotLength - 1);
        m_buffer.resize(n + 1);
        m_buffer[0] = char(direction);
        std::memcpy(m_buffer.data() + 1, bytes + at, size_t(n));
        header.caplen = header.len = bpf_u_int32(n + 1);
        pcap_dump(reinterpret_cast<u_char *>(m_handles->dumper), &header,
                  reinterpret_cast<const u_char *>(m_buffer.constData()));
        ++m_written;
        at += n;
    }
    if (std::ferror(pcap_dump_file(m_handles->dumper))) {
        m_error = QStringLiteral("cannot write %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool CaptureWriter::flush()
{
    if (!m_handles)
        return false;
    if (pcap_dump_flush(m_handles->dumper) != 0 || std::ferror(pcap_dump_file(m_handles->dumper))) {
        m_error = QStringLiteral("cannot write %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool CaptureWriter::close()
{
    if (!m_handles)
        return m_error.isEmpty();
    const bool flushed = flush();
    m_handles.reset();
    return flushed;
}

// ---------------------------------------------------------------------------

struct CaptureReader::Handles
{
    pcap_t *pcap = nullptr;

    ~Handles()
    {
        if (pcap)
            pcap_close(pcap);
    }
};

CaptureReader::CaptureReader() = default;
CaptureReader::~CaptureReader() = default;

bool CaptureReader::open(const QString &path)
{
    InputFile file;
    if (!file.open(path)) {
        m_handles.reset();
        m_error = file.errorText();
        return false;
    }
    return open(file.takeStream(), path);
}

bool CaptureReader::open(FILE *stream, const QString &path)
{
    m_handles.reset();
    m_path = inputName(path);
    m_error.clear();
    m_index = 0;
    if (!stream) {
        m_error = QStringLiteral("cannot read %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    char problem[PCAP_ERRBUF_SIZE] = {};
    auto handles = std::make_unique<Handles>();
    handles->pcap = pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, problem);
    if (!handles->pcap) {
        std::fclose(stream);
        m_error = QStringLiteral("%1 is not a capture that can be read: %2").arg(m_path, QString::fromLocal8Bit(problem));
        return false;
    }
    const int linkType = pcap_datalink(handles->pcap);
    if (linkType != DLT_USER0) {
        m_error = QStringLiteral("%1 is a capture of link type %2, not of KWN bus records (USER0, %3)")
                      .arg(m_path)
                      .arg(linkType)
                      .arg(kLinkTypeUser0);
        return false;
    }
    m_handles = std::move(handles);
    return true;
}

bool CaptureReader::next(CaptureRecord *record)
{
    if (!m_handles)
        return false;
    pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;
    const int got = pcap_next_ex(m_handles->pcap, &header, &data);
    if (got == PCAP_ERROR_BREAK) // the end of the file
        return false;
    const QString which = recordText(++m_index);
    if (got != 1) {
        m_error = QStringLiteral("%1 is not a whole capture: %2: %3")
                      .arg(m_path, which, QString::fromLocal8Bit(pcap_geterr(m_handles->pcap)));
        m_handles.reset();
        return false;
    }
    QString problem;
    const int size = int(header->caplen) - 1;
    if (header->caplen < header->len)
        problem = QStringLiteral("it is cut short to %1 of its %2 bytes").arg(header->caplen).arg(header->len);
    else if (header->caplen == 0)
        problem = QStringLiteral("it is empty, without even its direction byte");
    else if (header->ts.tv_usec < 0 || header->ts.tv_usec >= 1000000000)
        problem = QStringLiteral("the fraction of a second of its time is one second or more");
    else if (data[0] > DirectionNoise)
        problem = QStringLiteral("its direction byte is %1, not 0 (received), 1 (sent) or 2 (noise)").arg(data[0]);
    else if (data[0] == DirectionNoise && size == 0)
        problem = QStringLiteral("it is a noise run of no bytes");
    else if (data[0] != DirectionNoise && (size < kFrameOverheadBytes || size > kMaxFrameBytes))
        problem = QStringLiteral("a frame is %1 to %2 bytes; this is %3")
                      .arg(kFrameOverheadBytes)
                      .arg(kMaxFrameBytes)
                      .arg(countText(quint64(size), "byte", "bytes"));
    if (!problem.isEmpty()) {
        m_error = QStringLiteral("%1: %2: %3").arg(m_path, which, problem);
        m_handles.reset();
        return false;
    }
    record->kind = data[0] == DirectionSent ? BusRecord::Sent
        : data[0] == DirectionNoise         ? BusRecord::Noise
                                            : BusRecord::Received;
    // The file's seconds are unsigned; libpcap gives them as a signed 32-bit number.
    qint64 seconds = qint64(header->ts.tv_sec);
    if (seconds < 0)
        seconds += qint64(1) << 32;
    // Asked in ns, libpcap hands over the file's fraction whole whatever its
    // unit; in µs it would read a damaged fraction of ns as 0.
    record->timeUs = seconds * 1000000 + qint64(header->ts.tv_usec) / 1000;
    record->bytes = reinterpret_cast<const char *>(data) + 1;
    record->size = size;
    return true;
}

CaptureRead readCapture(const QString &path)
{
    CaptureRead read;
    CaptureReader reader;
    if (!reader.open(path)) {
        read.error = reader.errorText();
        return read;
    }
    CaptureRecord record;
    while (reader.next(&record)) {
        BusRecord bus;
        bus.kind = record.kind;
        bus.timeUs = record.timeUs;
        bus.bytes = QByteArray(record.bytes, record.size);
        read.records.append(std::move(bus));
    }
    read.error = reader.errorText();
    return read;
}

} // namespace capture
