// Bus logs: the times of their lines (impossible ones, leap seconds, before
// 1970), reading a log for the Bus page, and the local time of day shown.

#include "codec/buslog.h"
#include "codec/buslogfile.h"
#include "codec/busrecord.h"
#include "codec/frame.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <ctime>

namespace {

// A time that is not read: a row's timeMs of -1 and timeValid false.
constexpr qint64 kNoTime = Q_INT64_C(-0x7FFFFFFFFFFF);

// A button event of the sample keypad.
const QByteArray kFrame = "8CF04FC3D4E5FEFFFFFEFFFFFF0B3E";

qint64 utcMs(const char *iso)
{
    const QDateTime time = QDateTime::fromString(QLatin1String(iso), Qt::ISODateWithMs);
    Q_ASSERT(time.isValid());
    return time.toMSecsSinceEpoch();
}

// A zone with summer time: Berlin's, by name or, without the zone files,
// by its rule.
QByteArray berlin()
{
    const bool files = QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin"));
    return files ? "Europe/Berlin" : "CET-1CEST,M3.5.0,M10.5.0/3";
}

// Newfoundland's rule: 3 h 30 min behind UTC, summer time from 02:00 local
// time on the second Sunday of March to 02:00 on the first of November, so
// that its changes fall at half past an hour of UTC.
const char kNewfoundland[] = "NST+3:30NDT,M3.2.0,M11.1.0";

void useTimeZone(const QByteArray &zone)
{
    qputenv("TZ", zone);
    tzset();
}

// "RX 2026-12-06T10:11:12.345Z 8CF0…", "noise no time AB", "event no time
// Disconnected": an entry in words.
QString entryText(const BusLogEntry &entry)
{
    const QString kind = entry.kind == BusRecord::Noise ? QStringLiteral("noise")
        : entry.kind == BusRecord::Event                ? QStringLiteral("event")
                                                        : directionText(entry.kind);
    const QString time = entry.hasTime ? busLogTimeUs(entry.timeUs, false) : QStringLiteral("no time");
    const QString what = entry.kind == BusRecord::Event ? entry.text : frameToHexText(entry.bytes);
    return kind + QLatin1Char(' ') + time + QLatin1Char(' ') + what;
}

QString spaced(const QByteArray &hex)
{
    return frameToHexText(QByteArray::fromHex(hex));
}

} // namespace

class BusLogTest : public QObject
{
    Q_OBJECT

private slots:
    void parseBusLogLine_data();
    void parseBusLogLine();
    void writtenLinesReadBack();
    void readBusLog_data();
    void readBusLog();
    void eventRoundTrip_data();
    void eventRoundTrip();
    void timeOfDayText_data();
    void timeOfDayText();
    void timeOfDayTextOnTwoThreads();
    void timesToTheMicrosecond_data();
    void timesToTheMicrosecond();
    void recordRoundTrip_data();
    void recordRoundTrip();
};

void BusLogTest::parseBusLogLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("timeValid");
    QTest::addColumn<qint64>("timeMs");
    QTest::addColumn<QString>("direction");
    QTest::addColumn<QString>("frameText");
    QTest::addColumn<bool>("readFromBytes");
    const QString f = QString::fromLatin1(kFrame);
    const QString t = QStringLiteral("2026-12-06T22:42:16.123Z");
    const auto add = [](const char *name, const QString &line, const QString &time, qint64 ms, const QString &direction,
                        const QString &frameText, bool readFromBytes = true, int kind = int(BusLogLine::Frame)) {
        QTest::newRow(name) << line << kind << time << (ms != kNoTime) << (ms == kNoTime ? qint64(-1) : ms) << direction
                            << frameText << readFromBytes;
    };
    const auto timed = [&](const char *name, const QString &time, qint64 ms) { add(name, time + " RX " + f, time, ms, "RX", f); };
    timed("possible", t, utcMs("2026-12-06T22:42:16.123Z"));
    timed("leap second", "2016-12-31T23:59:60.00Z", utcMs("2016-12-31T23:59:59.999Z"));
    timed("leap second, its last millisecond", "2016-12-31T23:59:60.999Z", utcMs("2016-12-31T23:59:59.999Z"));
    timed("leap second, with an offset", "2017-01-01T00:59:60.500+01:00", utcMs("2016-12-31T23:59:59.999Z"));
    timed("second 60 within a day", "2016-12-31T12:00:60.000Z", kNoTime);
    timed("second 60 with an offset that ends no UTC day", "2016-12-31T23:59:60.000+01:00", kNoTime);
    timed("second 61", "2016-12-31T23:59:61.000Z", kNoTime);
    timed("year 0000", "0000-01-01T00:00:00.000Z", kNoTime);
    timed("02-30", "2026-02-30T10:11:12.345Z", kNoTime);
    timed("month 13", "2026-13-45T22:42:16.123Z", kNoTime);
    timed("hour 25", "2026-12-06T25:00:00.000Z", kNoTime);
    timed("offset +99:99", "2026-12-06T10:11:12.345+99:99", kNoTime);
    timed("letters after the zone", "2026-12-06T10:11:12.345Zulu", kNoTime);
    timed("before 1970", "1969-07-20T20:17:40.000Z", utcMs("1969-07-20T20:17:40.000Z"));
    timed("the last millisecond of 1969", "1969-12-31T23:59:59.999Z", -1);
    timed("year 1", "0001-01-01T00:00:00.000Z", utcMs("0001-01-01T00:00:00.000Z"));
    timed("with offset", "2026-12-06T23:42:16.123+01:00", utcMs("2026-12-06T22:42:16.123Z"));
    add("impossible, sent, tabs", "  2026-02-30T10:11:12.345Z\tTX \t" + f, "2026-02-30T10:11:12.345Z", kNoTime, "TX", f);
    add("impossible, no frame", "2026-02-30T10:11:12.345Z TX", "2026-02-30T10:11:12.345Z", kNoTime, "TX", "");
    const QString nul = QStringLiteral("2026-12-06T10:11:12.") + QChar(0);
    add("NUL in the time", nul + " RX " + f, nul, kNoTime, "RX", f);
    add("sent, tabs", t + "\tTX\t\tF0 EF", t, utcMs("2026-12-06T22:42:16.123Z"), "TX", "F0 EF");
    add("direction alone", t + " TX", t, utcMs("2026-12-06T22:42:16.123Z"), "TX", "");
    add("non-ASCII frame text", t + " RX \u00e9 F0", t, utcMs("2026-12-06T22:42:16.123Z"), "RX", "\u00e9 F0");
    add("empty", "", "", kNoTime, "", "", true, int(BusLogLine::Empty));
    add("comment", "  # port opened", "", kNoTime, "", "", true, int(BusLogLine::Comment));
    // No log line without RX or TX after the time: the line is a frame text.
    for (const QString &line : QStringList
         {QStringLiteral("2016-12-31T23:59:60.000Z 8C"), QStringLiteral("2026-02-30T10:11:12.345Z RXTX 8C"),
          QStringLiteral("2026-02-30T10:11:12.345ZRX 8C"), QStringLiteral("2026-02-30 10:11:12.345Z RX 8C"),
          QStringLiteral("2026-02-3T10:11:12.345Z RX 8C"), QStringLiteral("F0 EF DF"), QStringLiteral("   "), t + " F0EF",
          t + " RXF0", t + " T", t + "RX F0", QStringLiteral("2026-12-06T22:42:1"), QStringLiteral("\u00e9 F0")})
        add(qPrintable("no log line: " + line), line, "", kNoTime, "", line);
    // Other than ASCII in a time's place: not a time, read from the bytes.
    for (const QString &start : {QStringLiteral("\u00e9"), QStringLiteral("2026-\u00e9"), QStringLiteral("2026\u00e9"),
                                 QStringLiteral("\U0001F600"), QStringLiteral("\u3000")})
        add(qPrintable("not ASCII in a time's place: " + start), start + t + " RX F0", "", kNoTime, "", start + t + " RX F0");
    // Digits of other scripts make no time, whatever the date parser says.
    for (const QString &line : {QStringLiteral("\u0662\u0660\u0662\u0666-\u0661\u0663-45T22:42:16.123Z RX F0"),
                                QStringLiteral("\u0662\u0660\u0662\u0666-\u0661\u0662-\u0660\u0666T22:42:16.123Z RX F0"),
                                QStringLiteral("2026-\u0661\u0662-06T22:42:16.123Z RX F0"),
                                QStringLiteral("2026-02-30T10:11:1\uFF12.345Z RX F0")})
        add(qPrintable("digits of another script: " + line), line, "", kNoTime, "", line, false);
    // Other than ASCII after the shape of a time: the bytes are left to the
    // general way, which keeps the time as written.
    const QString accent = QStringLiteral("2026-02-30T10:11:12\u00e9");
    add("impossible, non-ASCII in the time", accent + " RX F0", accent, kNoTime, "RX", "F0", false);
}

// The time of a line that has the shape of a log line is kept as written,
// whatever it holds, and never read as frame text; both ways of reading a
// line agree.
void BusLogTest::parseBusLogLine()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QString, time);
    QFETCH(bool, timeValid);
    QFETCH(qint64, timeMs);
    QFETCH(QString, direction);
    QFETCH(QString, frameText);
    QFETCH(bool, readFromBytes);
    const BusLogLine parsed = ::parseBusLogLine(line);
    QCOMPARE(int(parsed.kind), kind);
    QCOMPARE(parsed.time, time);
    QCOMPARE(parsed.timeValid, timeValid);
    QCOMPARE(parsed.timeMs, timeMs);
    QCOMPARE(parsed.direction, direction);
    QCOMPARE(parsed.frameText, frameText);
    qint64 ms = -2;
    QCOMPARE(readBusLogTime(time, &ms), timeValid);
    if (timeValid)
        QCOMPARE(ms, timeMs);

    const QByteArray utf8 = line.toUtf8();
    BusLogLine fromBytes;
    qsizetype textStart = -1;
    QCOMPARE(::parseBusLogLine(utf8.constData(), utf8.size(), &fromBytes, &textStart), readFromBytes);
    if (!readFromBytes)
        return;
    QCOMPARE(int(fromBytes.kind), kind);
    QCOMPARE(fromBytes.time, parsed.time);
    QCOMPARE(fromBytes.timeValid, parsed.timeValid);
    QCOMPARE(fromBytes.timeMs, parsed.timeMs);
    QCOMPARE(fromBytes.direction, parsed.direction);
    if (kind == BusLogLine::Frame)
        QCOMPARE(QString::fromUtf8(utf8.mid(int(textStart))), parsed.frameText);
}

// What the writers of frame and noise lines make reads back.
void BusLogTest::writtenLinesReadBack()
{
    const qint64 ms = 1796596936123;
    const BusLogLine written = ::parseBusLogLine(busLogFrameLine(ms, QStringLiteral("TX"), QByteArray::fromHex("F0EF")));
    QCOMPARE(written.timeMs, ms);
    QCOMPARE(written.frameText, QStringLiteral("F0EF"));
    QCOMPARE(::parseBusLogLine(busLogNoiseLine(ms, "\x01")).kind, BusLogLine::Comment);
}

void BusLogTest::readBusLog_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("refused");
    const QByteArray f = kFrame;
    const QString frame = spaced(kFrame);
    QTest::newRow("times") << "2026-12-06T10:11:12.345Z RX " + f + "\n2026-12-06T10:11:12.346+01:00 TX " + f + "\n"
                           << QStringList{"RX 2026-12-06T10:11:12.345Z " + frame, "TX 2026-12-06T09:11:12.346Z " + frame}
                           << 0;
    QTest::newRow("plain frame, no time") << f + "\n" << QStringList{"RX no time " + frame} << 0;
    QTest::newRow("before 1970") << "1969-07-20T20:17:40.000Z RX " + f + "\n# 1901-02-03T04:05:06.007Z noise: AB\n"
                                 << QStringList{"RX 1969-07-20T20:17:40.000Z " + frame,
                                                "noise 1901-02-03T04:05:06.007Z AB"}
                                 << 0;
    QTest::newRow("the last millisecond of 1969") << "1969-12-31T23:59:59.999Z TX " + f
                                                  << QStringList{"TX 1969-12-31T23:59:59.999Z " + frame} << 0;
    QTest::newRow("leap second") << "2016-12-31T23:59:60.000Z RX " + f + "\n# 2016-12-31T23:59:60.5Z noise: CD\n"
                                 << QStringList{"RX 2016-12-31T23:59:59.999Z " + frame,
                                                "noise 2016-12-31T23:59:59.999Z CD"}
                                 << 0;
    QTest::newRow("impossible times") << "2026-02-30T10:11:12.345Z RX " + f + "\n0000-01-01T00:00:00.000Z TX " + f
                                             + "\n# 2026-13-01T00:00:00.000Z noise: EF\n"
                                      << QStringList{"RX no time " + frame, "TX no time " + frame, "noise no time EF"}
                                      << 0;
    const QByteArray nul(1, '\0');
    QTest::newRow("NUL in the frame") << "2026-12-06T10:11:12.345Z RX " + f.left(6) + nul + f.mid(6) + "\n"
                                      << QStringList{"RX 2026-12-06T10:11:12.345Z " + frame} << 0;
    QTest::newRow("NUL in a plain frame, CRLF") << f.left(4) + nul + f.mid(4) + "\r\n" << QStringList{"RX no time " + frame}
                                                << 0;
    QTest::newRow("NUL ending a frame") << "2026-12-06T10:11:12.345Z TX " + f + nul + "\n"
                                        << QStringList{"TX 2026-12-06T10:11:12.345Z " + frame} << 0;
    // A noise line holds nothing but its time and digits.
    QTest::newRow("NUL in noise") << "# 2026-12-06T10:11:12.345Z noise: AB" + nul + "CD\n" << QStringList() << 0;
    QTest::newRow("NUL in a comment") << "# port opened" + nul + " 2026-12-06T10:11:12.345Z RX " + f + "\n" + f
                                      << QStringList{"RX no time " + frame} << 0;
    // Events of the port: kept with their time and text; other comments are not events.
    QTest::newRow("events") << "# 2026-12-06T10:11:12.345Z event: Connected to /dev/ttyUSB0\n" + f
                                   + "\n#2026-12-06T10:11:13.000Z   event:   Disconnected  \r\n"
                            << QStringList{"event 2026-12-06T10:11:12.345Z Connected to /dev/ttyUSB0",
                                           "RX no time " + frame, "event 2026-12-06T10:11:13.000Z Disconnected"}
                            << 0;
    QTest::newRow("event without text, event of an impossible time")
        << QByteArray("# 2026-12-06T10:11:12.345Z event:\n# 2026-02-30T00:00:00.000Z event: Lost\n")
        << QStringList{"event 2026-12-06T10:11:12.345Z ", "event no time Lost"} << 0;
    QTest::newRow("comments that are no events")
        << QByteArray("# event: no time\n# 2026-12-06T10:11:12.345Z events: Connected\n# port opened event: x\n")
        << QStringList() << 0;
    QTest::newRow("blank lines, not a frame") << "\n  \r\n\t\nzz\n" + f.left(8) + "\n" << QStringList() << 2;
    // A line too long for any log line is one refused line, however long.
    const QByteArray longHex(5 * 1024 * 1024, 'A');
    QTest::newRow("5 MB of hex on one line") << f + "\n" + longHex + "\n" + f << QStringList{"RX no time " + frame,
                                                                             "RX no time " + frame}
                                             << 1;
    QTest::newRow("long line at the end, no line end") << f + "\n" + longHex << QStringList{"RX no time " + frame}
                                                       << 1;
    QTest::newRow("frame of 40 bytes") << QByteArray(80, 'A') + "\n" << QStringList() << 1;
    // Lines across the reader's blocks of 64 KB come out whole.
    QByteArray many;
    QStringList manyEntries;
    for (int i = 0; i < 3000; ++i) {
        many += "2026-12-06T10:11:12.345Z RX " + f + "\r\n";
        manyEntries << "RX 2026-12-06T10:11:12.345Z " + frame;
    }
    QTest::newRow("3000 lines, CRLF") << many << manyEntries << 0;
    QTest::newRow("empty") << QByteArray() << QStringList() << 0;
}

// The entries of a log as the Bus page opens it: a time before 1970 is a
// time, the last millisecond of 1969 too; a line is read whole.
void BusLogTest::readBusLog()
{
    QFETCH(QByteArray, log);
    QFETCH(QStringList, entries);
    QFETCH(int, refused);
    QBuffer buffer(&log);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const BusLogRead read = ::readBusLog(buffer);
    QStringList texts;
    for (const BusLogEntry &entry : read.entries) {
        texts << entryText(entry);
        if (!entry.hasTime)
            QCOMPARE(entry.timeUs, qint64(-1));
    }
    QCOMPARE(texts, entries);
    QCOMPARE(read.refused, refused);
}

// An event written as a log line reads back as the same event: its time
// and its text, on one line whatever it held.
void BusLogTest::eventRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("connected") << "Connected to /dev/ttyUSB0"
                               << QByteArray("# 2026-12-06T10:11:12.345Z event: Connected to /dev/ttyUSB0\n")
                               << "Connected to /dev/ttyUSB0";
    QTest::newRow("disconnected") << "Disconnected" << QByteArray("# 2026-12-06T10:11:12.345Z event: Disconnected\n")
                                  << "Disconnected";
    const QString lost = QStringLiteral("The device /dev/pts/3 was removed or closed; the connection is closed.");
    QTest::newRow("connection lost") << lost << "# 2026-12-06T10:11:12.345Z event: " + lost.toUtf8() + "\n" << lost;
    QTest::newRow("line breaks") << "Cannot write:\r\nno space\tleft"
                                 << QByteArray("# 2026-12-06T10:11:12.345Z event: Cannot write:  no space left\n")
                                 << "Cannot write:  no space left";
    QTest::newRow("not ASCII") << QStringLiteral("Connected to /dev/s\u00e9rie") << QByteArray("# 2026-12-06T10:11:12.345Z event: Connected to /dev/s\xc3\xa9rie\n")
                               << QStringLiteral("Connected to /dev/s\u00e9rie");
}

void BusLogTest::eventRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, line);
    QFETCH(QString, readBack);
    const qint64 time = utcMs("2026-12-06T10:11:12.345Z");
    QByteArray written = busLogLineOf(eventRecord(time * 1000, text));
    QCOMPARE(written, line);
    QBuffer buffer(&written);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const BusLogRead read = ::readBusLog(buffer);
    QCOMPARE(read.refused, 0);
    QCOMPARE(read.entries.size(), 1);
    QCOMPARE(read.entries.at(0).kind, BusRecord::Event);
    QVERIFY(read.entries.at(0).hasTime);
    QCOMPARE(read.entries.at(0).timeUs, time * 1000);
    QCOMPARE(read.entries.at(0).text, readBack);
}

void BusLogTest::timeOfDayText_data()
{
    // Summer time in Berlin, 2026: from 01:00 UTC on 29 March to 01:00 UTC
    // on 25 October. The rows run in order, each after the one before it.
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QStringList>("texts");
    const QByteArray b = berlin();
    QTest::newRow("spring, before then after") << b << QStringList{"2026-03-29T00:59:59.999Z", "2026-03-29T01:00:00.000Z"}
                                               << QStringList{"01:59:59.999", "03:00:00.000"};
    QTest::newRow("spring, after then before") << b << QStringList{"2026-03-29T01:00:00.000Z", "2026-03-29T00:59:59.999Z"}
                                               << QStringList{"03:00:00.000", "01:59:59.999"};
    QTest::newRow("autumn, before then after") << b << QStringList{"2026-10-25T00:59:59.999Z", "2026-10-25T01:00:00.000Z"}
                                               << QStringList{"02:59:59.999", "02:00:00.000"};
    QTest::newRow("autumn, after then before") << b << QStringList{"2026-10-25T01:00:00.000Z", "2026-10-25T00:59:59.999Z"}
                                               << QStringList{"02:00:00.000", "02:59:59.999"};
    QTest::newRow("spring, the hours around")
        << b
        << QStringList{"2026-03-29T00:30:00.000Z", "2026-03-29T01:30:00.000Z", "2026-03-29T00:00:00.000Z",
                       "2026-03-29T01:59:59.999Z", "2026-03-29T00:59:00.000Z", "2026-03-29T01:00:30.000Z"}
        << QStringList{"01:30:00.000", "03:30:00.000", "01:00:00.000", "03:59:59.999", "01:59:00.000", "03:00:30.000"};
    QTest::newRow("autumn, seconds apart") << b
                                           << QStringList{"2026-10-25T00:59:58.000Z", "2026-10-25T01:00:01.000Z",
                                                          "2026-10-25T00:59:59.000Z", "2026-10-25T01:00:00.001Z"}
                                           << QStringList{"02:59:58.000", "02:00:01.000", "02:59:59.000", "02:00:00.001"};
    QTest::newRow("winter and summer") << b << QStringList{"2026-01-15T12:00:00.000Z", "2026-07-15T12:00:00.000Z"}
                                       << QStringList{"13:00:00.000", "14:00:00.000"};
    QTest::newRow("before 1970") << b << QStringList{"1969-12-31T23:59:59.999Z", "1969-12-31T12:34:56.789Z"}
                                 << QStringList{"00:59:59.999", "13:34:56.789"};
    // Changes within an hour of UTC, 05:30 UTC on 8 March and 04:30 UTC on
    // 1 November 2026.
    const QByteArray n = kNewfoundland;
    QTest::newRow("half an hour off, spring")
        << n
        << QStringList{"2026-03-08T05:29:59.999Z", "2026-03-08T05:30:00.000Z", "2026-03-08T05:00:00.000Z",
                       "2026-03-08T05:59:59.999Z", "2026-03-08T05:29:59.999Z"}
        << QStringList{"01:59:59.999", "03:00:00.000", "01:30:00.000", "03:29:59.999", "01:59:59.999"};
    QTest::newRow("half an hour off, autumn")
        << n
        << QStringList{"2026-11-01T04:30:00.000Z", "2026-11-01T04:29:59.999Z", "2026-11-01T04:59:59.999Z",
                       "2026-11-01T04:00:00.000Z", "2026-11-01T04:30:00.000Z"}
        << QStringList{"01:00:00.000", "01:59:59.999", "01:29:59.999", "01:30:00.000", "01:00:00.000"};
}

// The local time of day of each time, called in the row's order.
void BusLogTest::timeOfDayText()
{
    QFETCH(QByteArray, zone);
    QFETCH(QStringList, times);
    QFETCH(QStringList, texts);
    useTimeZone(zone);
    // At the start of each millisecond and at its last µs.
    QStringList shown;
    QStringList expected;
    for (const QString &time : times)
        shown << ::timeOfDayText(utcMs(qPrintable(time)) * 1000) << ::timeOfDayText(utcMs(qPrintable(time)) * 1000 + 999);
    for (const QString &text : texts)
        expected << text + QStringLiteral("000") << text + QStringLiteral("999");
    QCOMPARE(shown, expected);
}

// Two threads asking for times on either side of a change of offset.
void BusLogTest::timeOfDayTextOnTwoThreads()
{
    useTimeZone(berlin());
    std::atomic<int> wrong{0};
    std::atomic<int> waiting{2};
    // Each thread asks for two times a millisecond apart, in turn, both
    // threads at once.
    const auto ask = [&wrong, &waiting](qint64 timeMs, const QStringList &texts) {
        --waiting;
        while (waiting.load() > 0)
            QThread::yieldCurrentThread();
        for (int i = 0; i < 100000; ++i) {
            if (::timeOfDayText((timeMs + i % 2) * 1000) != texts.at(i % 2) + QStringLiteral("000"))
                ++wrong;
        }
    };
    QScopedPointer<QThread> before(QThread::create(ask, utcMs("2026-10-25T00:59:59.998Z"),
                                                   QStringList{"02:59:59.998", "02:59:59.999"}));
    QScopedPointer<QThread> after(QThread::create(ask, utcMs("2026-10-25T01:00:00.000Z"),
                                                  QStringList{"02:00:00.000", "02:00:00.001"}));
    before->start();
    after->start();
    QVERIFY(before->wait(60000));
    QVERIFY(after->wait(60000));
    QCOMPARE(wrong.load(), 0);
}

void BusLogTest::timesToTheMicrosecond_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("us");
    QTest::addColumn<QString>("written"); // busLogTimeUs(us, true)
    const qint64 base = Q_INT64_C(1796596936) * 1000000; // 2026-12-06T22:42:16Z
    QTest::newRow("µs") << "2026-12-06T22:42:16.123456Z" << true << base + 123456 << "2026-12-06T22:42:16.123456Z";
    QTest::newRow("ms") << "2026-12-06T22:42:16.123Z" << true << base + 123000 << "2026-12-06T22:42:16.123000Z";
    // Qt would round these up, the last across the second.
    QTest::newRow("four digits") << "2026-12-06T22:42:16.1239Z" << true << base + 123900 << "2026-12-06T22:42:16.123900Z";
    QTest::newRow("nines") << "2026-12-06T22:42:16.9999999Z" << true << base + 999999 << "2026-12-06T22:42:16.999999Z";
    QTest::newRow("no fraction") << "2026-12-06T22:42:16Z" << true << base << "2026-12-06T22:42:16.000000Z";
    QTest::newRow("offset") << "2026-12-06T23:42:16.000001+01:00" << true << base + 1 << "2026-12-06T22:42:16.000001Z";
    QTest::newRow("before 1970") << "1969-12-31T23:59:59.999999Z" << true << qint64(-1) << "1969-12-31T23:59:59.999999Z";
    QTest::newRow("leap second") << "2016-12-31T23:59:60.5Z" << true << Q_INT64_C(1483228800) * 1000000 - 1
                                 << "2016-12-31T23:59:59.999999Z";
    QTest::newRow("letters after") << "2026-12-06T22:42:16.123456Zulu" << false << qint64(0) << "";
}

// Times are read to the µs as written, and written back the same way.
void BusLogTest::timesToTheMicrosecond()
{
    QFETCH(QString, time);
    QFETCH(bool, valid);
    QFETCH(qint64, us);
    QFETCH(QString, written);
    qint64 read = 0;
    QCOMPARE(readBusLogTimeUs(time, &read), valid);
    if (!valid)
        return;
    QCOMPARE(read, us);
    QCOMPARE(busLogTimeUs(read, true), written);
    QCOMPARE(busLogTimeUs(read, false), written.left(23) + QLatin1Char('Z'));
    qint64 ms = 0;
    QVERIFY(readBusLogTime(time, &ms));
    QCOMPARE(ms, us / 1000 - (us % 1000 < 0 ? 1 : 0));
}

// Each kind of record written and read back: to the µs when precise, else
// to the millisecond (earlier, also before 1970), the line as shown.
void BusLogTest::recordRoundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("timeUs");
    QTest::addColumn<bool>("precise");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qint64>("readUs");
    const qint64 base = Q_INT64_C(1796596936) * 1000000; // 2026-12-06T22:42:16Z
    const int rx = BusRecord::Received;
    const int tx = BusRecord::Sent;
    const int noise = BusRecord::Noise;
    const int event = BusRecord::Event;
    QTest::newRow("RX, µs") << rx << base + 123456 << true << QByteArray("2026-12-06T22:42:16.123456Z RX A1B2C3D4E5F60718293A4B\n")
                            << base + 123456;
    QTest::newRow("RX, ms") << rx << base + 123456 << false << QByteArray("2026-12-06T22:42:16.123Z RX A1B2C3D4E5F60718293A4B\n")
                            << base + 123000;
    QTest::newRow("TX, µs") << tx << base + 7 << true << QByteArray("2026-12-06T22:42:16.000007Z TX A1B2C3D4E5F60718293A4B\n")
                            << base + 7;
    QTest::newRow("noise, µs") << noise << base + 999999 << true
                               << QByteArray("# 2026-12-06T22:42:16.999999Z noise: A1B2C3D4E5F60718293A4B\n") << base + 999999;
    QTest::newRow("noise, ms") << noise << base + 999999 << false
                               << QByteArray("# 2026-12-06T22:42:16.999Z noise: A1B2C3D4E5F60718293A4B\n") << base + 999000;
    QTest::newRow("event, µs") << event << base + 500 << true
                               << QByteArray("# 2026-12-06T22:42:16.000500Z event: Disconnected\n") << base + 500;
    QTest::newRow("event, ms") << event << base + 500 << false
                               << QByteArray("# 2026-12-06T22:42:16.000Z event: Disconnected\n") << base;
    QTest::newRow("before 1970, µs") << rx << qint64(-1) << true
                                     << QByteArray("1969-12-31T23:59:59.999999Z RX A1B2C3D4E5F60718293A4B\n") << qint64(-1);
    QTest::newRow("before 1970, ms") << rx << qint64(-1) << false
                                     << QByteArray("1969-12-31T23:59:59.999Z RX A1B2C3D4E5F60718293A4B\n") << qint64(-1000);
}

void BusLogTest::recordRoundTrip()
{
    QFETCH(int, kind);
    QFETCH(qint64, timeUs);
    QFETCH(bool, precise);
    QFETCH(QByteArray, line);
    QFETCH(qint64, readUs);
    BusRecord record = kind == BusRecord::Event ? eventRecord(timeUs, QStringLiteral("Disconnected")) : BusRecord();
    if (kind != BusRecord::Event) {
        record.kind = BusRecord::Kind(kind);
        record.timeUs = timeUs;
        record.bytes = QByteArray::fromHex("A1B2C3D4E5F60718293A4B");
    }
    QByteArray written = busLogLineOf(record, precise);
    QCOMPARE(written, line);
    QBuffer buffer(&written);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const BusLogRead read = ::readBusLog(buffer);
    QCOMPARE(read.refused, 0);
    QCOMPARE(read.entries.size(), 1);
    QCOMPARE(int(read.entries.at(0).kind), kind);
    QVERIFY(read.entries.at(0).hasTime);
    QCOMPARE(read.entries.at(0).timeUs, readUs);
}

QTEST_APPLESS_MAIN(BusLogTest)
#include "buslogtest.moc"
