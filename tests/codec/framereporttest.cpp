// The decoding entry point: the reports of every kind of parameter in every
// style, kept as golden output (tests/data/codec/reports.txt, of the lines of
// report-inputs.txt); JSON exactly what Qt writes; the plain-frame path and
// input given apart writing the very bytes of the general way; and a
// catalogue that sees its files edited while it runs.

#include "codec/buslog.h"
#include "codec/framereport.h"
#include "support/datarows.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

const QString kReports = QStringLiteral(KWN_TEST_DATA "/codec/reports/xml");
const QList<ReportStyle> kStyles{ReportStyle::Blocks, ReportStyle::SingleLine, ReportStyle::Json};

// A motor status of the sample drive: its last parameter is "Supply voltage".
const QString kMotorStatus = QStringLiteral("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");

// Qt reads the JSON line back and writes it again byte for byte.
void checkJson(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, text.constData());
    QCOMPARE(document.toJson(QJsonDocument::Compact) + '\n', text);
}

// The report of a line (of a bus log line, its frame with its time and
// direction) in one style, appended to `all`, after checking it against
// every other way of writing it.
void writeReport(DecodeCatalogue &catalogue, const QString &line, ReportStyle style, QByteArray &all)
{
    const BusLogLine logged = parseBusLogLine(line);
    const QByteArray input = (logged.time.isEmpty() ? line : logged.frameText).toUtf8();
    FrameReport r = catalogue.decodeText(QString::fromUtf8(input));
    r.time = logged.time;
    r.direction = logged.direction;
    QString text;
    appendReport(style, r, text);
    const QByteArray utf8 = text.toUtf8();
    all += utf8;
    QByteArray other;
    if (catalogue.appendPlainFrameReport(style, input.constData(), input.size(), other, logged.time.toUtf8(),
                                         logged.direction.toUtf8()))
        QCOMPARE(other, utf8);
    if (isEchoedUtf8Text(input.constData(), input.size())) {
        FrameReport apart = r;
        apart.input.clear();
        other = "before\n";
        appendReportUtf8(style, apart, input.constData(), input.size(), other);
        QCOMPARE(other, "before\n" + utf8);
    }
    if (style == ReportStyle::Json)
        return checkJson(utf8);
    // No character read from the data that is not shown as itself is
    // written as it is (names are the catalogue's).
    for (const DecodedRow &row : r.message.rows) {
        for (const QChar c : row.namedForm || row.kind != DecodedRow::Value ? QString() : parameterValueText(row)) {
            const ushort u = c.unicode();
            QVERIFY2(u >= 0x20 && u != 0x7F && !(u >= 0x80 && u < 0xA0) && u != 0xAD && !c.isSurrogate(),
                     qPrintable(QStringLiteral("U+%1 written as it is").arg(u, 4, 16, QLatin1Char('0'))));
        }
    }
    const QString parameters = parametersText(r);
    if (style == ReportStyle::SingleLine && !parameters.isEmpty())
        QVERIFY2(text.endsWith(" | " + parameters + '\n'), qPrintable(text));
}

} // namespace

class FrameReportTest : public QObject
{
    Q_OBJECT

private slots:
    // To see a change of these reports, run with KWN_UPDATE_GOLDEN=1 and
    // read the difference of reports.txt.
    void goldenReports()
    {
        DecodeCatalogue catalogue(kReports);
        QByteArray all;
        for (const QStringList &row : readDataRows(QStringLiteral("codec/report-inputs.txt"))) {
            all += "## " + row[0].toUtf8() + '\n';
            for (const ReportStyle style : kStyles) {
                writeReport(catalogue, unescaped(row[1]), style, all);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable(row[0]));
            }
        }
        QString noise;
        appendNoise(ReportStyle::Json, QByteArray::fromHex("00FF"), QStringLiteral("2026-12-06T22:42:16.123Z"), noise);
        appendNoise(ReportStyle::SingleLine, "\x0A", QStringLiteral("2026-12-06T22:42:16.123Z"), noise);
        appendNoise(ReportStyle::Blocks, "\x0B", QString(), noise);
        compareGolden(QStringLiteral("codec/reports.txt"), all + "## noise\n" + noise.toUtf8());
    }

    // Every character up to U+02FF and lone surrogates in the input, and
    // random data putting every character into the decoded strings of the
    // sample catalogue's messages.
    void jsonIsWhatQtWrites()
    {
        DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QString every;
        for (ushort u = 0; u < 0x300; ++u)
            every += QChar(u);
        QStringList inputs{every + kMotorStatus, QString(QChar(0xD800)) + QChar(0xDC00) + QChar(0xD83D) + kMotorStatus};
        QRandomGenerator random(21);
        for (int round = 0; round < 300; ++round) {
            QByteArray frame(int(9 + random.bounded(kMaxDataBytes + 1)), Qt::Uninitialized);
            for (char &c : frame)
                c = char(random.bounded(256));
            frame[1] = char(~quint8(frame.size() + 2));
            const quint16 sum = frameChecksum(frame);
            inputs << frameToHexText(frame.append(char(sum >> 8)).append(char(sum & 0xFF)));
        }
        for (const QString &input : qAsConst(inputs)) {
            FrameReport r = catalogue.decodeText(input);
            r.time = QStringLiteral("T");
            r.direction = QStringLiteral("RX");
            QString text;
            appendReport(ReportStyle::Json, r, text);
            checkJson(text.toUtf8());
            QCOMPARE(QJsonDocument::fromJson(text.toUtf8()).object().value("status").toString(), r.status);
        }
    }

    // Long inputs, escapes past a block: written straight from their bytes,
    // escaped and trimmed as each style does, the very bytes of the report
    // holding them as a QString.
    void inputGivenApart()
    {
        DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        const QByteArray frame = kMotorStatus.toLatin1();
        for (const QByteArray &input : QList<QByteArray>{frame + QByteArray(3000, 'A'), "\t" + QByteArray(70000, 'A') + "\"" + frame,
                                                       QByteArray("\x01\"").repeated(40000) + frame}) {
            for (const ReportStyle style : kStyles) {
                QByteArray all;
                writeReport(catalogue, QString::fromUtf8(input), style, all);
            }
        }
        QVERIFY(isPlainAsciiText("a~b", 3));
        for (const char *text : {"a\"b", "a\\b", "a\tb", "\xC3\xA9"})
            QVERIFY2(!isPlainAsciiText(text, int(strlen(text))), text);
    }

    // Text is echoed as its bytes exactly when converting it to a QString and
    // back gives the same bytes; a byte order mark first is left to the
    // general way.
    void echoedUtf8Text_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray run(64, 'A');
        for (const QByteArray &end : QList<QByteArray>{QByteArray("~"), QByteArray("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"),
                                      QByteArray("\xEF\xBB\xBF"), QByteArray("\xC0\x80"), QByteArray("\xE0\x9F\xBF"),
                                      QByteArray("\xF0\x8F\xBF\xBF"), QByteArray("\xED\xA0\x80\xED\xB0\x80"),
                                      QByteArray("\xED\x9F\xBF"), QByteArray("\xF4\x90\x80\x80"),
                                      QByteArray("\xF8\x88\x80\x80\x80"), QByteArray("\x80") + run, QByteArray("\xE2\x82")}) {
            QTest::addRow("run, then %s", end.toHex().constData()) << run + end;
            QTest::addRow("%s, then a run", end.toHex().constData()) << end + run;
        }
        for (int b = 0x80; b < 0x100; ++b) {
            QTest::addRow("lead %02x, then ASCII", b) << run + char(b) + "AAA";
            QTest::addRow("lead %02x before continuations", b) << run + char(b) + "\x80\x80\x80" + run;
        }
    }
    void echoedUtf8Text()
    {
        QFETCH(QByteArray, text);
        const bool same = QString::fromUtf8(text.constData(), text.size()).toUtf8() == text;
        QCOMPARE(isEchoedUtf8Text(text.constData(), text.size()), same && !text.startsWith("\xEF\xBB\xBF"));
    }

    // Each decode sees the files as they are once the recheck interval has
    // passed; within it the files are not looked at again.
    void catalogueSeesChangedFiles_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("afterRecheck");
        QTest::newRow("message file edited") << "edit message" << 0 << "Supply EDITED=242" << "Supply EDITED=242";
        QTest::newRow("profile file edited") << "edit profile" << 0 << "| QX-Drive 41 |" << "| QX-Drive 41 |";
        QTest::newRow("message file deleted") << "delete message" << 0 << "Unknown message" << "Unknown message";
        QTest::newRow("folder deleted") << "delete folder" << 0 << "No product found" << "No product found";
        QTest::newRow("folder deleted, within the interval")
            << "delete folder" << 60000 << "Supply voltage=242" << "No product found";
    }
    void catalogueSeesChangedFiles()
    {
        QFETCH(QString, change);
        QFETCH(int, intervalMs);
        QFETCH(QString, expected);
        QFETCH(QString, afterRecheck);
        QTemporaryDir dir;
        const QString xml = dir.filePath(QStringLiteral("xml")), motor = xml + "/standard/standard_motor_msg.xml";
        QVERIFY(QDir().mkpath(xml + "/standard"));
        for (const QString &file : {QStringLiteral("/qx-drive-40_2.xml"), QStringLiteral("/standard/standard_motor_msg.xml"),
                                    QStringLiteral("/standard/standard_msg.xml")})
            QVERIFY(QFile::copy(QStringLiteral(KWN_SOURCE_DIR "/xml") + file, xml + file));
        DecodeCatalogue catalogue(xml);
        catalogue.setRecheckIntervalMs(intervalMs);
        QVERIFY(singleLineText(catalogue.decodeText(kMotorStatus)).contains(QStringLiteral("Supply voltage=242")));
        // Edited as editors and sed -i do: a new file renamed over the old one.
        const auto edit = [](const QString &path, const QByteArray &before, const QByteArray &after) {
            QFile in(path);
            const QByteArray text = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
            QFile out(path + ".new");
            return text.contains(before) && out.open(QIODevice::WriteOnly) && out.write(QByteArray(text).replace(before, after)) > 0
                && out.flush() && QFile::remove(path) && QFile::rename(path + ".new", path);
        };
        if (change == "edit message")
            QVERIFY(edit(motor, "\"Supply voltage\"", "\"Supply EDITED\""));
        else if (change == "edit profile")
            QVERIFY(edit(xml + "/qx-drive-40_2.xml", "QX-Drive 40", "QX-Drive 41"));
        else if (change == "delete message")
            QVERIFY(QFile::remove(motor));
        else
            QVERIFY(QDir(xml).removeRecursively());
        const QString after = singleLineText(catalogue.decodeText(kMotorStatus));
        QVERIFY2(after.contains(expected), qPrintable(after));
        catalogue.recheck();
        const QString rechecked = singleLineText(catalogue.decodeText(kMotorStatus));
        QVERIFY2(rechecked.contains(afterRecheck), qPrintable(rechecked));
    }
};

QTEST_GUILESS_MAIN(FrameReportTest)
#include "framereporttest.moc"
