// CSV rows of decoded frames: one per parameter with the single line's
// value text and the raw number, for every message of the bundled
// catalogue; refused frames; RFC 4180 quoting.

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "codec/valueencoding.h"
#include "insight/csvwriter.h"

#include <QtTest>

namespace {

QString xmlFolder()
{
    return QStringLiteral(KWN_SOURCE_DIR "/xml");
}

// RFC 4180 read back: rows of fields, CR LF between rows.
QVector<QStringList> parseCsv(const QByteArray &csv, bool *wellFormed)
{
    *wellFormed = true;
    const QString text = QString::fromUtf8(csv);
    QVector<QStringList> rows;
    QStringList row;
    QString field;
    int i = 0;
    while (i < text.size()) {
        if (text.at(i) == QLatin1Char('"') && field.isEmpty()) {
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    *wellFormed = false;
                    return rows;
                }
                if (text.at(i) == QLatin1Char('"')) {
                    if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text.at(i++);
            }
            continue;
        }
        if (text.at(i) == QLatin1Char(',')) {
            row << field;
            field.clear();
            ++i;
        } else if (QStringView(text).mid(i, 2) == QLatin1String("\r\n")) {
            row << field;
            rows << row;
            row.clear();
            field.clear();
            i += 2;
        } else {
            if (text.at(i) == QLatin1Char('"') || text.at(i) == QLatin1Char('\n') || text.at(i) == QLatin1Char('\r'))
                *wellFormed = false; // unquoted quote or line break
            field += text.at(i++);
        }
    }
    if (!row.isEmpty() || !field.isEmpty())
        *wellFormed = false; // no line end after the last row
    return rows;
}

} // namespace

class CsvWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void header();
    void fieldQuoting_data();
    void fieldQuoting();
    void everyBundledMessage_data();
    void everyBundledMessage();
    void knownRows_data();
    void knownRows();
    void recordsAndNoise();
};

void CsvWriterTest::header()
{
    QCOMPARE(CsvWriter::header(),
             QByteArray("time,direction,source,destination,device,message,parameter,value,raw\r\n"));
}

void CsvWriterTest::fieldQuoting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("plain") << QStringLiteral("Running down") << QByteArray("Running down");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("comma") << QStringLiteral("a,b") << QByteArray("\"a,b\"");
    QTest::newRow("quote") << QStringLiteral("say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
    QTest::newRow("line feed") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
    QTest::newRow("carriage return") << QStringLiteral("a\rb") << QByteArray("\"a\rb\"");
    QTest::newRow("semicolon and brackets") << QStringLiteral("[Bit 0: x; Bit 2: y]")
                                             << QByteArray("[Bit 0: x; Bit 2: y]");
    QTest::newRow("not ASCII") << QStringLiteral("Salle \u00e0 manger") << QByteArray("Salle \xc3\xa0 manger");
}

void CsvWriterTest::fieldQuoting()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    QByteArray out;
    CsvWriter::appendField(text, out);
    QCOMPARE(out, field);
}

// Each message of each bundled device, as the device's reply with every
// other bit of its bitfields set.
void CsvWriterTest::everyBundledMessage_data()
{
    QTest::addColumn<QByteArray>("frame");
    const ProfileMap profiles = loadProfiles(xmlFolder());
    QVERIFY(!profiles.isEmpty());
    for (const QString &product : productNames(profiles)) {
        for (const QString &revision : revisionsOf(profiles, product)) {
            const ProfileDefinition profile = findProfile(profiles, product, revision);
            for (const MessageDefinition &m : messagesOfProfile(profile, false).values()) {
                QList<ParameterInput> inputs;
                for (const ParameterDefinition &p : m.parameters) {
                    ParameterInput input = defaultInput(p);
                    for (int b = 0; b < input.bitsChecked.size(); b += 2)
                        input.bitsChecked[b] = true;
                    inputs << input;
                }
                const QByteArray data = encodeParameters(m, inputs);
                QTest::addRow("%s %s: %s", qPrintable(product), qPrintable(revision), qPrintable(m.name))
                    << packFrame(m.msgId, false, quint8(data.size() + kFrameOverheadBytes), quint8(profile.nodeType),
                                 0, 0x1A2B3C, 0x000001, data);
            }
        }
    }
}

void CsvWriterTest::everyBundledMessage()
{
    QFETCH(QByteArray, frame);
    DecodeCatalogue catalogue(xmlFolder());
    CsvWriter writer(catalogue);
    QByteArray out;
    QVERIFY(writer.appendFrame(frame, "2026-12-06T22:42:16.123Z", "RX", out));
    bool wellFormed = false;
    const QVector<QStringList> rows = parseCsv(out, &wellFormed);
    QVERIFY(wellFormed);

    FrameReport report = catalogue.decodeBytes(frame);
    QVERIFY(report.productFound);
    QVector<const DecodedRow *> shown;
    for (const DecodedRow &row : report.message.rows) {
        if (row.kind != DecodedRow::LabelOnly)
            shown << &row;
    }
    QCOMPARE(rows.size(), qMax(1, shown.size()));
    QStringList single;
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList &row = rows.at(i);
        QCOMPARE(row.size(), 9);
        QCOMPARE(row.mid(0, 6), (QStringList{QStringLiteral("2026-12-06T22:42:16.123Z"), QStringLiteral("RX"),
                                             QStringLiteral("1A2B3C"), QStringLiteral("000001"), report.device,
                                             report.message.messageName}));
        if (shown.isEmpty()) {
            QCOMPARE(row.mid(6), (QStringList{QString(), QString(), QString()}));
            continue;
        }
        const DecodedRow &decoded = *shown.at(i);
        QCOMPARE(row.at(6), decoded.parameterName);
        QCOMPARE(row.at(8), decoded.hasRaw ? QString::number(decoded.rawNumber()) : QString());
        if (decoded.kind == DecodedRow::Bits) {
            QVERIFY(row.at(7).startsWith(QLatin1Char('[')) && row.at(7).endsWith(QLatin1Char(']')));
            QVERIFY2(!row.at(7).contains(QLatin1String("Bit 1:")), qPrintable(row.at(7))); // odd bits unset
        }
        single << row.at(6) + QLatin1Char('=') + row.at(7);
    }
    // The values are exactly the single line's.
    QCOMPARE(single.join(QStringLiteral(", ")), parametersText(report));

    // The rows of the report itself, uncached, are the same.
    report.time = QStringLiteral("2026-12-06T22:42:16.123Z");
    report.direction = QStringLiteral("RX");
    QByteArray direct;
    CsvWriter::appendReport(report, direct);
    QCOMPARE(direct, out);
    // And the cached rows again.
    QByteArray again;
    writer.appendFrame(frame, "2026-12-06T22:42:16.123Z", "RX", again);
    QCOMPARE(again, out);
}

void CsvWriterTest::knownRows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<QByteArray>("csv");

    QTest::newRow("bitfield and named values")
        << QStringLiteral("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20") << true
        << QByteArray(",,3A0C51,000001,QX-Drive 40,Post Motor Status,State,Running down,2\r\n"
                      ",,3A0C51,000001,QX-Drive 40,Post Motor Status,Faults,"
                      "[Bit 0: Obstacle detected; Bit 2: Limits not set],5\r\n"
                      ",,3A0C51,000001,QX-Drive 40,Post Motor Status,Last command source,Radio remote,2\r\n"
                      ",,3A0C51,000001,QX-Drive 40,Post Motor Status,Supply voltage,242,242\r\n");
    QTest::newRow("named value Speed=Normal")
        << QStringLiteral("FC F2 FD FE FF FF FD FF FF B4 FE 0A 94") << true
        << QByteArray(",,000001,000002,QX-Drive 40,Move To Position,Position,75,75\r\n"
                      ",,000001,000002,QX-Drive 40,Move To Position,Speed,Normal,1\r\n");
    QTest::newRow("string with a comma and quotes")
        << QStringLiteral("BD E4 FA FE FF FF FD FF FF 9E D3 DD 9D DD DF 9C DF DF DF DF DF DF DF DF 87 15 54") << true
        << QByteArray(",,000001,000002,Lumen Relay,Set Node Label,Label,\"a,\"\"b\"\" c        x\",\r\n");
    QTest::newRow("refused") << QStringLiteral("hello") << false << QByteArray(",,,,,,,Invalid frame.,\r\n");
    QTest::newRow("wrong length") << QStringLiteral("FF") << false
                                  << QByteArray(",,,,,,,Invalid frame length.,\r\n");
}

void CsvWriterTest::knownRows()
{
    QFETCH(QString, text);
    QFETCH(bool, parsed);
    QFETCH(QByteArray, csv);
    DecodeCatalogue catalogue(xmlFolder());
    const FrameReport report = catalogue.decodeText(text);
    QCOMPARE(report.parsed, parsed);
    QByteArray out;
    CsvWriter::appendReport(report, out);
    QCOMPARE(out, csv);
}

// Records as the Bus page holds them: frames with their time and direction,
// nothing for noise and events.
void CsvWriterTest::recordsAndNoise()
{
    DecodeCatalogue catalogue(xmlFolder());
    CsvWriter writer(catalogue);
    BusRecord sent;
    sent.kind = BusRecord::Sent;
    sent.timeUs = 1796596936123456; // 2026-12-06T22:42:16.123456Z
    sent.bytes = hexTextToBytes(QStringLiteral("FCF2FDFEFFFFFDFFFFB4FE0A94"));
    BusRecord noise = sent;
    noise.kind = BusRecord::Noise;
    QByteArray out;
    writer.appendRecord(noise, true, out);
    writer.appendRecord(eventRecord(sent.timeUs, QStringLiteral("Disconnected")), true, out);
    QCOMPARE(out, QByteArray());
    writer.appendRecord(sent, true, out);
    QCOMPARE(out, QByteArray("2026-12-06T22:42:16.123456Z,TX,000001,000002,QX-Drive 40,Move To Position,Position,75,75\r\n"
                             "2026-12-06T22:42:16.123456Z,TX,000001,000002,QX-Drive 40,Move To Position,Speed,Normal,1\r\n"));
    out.clear();
    writer.appendRecord(sent, false, out);
    QVERIFY(out.startsWith("2026-12-06T22:42:16.123Z,TX,000001,"));
}

QTEST_GUILESS_MAIN(CsvWriterTest)
#include "csvwritertest.moc"
