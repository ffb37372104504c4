// Bus logs: line times (impossible ones, leap seconds, before 1970), reading,
// writing records as lines, and the local time of day (tables in data/codec).

#include "codec/buslog.h"
#include "codec/buslogfile.h"
#include "codec/busrecord.h"
#include "codec/frame.h"
#include "support/datarows.h"

#include <QBuffer>
#include <QThread>

#include <atomic>
#include <ctime>

namespace {

// A button event of the sample keypad.
const QString kFrame = QStringLiteral("8CF04FC3D4E5FEFFFFFEFFFFFF0B3E");

// A field of the tables with the frame put in.
QString withFrame(const QString &field)
{
    return unescaped(QString(field).replace(QLatin1String("$F"), kFrame));
}

// The time a table writes in UTC, in ms since the epoch; -1 for "-".
qint64 utcMs(const QString &iso)
{
    return iso == QLatin1String("-") ? -1 : QDateTime::fromString(iso, Qt::ISODateWithMs).toMSecsSinceEpoch();
}

BusLogRead readLog(QByteArray log)
{
    QBuffer buffer(&log);
    buffer.open(QIODevice::ReadOnly);
    return readBusLog(buffer);
}

// A zone with summer time (Berlin's, by name or, without the zone files, by
// its rule), or Newfoundland's, whose changes fall at half past an hour of UTC.
void useTimeZone(const QString &zone)
{
    const bool files = QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin"));
    qputenv("TZ", zone == QLatin1String("newfoundland") ? "NST+3:30NDT,M3.2.0,M11.1.0"
                  : files                              ? "Europe/Berlin"
                                                       : "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
}

// The kinds of records as the tables write them, in the order of BusRecord::Kind.
const QStringList kKinds{"RX", "TX", "noise", "event"};

// A line as read (time "-": none a clock shows), alike from text and from
// UTF-8 bytes unless the byte reader leaves it to the other.
void checkLine(const QString &line, BusLogLine::Kind kind, const QString &time, const QString &readAs,
               const QString &direction, const QString &frameText, bool readFromBytes)
{
    const BusLogLine parsed = parseBusLogLine(line);
    QCOMPARE(parsed.kind, kind);
    QCOMPARE(parsed.time, time);
    QCOMPARE(parsed.timeValid, readAs != "-");
    QCOMPARE(parsed.timeMs, utcMs(readAs));
    QCOMPARE(parsed.direction, direction);
    QCOMPARE(parsed.frameText, frameText);
    const QByteArray utf8 = line.toUtf8();
    BusLogLine fromBytes;
    qsizetype textStart = -1;
    QCOMPARE(parseBusLogLine(utf8.constData(), utf8.size(), &fromBytes, &textStart), readFromBytes);
    if (!readFromBytes)
        return;
    QCOMPARE(QStringList({fromBytes.time, fromBytes.direction}), QStringList({time, direction}));
    QCOMPARE(QVector<qint64>({fromBytes.kind, fromBytes.timeValid, fromBytes.timeMs}),
             QVector<qint64>({parsed.kind, parsed.timeValid, parsed.timeMs}));
    if (kind == BusLogLine::Frame)
        QCOMPARE(QString::fromUtf8(utf8.mid(int(textStart))), frameText);
}

} // namespace

class BusLogTest : public QObject
{
    Q_OBJECT

private slots:
    // A time is read and written back; a line of it is a log line whose
    // time is kept as written, whatever it holds.
    void times_data() { addDataRows(QStringLiteral("codec/buslog-times.txt")); }
    void times()
    {
        QFETCH(QStringList, row);
        const bool valid = row[1] != "-";
        qint64 ms = -2, us = -2;
        QCOMPARE(readBusLogTime(row[0], &ms), valid);
        QCOMPARE(readBusLogTimeUs(row[0], &us), valid);
        if (valid) {
            QCOMPARE(ms, utcMs(row[1]));
            QCOMPARE(us, row[2].toLongLong());
            QCOMPARE(busLogTimeUs(us, true), row[3]);
            QCOMPARE(busLogTimeUs(us, false), row[1]);
        }
        checkLine(row[0] + " RX " + kFrame, BusLogLine::Frame, row[0], row[1], "RX", kFrame, true);
    }

    void lines_data() { addDataRows(QStringLiteral("codec/buslog-lines.txt")); }
    void lines()
    {
        QFETCH(QStringList, row);
        const BusLogLine::Kind kind = row[1] == "frame" ? BusLogLine::Frame
            : row[1] == "comment"                       ? BusLogLine::Comment
                                                        : BusLogLine::Empty;
        checkLine(withFrame(row[0]), kind, unescaped(row[2]), row[3], row[4], withFrame(row[5]), row[6] == "1");
    }

    void readLogs_data() { addDataRows(QStringLiteral("codec/buslogs.txt")); }
    void readLogs()
    {
        QFETCH(QStringList, row);
        const BusLogRead read = readLog(withFrame(row[0]).toUtf8());
        QStringList texts;
        for (const BusLogEntry &entry : read.entries) {
            const QString kind = kKinds.value(entry.kind);
            const QString time = entry.hasTime ? busLogTimeUs(entry.timeUs, false) : QStringLiteral("no time");
            texts << kind + ' ' + time + ' ' + (entry.kind == BusRecord::Event ? entry.text : frameToHexText(entry.bytes));
            QVERIFY(entry.hasTime || entry.timeUs == -1);
        }
        QCOMPARE(texts, withFrame(row[1]).split(QLatin1String("; "), Qt::SkipEmptyParts));
        QCOMPARE(read.refused, row[2].toInt());
    }

    void writtenRecords_data() { addDataRows(QStringLiteral("codec/buslog-written.txt")); }
    void writtenRecords()
    {
        QFETCH(QStringList, row);
        const BusRecord::Kind kind = BusRecord::Kind(kKinds.indexOf(row[0]));
        BusRecord record = eventRecord(row[1].toLongLong(), unescaped(row[3]));
        if (kind != BusRecord::Event) {
            record.kind = kind;
            record.bytes = QByteArray::fromHex("A1B2C3D4E5F60718293A4B");
        }
        const QByteArray written = busLogLineOf(record, row[2] == "1");
        QCOMPARE(written, unescapedBytes(row[4]));
        const BusLogRead read = readLog(written);
        QCOMPARE(read.refused, 0);
        QCOMPARE(read.entries.size(), 1);
        QCOMPARE(read.entries.at(0).kind, kind);
        QVERIFY(read.entries.at(0).hasTime);
        QCOMPARE(read.entries.at(0).timeUs, row[5].toLongLong());
        QCOMPARE(read.entries.at(0).text, row.value(6));
    }

    void timeOfDay_data() { addDataRows(QStringLiteral("codec/timeofday.txt")); }
    void timeOfDay()
    {
        QFETCH(QStringList, row);
        useTimeZone(row[0]);
        QStringList shown, expected;
        for (const QString &time : row[1].split(' '))
            shown << timeOfDayText(utcMs(time) * 1000) << timeOfDayText(utcMs(time) * 1000 + 999);
        for (const QString &text : row[2].split(' '))
            expected << text + QStringLiteral("000") << text + QStringLiteral("999");
        QCOMPARE(shown, expected);
    }

    // Two threads asking at once for times on either side of a change of offset.
    void timeOfDayOnTwoThreads()
    {
        useTimeZone(QStringLiteral("berlin"));
        std::atomic<int> wrong{0}, waiting{2};
        const auto ask = [&wrong, &waiting](qint64 timeMs, const QStringList &texts) {
            --waiting;
            while (waiting.load() > 0)
                QThread::yieldCurrentThread();
            for (int i = 0; i < 100000; ++i) {
                if (timeOfDayText((timeMs + i % 2) * 1000) != texts.at(i % 2) + QStringLiteral("000"))
                    ++wrong;
            }
        };
        QScopedPointer<QThread> before(QThread::create(ask, utcMs("2026-10-25T00:59:59.998Z"),
                                                       QStringList{"02:59:59.998", "02:59:59.999"}));
        QScopedPointer<QThread> after(QThread::create(ask, utcMs("2026-10-25T01:00:00.000Z"),
                                                      QStringList{"02:00:00.000", "02:00:00.001"}));
        before->start();
        after->start();
        QVERIFY(before->wait(60000) && after->wait(60000));
        QCOMPARE(wrong.load(), 0);
    }
};

QTEST_GUILESS_MAIN(BusLogTest)
#include "buslogtest.moc"
