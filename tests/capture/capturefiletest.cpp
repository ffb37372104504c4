// Captures: records written and read back, files told apart by content, and
// damaged captures refused with a reason rather than read wrong.

#include "capture/capturefile.h"
#include "capture/recordfile.h"
#include "codec/buslogfile.h"
#include "codec/frame.h"
#include "pcapfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

struct Rec
{
    BusRecord::Kind kind;
    qint64 timeUs;
    QByteArray bytes;
};
Q_DECLARE_METATYPE(Rec)

namespace {

BusRecord busRecord(const Rec &r)
{
    BusRecord record;
    record.kind = r.kind;
    record.timeUs = r.timeUs;
    record.bytes = r.bytes;
    return record;
}

QByteArray frame(quint8 id, const QByteArray &data = QByteArray())
{
    return packFrame(id, false, quint8(kFrameOverheadBytes + data.size()), 0, 2, 0x000001, 0x3A0C51, data);
}

QByteArray badChecksum(QByteArray bytes)
{
    bytes[bytes.size() - 1] = char(bytes.at(bytes.size() - 1) ^ 0x5A);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class CaptureFileTest : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void longNoiseIsSplit();
    void eventsAreLeftOut();
    void refusesTimes_data();
    void refusesTimes();
    void recognisedByContent_data();
    void recognisedByContent();
    void sameRecordsAsTheLog();
    void linesReadAsTheLogReaderReads_data();
    void linesReadAsTheLogReaderReads();
    void damagedCapturesRefused_data();
    void damagedCapturesRefused();
    void everyTruncationRefused();

private:
    QTemporaryDir m_dir;
};

void CaptureFileTest::roundTrip_data()
{
    QTest::addColumn<QVector<Rec>>("records");
    const QByteArray move = frame(0x03, QByteArray::fromHex("4B01"));
    QTest::newRow("a frame received") << QVector<Rec>{{BusRecord::Received, 1796598109407000, move}};
    QTest::newRow("a frame sent") << QVector<Rec>{{BusRecord::Sent, 1796598109407123, move}};
    QTest::newRow("a bad checksum") << QVector<Rec>{{BusRecord::Received, 5, badChecksum(move)}};
    QTest::newRow("noise") << QVector<Rec>{{BusRecord::Noise, 1000000, QByteArray::fromHex("00FF01")}};
    QTest::newRow("one byte of noise") << QVector<Rec>{{BusRecord::Noise, 1, QByteArray(1, '\xAA')}};
    QTest::newRow("longest frame") << QVector<Rec>{{BusRecord::Received, 0, frame(0x20, QByteArray(20, 'x'))}};
    QTest::newRow("time 0 and last second of 2106")
        << QVector<Rec>{{BusRecord::Sent, 0, move}, {BusRecord::Received, 0xFFFFFFFFLL * 1000000 + 999999, move}};
    QTest::newRow("mixed, times out of order")
        << QVector<Rec>{{BusRecord::Received, 2000000, move},
                        {BusRecord::Noise, 1999999, QByteArray::fromHex("0102")},
                        {BusRecord::Sent, 2000001, badChecksum(move)}};
}

void CaptureFileTest::roundTrip()
{
    QFETCH(QVector<Rec>, records);
    const QString path = m_dir.filePath(QStringLiteral("round.pcap"));
    capture::CaptureWriter writer;
    QVERIFY2(writer.open(path), qPrintable(writer.errorText()));
    for (const Rec &r : records)
        QVERIFY2(writer.write(busRecord(r)), qPrintable(writer.errorText()));
    QVERIFY(writer.close());
    QCOMPARE(writer.recordsWritten(), quint64(records.size()));

    const capture::CaptureRead read = capture::readCapture(path);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.records.size(), records.size());
    for (int i = 0; i < records.size(); ++i) {
        QCOMPARE(int(read.records.at(i).kind), int(records.at(i).kind));
        QCOMPARE(read.records.at(i).timeUs, records.at(i).timeUs);
        QCOMPARE(read.records.at(i).bytes, records.at(i).bytes);
    }
    // The file itself: USER0, microseconds, a direction byte before the bytes.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(qFromLittleEndian<quint32>(bytes.constData()), 0xA1B2C3D4u);
    QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 20), 147u);
    const quint8 direction = quint8(bytes.at(24 + 16));
    QCOMPARE(int(direction), records.first().kind == BusRecord::Sent ? 1 : records.first().kind == BusRecord::Noise ? 2 : 0);
    QCOMPARE(bytes.mid(24 + 17, records.first().bytes.size()), records.first().bytes);
}

void CaptureFileTest::longNoiseIsSplit()
{
    const QString path = m_dir.filePath(QStringLiteral("long.pcap"));
    QByteArray noise(70000, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char(i * 7);
    capture::CaptureWriter writer;
    QVERIFY(writer.open(path));
    QVERIFY(writer.write(busRecord({BusRecord::Noise, 42, noise})));
    QVERIFY(writer.close());
    const capture::CaptureRead read = capture::readCapture(path);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.records.size(), 2);
    QCOMPARE(read.records.at(0).bytes + read.records.at(1).bytes, noise);
    QCOMPARE(read.records.at(1).timeUs, qint64(42));
}

void CaptureFileTest::eventsAreLeftOut()
{
    const QString path = m_dir.filePath(QStringLiteral("events.pcap"));
    capture::CaptureWriter writer;
    QVERIFY(writer.open(path));
    QVERIFY(writer.write(eventRecord(10, QStringLiteral("Connected to /dev/ttyUSB0"))));
    QVERIFY(writer.write(busRecord({BusRecord::Received, 11, frame(1)})));
    QVERIFY(writer.close());
    QCOMPARE(writer.eventsLeftOut(), quint64(1));
    QCOMPARE(writer.recordsWritten(), quint64(1));
    QCOMPARE(capture::readCapture(path).records.size(), 1);
}

void CaptureFileTest::refusesTimes_data()
{
    QTest::addColumn<qint64>("timeUs");
    QTest::newRow("before 1970") << qint64(-1);
    QTest::newRow("1969") << qint64(-86400) * 1000000;
    QTest::newRow("past 2106") << (0xFFFFFFFFLL + 1) * 1000000;
}

void CaptureFileTest::refusesTimes()
{
    QFETCH(qint64, timeUs);
    capture::CaptureWriter writer;
    QVERIFY(writer.open(m_dir.filePath(QStringLiteral("times.pcap"))));
    QVERIFY(!writer.write(busRecord({BusRecord::Received, timeUs, frame(1)})));
    QVERIFY2(writer.errorText().contains(QLatin1String("1970 to 2106")), qPrintable(writer.errorText()));
    QCOMPARE(writer.recordsWritten(), quint64(0));
}

void CaptureFileTest::recognisedByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("capture");
    const QByteArray record = pcapRecord(QByteArray(1, '\0') + frame(1));
    QTest::newRow("capture named .log") << "a.log" << pcapHeader() + record << true;
    QTest::newRow("capture without suffix") << "a" << pcapHeader() + record << true;
    QTest::newRow("big-endian magic") << "b.pcap" << QByteArray::fromHex("A1B2C3D4") + QByteArray(20, '\0') << true;
    QTest::newRow("nanosecond magic") << "c.pcap" << pcapHeader(147, 0xA1B23C4D) << true;
    QTest::newRow("pcapng") << "d.pcapng" << QByteArray::fromHex("0A0D0D0A") + QByteArray(20, '\0') << true;
    QTest::newRow("log named .pcap") << "e.pcap" << QByteArray("2026-12-06T23:01:49.407Z RX FCF2\n") << false;
    QTest::newRow("plain frame text") << "f.pcap" << QByteArray("D4C3B2A1\n") << false;
    QTest::newRow("empty file") << "g.pcap" << QByteArray() << false;
    QTest::newRow("three bytes of a magic") << "h" << QByteArray::fromHex("D4C3B2") << false;
}

void CaptureFileTest::recognisedByContent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, capture);
    const QString path = m_dir.filePath(name);
    QVERIFY(writeFile(path, content));
    QCOMPARE(capture::recordFileKind(path) == capture::RecordFileKind::Capture, capture);
    QCOMPARE(capture::readRecordFile(path).kind == capture::RecordFileKind::Capture, capture);
}

void CaptureFileTest::sameRecordsAsTheLog()
{
    const QByteArray log = "2026-12-06T23:01:49.407Z RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20\n"
                           "# 2026-12-06T23:01:49.408Z noise: 0102\n"
                           "2026-12-06T23:01:49.435123Z TX FCF2FDFEFFFFFDFFFFB4FE0A95\n";
    const QString logPath = m_dir.filePath(QStringLiteral("same.log"));
    const QString capturePath = m_dir.filePath(QStringLiteral("same.pcap"));
    QVERIFY(writeFile(logPath, log));
    const capture::ConvertResult converted = capture::convertToCapture(logPath, capturePath);
    QVERIFY2(converted.ok(), qPrintable(converted.error));
    const capture::RecordFileRead fromLog = capture::readRecordFile(logPath);
    const capture::RecordFileRead fromCapture = capture::readRecordFile(capturePath);
    QVERIFY(fromLog.ok() && fromCapture.ok());
    QCOMPARE(int(fromLog.kind), int(capture::RecordFileKind::Log));
    QCOMPARE(int(fromCapture.kind), int(capture::RecordFileKind::Capture));
    QCOMPARE(fromCapture.records.size(), 3);
    QCOMPARE(fromLog.records.size(), fromCapture.records.size());
    for (int i = 0; i < fromLog.records.size(); ++i) {
        QCOMPARE(int(fromCapture.records.at(i).kind), int(fromLog.records.at(i).kind));
        QCOMPARE(fromCapture.records.at(i).timeUs, fromLog.records.at(i).timeUs);
        QCOMPARE(fromCapture.records.at(i).bytes, fromLog.records.at(i).bytes);
    }
    QCOMPARE(fromCapture.records.at(2).timeUs % 1000000, qint64(435123));
}

void CaptureFileTest::linesReadAsTheLogReaderReads_data()
{
    QTest::addColumn<QByteArray>("line");
    const QByteArray frame = " RX FCF2FDFEFFFFFDFFFFB4FE0A94";
    for (const char *time : {"2026-12-06T23:01:49.407Z", "2026-12-06T23:01:49.407123Z", "2024-02-29T00:00:00.000Z",
                             "2023-02-29T00:00:00.000Z", "2100-02-29T12:00:00.000Z", "2000-02-29T12:00:00.000Z",
                             "2026-12-31T23:59:60.500Z", "2026-13-01T00:00:00.000Z", "2026-04-31T00:00:00.000Z",
                             "1969-12-31T23:59:59.999Z", "0000-01-01T00:00:00.000Z", "2026-12-06T24:00:00.000Z",
                             "2026-12-06T23:01:49Z", "2026-12-06T23:01:49.4Z", "2026-12-06T23:01:49.407+01:00",
                             "2026-12-06T23:01:49.40aZ", "2106-02-07T06:28:15.999999Z"})
        QTest::newRow(time) << QByteArray(time) + frame;
    QTest::newRow("lower case") << QByteArray("2026-12-06T23:01:49.407Z TX fcf2fdfeffffFDFFFFB4FE0A94");
    QTest::newRow("two spaces") << QByteArray("2026-12-06T23:01:49.407Z  RX FCF2FDFEFFFFFDFFFFB4FE0A94");
    QTest::newRow("carriage return") << QByteArray("2026-12-06T23:01:49.407Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\r");
    QTest::newRow("too short") << QByteArray("2026-12-06T23:01:49.407Z RX FCF2FDFEFFFFFDFFFFB4FE");
    QTest::newRow("odd digit") << QByteArray("2026-12-06T23:01:49.407Z RX FCF2FDFEFFFFFDFFFFB4FE0A94F");
    QTest::newRow("too long") << QByteArray("2026-12-06T23:01:49.407Z RX ") + QByteArray(64, 'A');
    QTest::newRow("other word") << QByteArray("2026-12-06T23:01:49.407Z XX FCF2FDFEFFFFFDFFFFB4FE0A94");
}

// The quick reading of common log lines gives what the log reader gives.
void CaptureFileTest::linesReadAsTheLogReaderReads()
{
    QFETCH(QByteArray, line);
    const QString path = m_dir.filePath(QStringLiteral("line.log"));
    QVERIFY(writeFile(path, line + '\n'));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const BusLogRead expected = readBusLog(file);
    const capture::RecordFileRead read = capture::readRecordFile(path);
    QCOMPARE(read.refusedLines, expected.refused);
    QCOMPARE(read.records.size(), expected.entries.size());
    for (int i = 0; i < read.records.size(); ++i) {
        QCOMPARE(int(read.records.at(i).kind), int(expected.entries.at(i).kind));
        QCOMPARE(read.records.at(i).bytes, expected.entries.at(i).bytes);
        if (expected.entries.at(i).hasTime) {
            QCOMPARE(read.records.at(i).timeUs, expected.entries.at(i).timeUs);
        } else {
            // A time that is none: the line takes the time of reading.
            const qint64 nowUs = QDateTime::currentMSecsSinceEpoch() * 1000;
            QVERIFY(qAbs(read.records.at(i).timeUs - nowUs) < qint64(60) * 1000000);
        }
    }
}

void CaptureFileTest::damagedCapturesRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("recordsBefore");
    const QByteArray good = pcapRecord(QByteArray(1, '\0') + frame(1));
    QTest::newRow("header cut short") << pcapHeader().left(10) << "not a capture that can be read" << 0;
    QTest::newRow("record header cut short") << pcapHeader() + good + good.left(7) << "not a whole capture: record 2"
                                             << 1;
    QTest::newRow("record bytes cut short") << pcapHeader() + good.left(good.size() - 3)
                                            << "not a whole capture: record 1" << 0;
    QTest::newRow("another link type") << pcapHeader(1) + good << "link type 1, not of KWN bus records" << 0;
    QTest::newRow("direction byte 7") << pcapHeader() + good + pcapRecord(QByteArray(1, '\7') + frame(1))
                                      << "record 2: its direction byte is 7" << 1;
    QTest::newRow("empty record") << pcapHeader() + pcapRecord(QByteArray()) << "record 1: it is empty" << 0;
    QTest::newRow("noise of no bytes") << pcapHeader() + pcapRecord(QByteArray(1, '\2')) << "noise run of no bytes"
                                       << 0;
    QTest::newRow("frame too short") << pcapHeader() + pcapRecord(QByteArray::fromHex("01FCF2FD"))
                                     << "a frame is 11 to 31 bytes; this is 3 bytes" << 0;
    QTest::newRow("frame too long") << pcapHeader() + pcapRecord(QByteArray(1, '\0') + QByteArray(32, 'x'))
                                    << "this is 32 bytes" << 0;
    QTest::newRow("record cut by the snapshot length")
        << pcapHeader() + pcapRecord(QByteArray(1, '\0') + frame(1), 1, 0, -1, 40) << "cut short to 12 of its 40 bytes"
        << 0;
    QTest::newRow("absurd record length") << pcapHeader() + pcapRecord(QByteArray(8, 'x'), 1, 0, 0x7FFFFFFF, 0x7FFFFFFF)
                                          << "not a whole capture: record 1" << 0;
    const QByteArray payload = QByteArray(1, '\0') + frame(1);
    QTest::newRow("a whole second of microseconds") << pcapHeader() + good + pcapRecord(payload, 1, 1000000)
                                                    << "record 2: the fraction of a second of its time" << 1;
    QTest::newRow("microseconds past 2^31") << pcapHeader() + pcapRecord(payload, 1, 0xFFFFFFFF)
                                            << "record 1: the fraction of a second of its time" << 0;
    QTest::newRow("a whole second of nanoseconds") << pcapHeader(147, 0xA1B23C4D) + pcapRecord(payload, 1, 1000000000)
                                                   << "record 1: the fraction of a second of its time" << 0;
    QTest::newRow("nanoseconds below 0") << pcapHeader(147, 0xA1B23C4D) + pcapRecord(payload, 1, 0xFFFFFFFF)
                                         << "record 1: the fraction of a second of its time" << 0;
}

void CaptureFileTest::damagedCapturesRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QFETCH(int, recordsBefore);
    const QString path = m_dir.filePath(QStringLiteral("damaged.pcap"));
    QVERIFY(writeFile(path, content));
    const capture::RecordFileRead read = capture::readRecordFile(path);
    QVERIFY(!read.ok());
    QVERIFY2(read.error.contains(reason), qPrintable(read.error));
    QVERIFY2(read.error.contains(path), qPrintable(read.error));
    QCOMPARE(read.records.size(), recordsBefore);
}

// Whatever prefix of a capture is left, it is read whole up to a record's
// end, and refused anywhere else; never read wrong.
void CaptureFileTest::everyTruncationRefused()
{
    const QString whole = m_dir.filePath(QStringLiteral("whole.pcap"));
    capture::CaptureWriter writer;
    QVERIFY(writer.open(whole));
    QVERIFY(writer.write(busRecord({BusRecord::Received, 1000001, frame(1, "ab")})));
    QVERIFY(writer.write(busRecord({BusRecord::Noise, 1000002, QByteArray("xyz")})));
    QVERIFY(writer.write(busRecord({BusRecord::Sent, 1000003, frame(2)})));
    QVERIFY(writer.close());
    QFile file(whole);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QVector<int> ends = {24, 24 + 16 + 1 + 13, 24 + 2 * 16 + 1 + 13 + 1 + 3, int(bytes.size())};
    QCOMPARE(ends.last(), 24 + 3 * 16 + 14 + 4 + 12);
    const QString cut = m_dir.filePath(QStringLiteral("cut.pcap"));
    for (int size = 0; size <= bytes.size(); ++size) {
        QVERIFY(writeFile(cut, bytes.left(size)));
        const capture::RecordFileRead read = capture::readRecordFile(cut);
        const int whole = ends.indexOf(size);
        if (size < 4) {
            QCOMPARE(int(read.kind), int(capture::RecordFileKind::Log));
            continue;
        }
        QVERIFY2(read.ok() == (whole >= 0), qPrintable(QStringLiteral("%1 bytes: %2").arg(size).arg(read.error)));
        if (whole >= 0)
            QCOMPARE(read.records.size(), whole);
    }
}

QTEST_GUILESS_MAIN(CaptureFileTest)
#include "capturefiletest.moc"
