// kwn-frame stats over a generated log, and kwn-frame decode --csv.

#include "toolrun.h"

#include "codec/frame.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kSource = QStringLiteral(KWN_SOURCE_DIR);
// From node 3A0C51 (node type 2): Post Motor Status, 16 bytes.
const QByteArray kMotorStatus = "F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20";
// The same with its checksum one off.
const QByteArray kBadStatus = "F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C21";
// From node 000001 (node type 0): Move To Position, 13 bytes.
const QByteArray kMove = "FCF2FDFEFFFFFDFFFFB4FE0A94";

ToolRun run(const QStringList &arguments, const QByteArray &input = {})
{
    return runTool(QStringLiteral(KWN_CLI_PATH), arguments, kSource, input);
}

QByteArray timeText(int ms)
{
    // From 2026-12-06T23:00:00.000Z on, within the hour.
    return QStringLiteral("2026-12-06T23:%1:%2.%3Z")
        .arg(ms / 60000, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'))
        .toLatin1();
}

// 100 frames 100 ms apart, the motor's at even places (RX) and the
// controller's at odd ones (TX); after the 51st a frame with a bad
// checksum, four noise bytes, an event, another comment and a line that is
// no frame.
QByteArray generatedLog()
{
    QByteArray log;
    for (int i = 0; i < 100; ++i) {
        log += timeText(i * 100) + (i % 2 == 0 ? " RX " + kMotorStatus : " TX " + kMove) + '\n';
        if (i == 50) {
            log += timeText(5050) + " RX " + kBadStatus + '\n';
            log += "# " + timeText(5060) + " noise: 00FF00FF\n";
            log += "# " + timeText(5070) + " event: Connected to /dev/ttyUSB0\n";
            log += "# a remark\n";
            log += "not a frame\n";
        }
    }
    return log;
}

QByteArray motorAt(const QByteArray &time)
{
    return time + " RX " + kMotorStatus + '\n';
}

QByteArray moveAt(const QByteArray &time)
{
    return time + " TX " + kMove + '\n';
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class StatsCliTest : public QObject
{
    Q_OBJECT

private slots:
    void statsJson_data();
    void statsJson();
    void statsText();
    void statsReadsCaptures();
    void statsTimes_data();
    void statsTimes();
    void statsLeftOut();
    void filtered();
    void statsFailures_data();
    void statsFailures();
    void decodeCsv_data();
    void decodeCsv();
};

void StatsCliTest::statsJson_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<double>("baud");
    QTest::addColumn<double>("bitsPerByte");
    QTest::newRow("9600 8N1 by default") << QStringList() << 9600.0 << 10.0;
    QTest::newRow("19200 8E1") << QStringList{"--baud", "19200", "--parity", "even"} << 19200.0 << 11.0;
    QTest::newRow("2400 7N2") << QStringList{"--baud", "2400", "--data-bits", "7", "--stop-bits", "2"} << 2400.0
                              << 10.0;
    QTest::newRow("9600 8O1.5") << QStringList{"--parity", "odd", "--stop-bits", "1.5"} << 9600.0 << 11.5;
}

void StatsCliTest::statsJson()
{
    QFETCH(QStringList, options);
    QFETCH(double, baud);
    QFETCH(double, bitsPerByte);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, generatedLog()));
    const ToolRun r = run(QStringList{"stats", "--json"} + options + QStringList{log});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray("kwn-frame: 1 line(s) were no frame\n"));
    QJsonParseError error;
    const QJsonObject all = QJsonDocument::fromJson(r.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    // 50 × 16 + 50 × 13 + 16 frame bytes and 4 of noise; the span from the
    // first bit of the first 16-byte frame to 9.9 s later.
    const double seconds = 9.9 + 16 * bitsPerByte / baud;
    const double load = 100.0 * (1470 * bitsPerByte / baud) / seconds;
    QCOMPARE(all.value("frames").toInt(), 101);
    QCOMPARE(all.value("badChecksums").toInt(), 1);
    QCOMPARE(all.value("noiseBytes").toInt(), 4);
    QCOMPARE(all.value("first").toString(), QStringLiteral("2026-12-06T23:00:00.000Z"));
    QCOMPARE(all.value("last").toString(), QStringLiteral("2026-12-06T23:00:09.900Z"));
    QVERIFY2(qAbs(all.value("seconds").toDouble() - seconds) < 1e-6, qPrintable(QString::number(seconds)));
    QVERIFY(qAbs(all.value("framesPerSecond").toDouble() - 101 / seconds) < 0.001);
    QVERIFY2(qAbs(all.value("busLoad").toDouble() - load) < 0.001, qPrintable(QString::number(load)));

    const QJsonArray nodes = all.value("nodes").toArray();
    QCOMPARE(nodes.size(), 2);
    const QJsonObject controller = nodes.at(0).toObject();
    const QJsonObject motor = nodes.at(1).toObject();
    QCOMPARE(controller.value("node").toString(), QStringLiteral("000001"));
    QCOMPARE(controller.value("nodeType").toInt(), 0);
    // The controller's frames are decoded as the drive's: no device of its own.
    QCOMPARE(controller.value("device").toString(), QString());
    QCOMPARE(controller.value("frames").toInt(), 50);
    QCOMPARE(controller.value("bytes").toInt(), 650);
    QCOMPARE(controller.value("first").toString(), QStringLiteral("2026-12-06T23:00:00.100Z"));
    QCOMPARE(controller.value("last").toString(), QStringLiteral("2026-12-06T23:00:09.900Z"));
    QCOMPARE(controller.value("messages").toObject(), (QJsonObject{{"Move To Position", 50}}));
    QVERIFY(qAbs(controller.value("framesPerSecond").toDouble() - 50 / seconds) < 0.001);
    QCOMPARE(motor.value("node").toString(), QStringLiteral("3A0C51"));
    QCOMPARE(motor.value("nodeType").toInt(), 2);
    QCOMPARE(motor.value("frames").toInt(), 50); // the bad frame is not the node's
    QCOMPARE(motor.value("bytes").toInt(), 800);
    QCOMPARE(motor.value("first").toString(), QStringLiteral("2026-12-06T23:00:00.000Z"));
    QCOMPARE(motor.value("last").toString(), QStringLiteral("2026-12-06T23:00:09.800Z"));
    QCOMPARE(motor.value("messages").toObject(), (QJsonObject{{"Post Motor Status", 50}}));
}

// A capture made of a log gives the same figures as the log, told apart
// by content and not by name.
void StatsCliTest::statsReadsCaptures()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    const QString capture = dir.filePath(QStringLiteral("bus.pcap"));
    const QString unnamed = dir.filePath(QStringLiteral("bus.bin"));
    QVERIFY(writeFile(log, generatedLog().replace("not a frame\n", "")));
    QCOMPARE(run({"convert", log, capture}).exitCode, 0);
    QVERIFY(QFile::copy(capture, unnamed));
    const ToolRun fromLog = run({"stats", "--json", log});
    QCOMPARE(fromLog.exitCode, 0);
    QVERIFY(fromLog.out.contains("\"badChecksums\":1"));
    for (const QString &file : {capture, unnamed}) {
        const ToolRun fromCapture = run({"stats", "--json", file});
        QCOMPARE(fromCapture.exitCode, 0);
        QCOMPARE(fromCapture.out, fromLog.out);
    }
}

// The same log in two files gives twice the counts; the table is aligned.
void StatsCliTest::statsText()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, generatedLog()));
    const ToolRun r = run({"stats", log});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    QVERIFY(lines.size() > 12);
    QCOMPARE(lines.at(0).simplified(), QStringLiteral("Frames 101"));
    // 14,700 bits take 1.53125 s at 9600 baud, over 9.9 s and 16 bytes.
    QCOMPARE(lines.at(7).simplified(), QStringLiteral("Bus load 15.441 %"));
    const int header = lines.indexOf(QRegularExpression(QStringLiteral("Node .*")));
    QVERIFY(header > 0);
    // Every column starts where its heading does.
    const QString heading = lines.at(header);
    for (int row = header + 1; row <= header + 2; ++row) {
        for (const char *column : {"Type", "Device", "Frames", "Bytes", "Frames/s", "First", "Last", "Messages"}) {
            const int at = heading.indexOf(QLatin1String(column));
            QVERIFY2(at > 0 && lines.at(row).at(at - 1) == QLatin1Char(' ') && lines.at(row).at(at) != QLatin1Char(' '),
                     qPrintable(lines.at(row)));
        }
    }
    QVERIFY(lines.at(header + 1).startsWith(QLatin1String("000001  0     -")));
    QVERIFY(lines.at(header + 2).endsWith(QLatin1String("Post Motor Status: 50")));

    const ToolRun twice = run({"stats", "--json", log, log});
    QCOMPARE(QJsonDocument::fromJson(twice.out).object().value("frames").toInt(), 202);
}

// The span runs from the earliest time to the latest, whatever order the
// logs and their lines come in; a clock that steps back within a log is said.
// A 16-byte frame takes 16.666667 ms at 9600 8N1, a 13-byte one 13.541667 ms.
void StatsCliTest::statsTimes_data()
{
    QTest::addColumn<QList<QByteArray>>("logs");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("framesPerSecond");
    QTest::addColumn<double>("busLoad");
    QTest::addColumn<int>("stepsBack");
    QTest::addColumn<double>("largestStepBack");
    QTest::addColumn<QString>("stepsLine"); // of the text output; "" for none

    // A day and 300 s; 64 bytes are nothing in it. The second log starting
    // before the first ended is no step of a clock.
    QTest::newRow("day 2 before day 1")
        << QList<QByteArray>{motorAt("2026-12-07T23:00:00.000Z") + motorAt("2026-12-07T23:05:00.000Z"),
                             motorAt(timeText(0)) + motorAt(timeText(300000))}
        << "2026-12-06T23:00:00.000Z" << "2026-12-07T23:05:00.000Z" << 86700.016667 << 0.0 << 0.0 << 0 << 0.0
        << QString();
    // From the first bit of the move at 0 (13 bytes) to 10.1 s: 10.113542 s;
    // 58 bytes take 60.416667 ms of it, 0.597 %; 4 frames, 0.396 a second.
    QTest::newRow("clock set back 10.1 s")
        << QList<QByteArray>{motorAt(timeText(10000)) + motorAt(timeText(10100)) + moveAt(timeText(0))
                             + moveAt(timeText(100))}
        << "2026-12-06T23:00:00.000Z" << "2026-12-06T23:00:10.100Z" << 10.113542 << 0.396 << 0.597 << 1 << 10.1
        << "Clock steps back 1 time(s), by up to 10.100000 s";
    // A frame told of 100 ms late: 1.016667 s, 66.666667 ms of frames.
    QTest::newRow("told of late")
        << QList<QByteArray>{motorAt(timeText(0)) + motorAt(timeText(500)) + motorAt(timeText(400))
                             + motorAt(timeText(1000))}
        << "2026-12-06T23:00:00.000Z" << "2026-12-06T23:00:01.000Z" << 1.016667 << 3.934 << 6.557 << 0 << 0.0
        << QString();
}

void StatsCliTest::statsTimes()
{
    QFETCH(QList<QByteArray>, logs);
    QFETCH(QString, stepsLine);
    QTemporaryDir dir;
    QStringList paths;
    for (const QByteArray &log : logs) {
        paths << dir.filePath(QStringLiteral("day%1.log").arg(paths.size()));
        QVERIFY(writeFile(paths.last(), log));
    }
    const ToolRun r = run(QStringList{"stats", "--json"} + paths);
    QCOMPARE(r.exitCode, 0);
    const QJsonObject all = QJsonDocument::fromJson(r.out).object();
    QTEST(all.value("first").toString(), "first");
    QTEST(all.value("last").toString(), "last");
    QTEST(all.value("seconds").toDouble(), "seconds");
    QTEST(all.value("framesPerSecond").toDouble(), "framesPerSecond");
    QTEST(all.value("busLoad").toDouble(), "busLoad");
    QTEST(all.value("clockStepsBack").toInt(), "stepsBack");
    QTEST(all.value("largestStepBackSeconds").toDouble(), "largestStepBack");
    QCOMPARE(all.value("nodes").toArray().first().toObject().value("first").toString(), all.value("first").toString());

    const QStringList lines = QString::fromUtf8(run(QStringList{"stats"} + paths).out).split(QLatin1Char('\n'));
    const QStringList said = lines.filter(QStringLiteral("Clock steps back"));
    QCOMPARE(said.isEmpty() ? QString() : said.first().simplified(), stepsLine);
}

// Past --max-nodes a node has no row: counted as left out, its frames too.
void StatsCliTest::statsLeftOut()
{
    const QByteArray other = frameToHexText(packFrame(0x10, false, kFrameOverheadBytes + 2, 2, 0, 0x0A0B0C, 0x000001,
                                                      QByteArray("\x01\x02", 2)))
                                 .toLatin1();
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, motorAt(timeText(0)) + moveAt(timeText(100)) + moveAt(timeText(200)) + timeText(300)
                               + " RX " + other + '\n' + motorAt(timeText(400))));
    const QJsonObject all = QJsonDocument::fromJson(run({"stats", "--json", "--max-nodes", "1", log}).out).object();
    QCOMPARE(all.value("frames").toInt(), 5);
    QCOMPARE(all.value("nodesLeftOut").toInt(), 2);
    QCOMPARE(all.value("framesLeftOut").toInt(), 3);
    QCOMPARE(all.value("maxNodes").toInt(), 1);
    const QJsonArray nodes = all.value("nodes").toArray();
    QCOMPARE(nodes.size(), 1);
    QCOMPARE(nodes.at(0).toObject().value("node").toString(), QStringLiteral("3A0C51"));
    QCOMPARE(nodes.at(0).toObject().value("frames").toInt(), 2);

    const QStringList lines = QString::fromUtf8(run({"stats", "--max-nodes", "1", log}).out).split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("Nodes left out  2, with 3 frame(s); the table keeps 1 (--max-nodes)")));
    const QJsonObject unbound = QJsonDocument::fromJson(run({"stats", "--json", log}).out).object();
    QCOMPARE(unbound.value("nodes").toArray().size(), 3);
    QVERIFY(!unbound.contains("nodesLeftOut"));
}

// --filter: stats counts the frames selected, the load stays the whole
// bus's; convert writes those frames alone.
void StatsCliTest::filtered()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, generatedLog()));
    const ToolRun r = run(QStringList{"stats", "--json", "--filter", "direction == \"RX\"", log});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject all = QJsonDocument::fromJson(r.out).object();
    const double seconds = 9.9 + 16 * 10 / 9600.0;
    QCOMPARE(all.value("frames").toInt(), 51);
    QCOMPARE(all.value("badChecksums").toInt(), 1);
    QCOMPARE(all.value("noiseBytes").toInt(), 4);
    QVERIFY(qAbs(all.value("framesPerSecond").toDouble() - 51 / seconds) < 0.001);
    QVERIFY(qAbs(all.value("busLoad").toDouble() - 100.0 * (1470 * 10 / 9600.0) / seconds) < 0.001);
    const QJsonArray nodes = all.value("nodes").toArray();
    QCOMPARE(nodes.size(), 1);
    QCOMPARE(nodes.at(0).toObject().value("node").toString(), QStringLiteral("3A0C51"));
    QCOMPARE(nodes.at(0).toObject().value("frames").toInt(), 50);

    const ToolRun refused = run(QStringList{"stats", "--filter", "[Position] >", log});
    QCOMPARE(refused.exitCode, 2);
    QCOMPARE(refused.out, QByteArray());
    QCOMPARE(refused.err, QByteArray("kwn-frame: filter: expected a value after \">\" at column 13\n"));

    const QString out = dir.filePath(QStringLiteral("moves.log"));
    const ToolRun converted = run(QStringList{"convert", "--filter", "[Position] == 75 and direction == \"TX\"", log, out});
    QCOMPARE(converted.exitCode, 1); // the line that is no frame
    QFile written(out);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = written.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 50);
    QCOMPARE(lines.at(1), timeText(300) + " TX " + kMove);
}

void StatsCliTest::statsFailures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no log") << QStringList{"stats"} << 2;
    QTest::newRow("missing log") << QStringList{"stats", "/nonexistent/bus.log"} << 1;
    QTest::newRow("bad parity") << QStringList{"stats", "--parity", "maybe", "x.log"} << 2;
    QTest::newRow("a port") << QStringList{"stats", "--port", "ttyUSB0", "x.log"} << 2;
    QTest::newRow("no room") << QStringList{"stats", "--max-nodes", "0", "x.log"} << 2;
    QTest::newRow("more nodes than IDs") << QStringList{"stats", "--max-nodes", "16777217", "x.log"} << 2;
}

void StatsCliTest::statsFailures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    const ToolRun r = run(arguments);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.startsWith("kwn-frame: "));
}

void StatsCliTest::decodeCsv_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("csv"); // after the header
    QTest::addColumn<int>("exitCode");

    const QByteArray move = ",0x000001,0x000002,QX-Drive 40,Move To Position,Position,75,75,"
                            "Frame decoded successfully.,true\r\n"
                            ",0x000001,0x000002,QX-Drive 40,Move To Position,Speed,Normal,1,"
                            "Frame decoded successfully.,true\r\n";
    QTest::newRow("log lines") << QStringList() << "2026-12-06T23:00:00.000Z TX " + kMove + "\n"
                               << "2026-12-06T23:00:00.000Z,TX" + move.left(move.indexOf('\n') + 1)
                                      + "2026-12-06T23:00:00.000Z,TX" + move.mid(move.indexOf('\n') + 1)
                               << 0;
    QByteArray wrong = move;
    wrong.replace("true", "false");
    QTest::newRow("a wrong checksum") << QStringList()
                                      << QByteArray("2026-12-06T23:00:00.000Z TX FCF2FDFEFFFFFDFFFFB4FE0A95\n")
                                      << "2026-12-06T23:00:00.000Z,TX" + wrong.left(wrong.indexOf('\n') + 1)
                                             + "2026-12-06T23:00:00.000Z,TX" + wrong.mid(wrong.indexOf('\n') + 1)
                                      << 0;
    QTest::newRow("plain, spaced, lower case, CR LF")
        << QStringList() << QByteArray("fc f2 fd fe ff ff fd ff ff b4 fe 0a 94\r\n")
        << "," + move.left(move.indexOf('\n') + 1) + "," + move.mid(move.indexOf('\n') + 1) << 0;
    QTest::newRow("comments, noise and events left out")
        << QStringList()
        << QByteArray("# 2026-12-06T23:00:00.000Z noise: 00FF\n  # 2026-12-06T23:00:00.100Z event: Disconnected\n\n")
        << QByteArray() << 0;
    QTest::newRow("a refused line") << QStringList() << QByteArray("2026-12-06T23:00:00.000Z RX 12 34 zz\nhello\n")
                                    << QByteArray("2026-12-06T23:00:00.000Z,RX,,,,,,Invalid frame length.,,"
                                                  "Invalid frame length.,false\r\n"
                                                  ",,,,,,,Invalid frame.,,Invalid frame.,false\r\n")
                                    << 1;
    QTest::newRow("a time to quote") << QStringList() << "2026-12-06T23:00:00,5Z RX " + kMove + "\n"
                                     << "\"2026-12-06T23:00:00,5Z\",RX" + move.left(move.indexOf('\n') + 1)
                                            + "\"2026-12-06T23:00:00,5Z\",RX" + move.mid(move.indexOf('\n') + 1)
                                     << 0;
    QTest::newRow("arguments") << QStringList{QString::fromLatin1(kMove), QStringLiteral("xyz")} << QByteArray()
                               << "," + move.left(move.indexOf('\n') + 1) + "," + move.mid(move.indexOf('\n') + 1)
                                      + ",,,,,,,Invalid frame.,,Invalid frame.,false\r\n"
                               << 1;
}

void StatsCliTest::decodeCsv()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, csv);
    QFETCH(int, exitCode);
    const ToolRun r = run(QStringList{"decode", "--csv"} + arguments, input);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, "time,direction,source,destination,device,message,parameter,value,raw,status,checksum_ok\r\n"
                        + csv);
}

QTEST_GUILESS_MAIN(StatsCliTest)
#include "statsclitest.moc"
