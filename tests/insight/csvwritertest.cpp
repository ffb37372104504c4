// CSV rows of decoded frames: one per parameter with the single line's
// value text and the raw number, for every message of the bundled
// catalogue; refused, incomplete and wrong-checksum frames with their status
// on every row; RFC 4180 quoting; no text cell that a spreadsheet would
// compute or read as a number.

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "codec/valueseries.h"
#include "codec/valueencoding.h"
#include "insight/csvwriter.h"
#include "toolrun.h"

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

// A frame of a bundled device's message between two nodes, its parameters
// given by their editor texts in order, its data cut to `dataBytes` when given.
QByteArray catalogueFrame(const QString &product, const QString &message, const QStringList &texts,
                          quint32 source, quint32 destination, int dataBytes = -1)
{
    const ProfileMap profiles = loadProfiles(xmlFolder());
    const ProfileDefinition profile = findProfile(profiles, product, revisionsOf(profiles, product).constFirst());
    for (const MessageDefinition &m : messagesOfProfile(profile, false).values()) {
        if (m.name != message)
            continue;
        QList<ParameterInput> inputs;
        for (int i = 0; i < m.parameters.size(); ++i) {
            ParameterInput input = defaultInput(m.parameters.at(i));
            input.text = texts.value(i);
            inputs << input;
        }
        QByteArray data = encodeParameters(m, inputs);
        if (dataBytes >= 0)
            data.truncate(dataBytes);
        return packFrame(m.msgId, false, quint8(data.size() + kFrameOverheadBytes), quint8(profile.nodeType), 0,
                         source, destination, data);
    }
    return QByteArray();
}

// A report whose catalogue names and device texts would all start formulas,
// with a signed number among them.
FrameReport formulaReport()
{
    FrameReport report;
    report.parsed = true;
    report.productFound = true;
    report.checksumOk = true;
    report.frame.fields.sourceAddress = 0x000E12;
    report.frame.fields.destinationAddress = 0x1E0005;
    report.device = QStringLiteral("@Drive");
    report.message.messageName = QStringLiteral("+Move");
    report.status = QStringLiteral("-status");
    report.time = QStringLiteral("=NOW()");
    report.direction = QStringLiteral("\tRX");
    DecodedRow text;
    text.parameterName = QStringLiteral("=Name");
    text.value = QStringLiteral("=HYPERLINK(\"http://x\")");
    DecodedRow number;
    number.parameterName = QStringLiteral("Offset");
    number.value = QStringLiteral("-45");
    number.raw = quint32(-45);
    number.hasRaw = number.rawIsSigned = true;
    report.message.rows << text << number;
    return report;
}

} // namespace

class CsvWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void header();
    void readsAsNumber_data();
    void readsAsNumber();
    void fieldQuoting_data();
    void fieldQuoting();
    void everyBundledMessage_data();
    void everyBundledMessage();
    void knownRows_data();
    void knownRows();
    void recordsAndNoise();
    void deviceTextsNeverFormulas();
    void plotTitles();
    void spreadsheetImport();
};

void CsvWriterTest::header()
{
    QCOMPARE(CsvWriter::header(),
             QByteArray("time,direction,source,destination,device,message,parameter,value,raw,status,checksum_ok\r\n"));
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
    // A text that would start a formula, or that a spreadsheet reads as a
    // number, goes after a ' (inside the quotes of a quoted field).
    QTest::newRow("formula") << QStringLiteral("=1+1") << QByteArray("'=1+1");
    QTest::newRow("formula, quoted") << QStringLiteral("=HYPERLINK(\"http://x\",\"y\")")
                                     << QByteArray("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
    QTest::newRow("plus") << QStringLiteral("+A1") << QByteArray("'+A1");
    QTest::newRow("minus, even a number's text") << QStringLiteral("-45") << QByteArray("'-45");
    QTest::newRow("at") << QStringLiteral("@SUM(A1)") << QByteArray("'@SUM(A1)");
    QTest::newRow("tab") << QStringLiteral("\t=1") << QByteArray("'\t=1");
    QTest::newRow("CR first") << QStringLiteral("\r=1") << QByteArray("\"'\r=1\"");
    QTest::newRow("the mark itself") << QStringLiteral("'quoted") << QByteArray("''quoted");
    QTest::newRow("reads as a number") << QStringLiteral("0042") << QByteArray("'0042");
    QTest::newRow("reads as a number, comma") << QStringLiteral("1,000") << QByteArray("\"'1,000\"");
    QTest::newRow("equals sign later") << QStringLiteral("a=1+1") << QByteArray("a=1+1");
}

void CsvWriterTest::readsAsNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("number");
    const char *const numbers[] = {"1E0005", "000E12", "12e4", "0012E4", "-45", "+1", " 42 ", "1,000", ".5", "5.",
                                   "12.5e-3", "1E+5"};
    for (const char *text : numbers)
        QTest::addRow("%s", text) << QByteArray(text) << true;
    const char *const texts[] = {"", "3A0C51", "FFFB", "0x10", "1e", "e5", ".", "-", "1st floor", "12:30",
                                 "1 000", "3.14.15", ",5"};
    for (const char *text : texts)
        QTest::addRow("not %s", text) << QByteArray(text) << false;
}

void CsvWriterTest::readsAsNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, number);
    QCOMPARE(CsvWriter::readsAsNumber(text.constData(), text.size()), number);
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
        QCOMPARE(row.size(), 11);
        QCOMPARE(row.mid(0, 6), (QStringList{QStringLiteral("2026-12-06T22:42:16.123Z"), QStringLiteral("RX"),
                                             QStringLiteral("0x1A2B3C"), QStringLiteral("0x000001"), report.device,
                                             report.message.messageName}));
        QCOMPARE(row.mid(9), (QStringList{report.status, QStringLiteral("true")}));
        if (shown.isEmpty()) {
            QCOMPARE(row.mid(6, 3), (QStringList{QString(), QString(), QString()}));
            continue;
        }
        const DecodedRow &decoded = *shown.at(i);
        QCOMPARE(row.at(6), decoded.parameterName);
        QCOMPARE(row.at(8), decoded.hasRaw ? QString::number(decoded.rawNumber()) : QString());
        // A value cell that a spreadsheet reads as a number is raw's number;
        // any other that would be read so is marked as a text.
        QString value = row.at(7);
        if (value.startsWith(QLatin1Char('\''))) {
            value.remove(0, 1);
            QVERIFY2(value != row.at(8), qPrintable(value));
        } else if (CsvWriter::readsAsNumber(row.at(7).toUtf8().constData(), row.at(7).toUtf8().size())) {
            QCOMPARE(value, row.at(8));
        }
        if (decoded.kind == DecodedRow::Bits) {
            QVERIFY(value.startsWith(QLatin1Char('[')) && value.endsWith(QLatin1Char(']')));
            QVERIFY2(!value.contains(QLatin1String("Bit 1:")), qPrintable(value)); // odd bits unset
        }
        single << row.at(6) + QLatin1Char('=') + value;
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

    const QByteArray ok = ",Frame decoded successfully.,true\r\n";
    QTest::newRow("bitfield and named values")
        << QStringLiteral("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20") << true
        << ",,0x3A0C51,0x000001,QX-Drive 40,Post Motor Status,State,Running down,2" + ok
               + ",,0x3A0C51,0x000001,QX-Drive 40,Post Motor Status,Faults,"
                 "[Bit 0: Obstacle detected; Bit 2: Limits not set],5" + ok
               + ",,0x3A0C51,0x000001,QX-Drive 40,Post Motor Status,Last command source,Radio remote,2" + ok
               + ",,0x3A0C51,0x000001,QX-Drive 40,Post Motor Status,Supply voltage,242,242" + ok;
    const QString move = QStringLiteral("FC F2 FD FE FF FF FD FF FF B4 FE 0A 94");
    QTest::newRow("named value Speed=Normal")
        << move << true
        << ",,0x000001,0x000002,QX-Drive 40,Move To Position,Position,75,75" + ok
               + ",,0x000001,0x000002,QX-Drive 40,Move To Position,Speed,Normal,1" + ok;
    QTest::newRow("wrong checksum")
        << QStringLiteral("FC F2 FD FE FF FF FD FF FF B4 FE 0A 95") << true
        << QByteArray(",,0x000001,0x000002,QX-Drive 40,Move To Position,Position,75,75,"
                      "Frame decoded successfully.,false\r\n"
                      ",,0x000001,0x000002,QX-Drive 40,Move To Position,Speed,Normal,1,"
                      "Frame decoded successfully.,false\r\n");
    // Its rows up to the end of its data, and a negative number that stays one.
    const QByteArray weather = ",,0x1E0005,0x000E12,Aerivent Sensor,Post Weather Data,";
    const QByteArray uncomplete = ",Frame is uncomplete.,true\r\n";
    QTest::newRow("incomplete")
        << frameToHexText(catalogueFrame(QStringLiteral("Aerivent Sensor"), QStringLiteral("Post Weather Data"),
                                         {QStringLiteral("100"), QStringLiteral("250"), QStringLiteral("5000"),
                                          QStringLiteral("-45")},
                                         0x1E0005, 0x000E12, 9))
        << true
        << weather + "Wind speed,100,100" + uncomplete + weather + "Gust,250,250" + uncomplete + weather
               + "Illuminance,5000,5000" + uncomplete + weather + "Outdoor temperature,-45,-45" + uncomplete;
    QTest::newRow("string with a comma and quotes")
        << QStringLiteral("BD E4 FA FE FF FF FD FF FF 9E D3 DD 9D DD DF 9C DF DF DF DF DF DF DF DF 87 15 54") << true
        << ",,0x000001,0x000002,Lumen Relay,Set Node Label,Label,\"a,\"\"b\"\" c        x\"," + ok;
    QTest::newRow("a device's label is no formula")
        << frameToHexText(catalogueFrame(QStringLiteral("Lumen Relay"), QStringLiteral("Set Node Label"),
                                         {QStringLiteral("=1+1")}, 0x000001, 0x000002))
        << true << ",,0x000001,0x000002,Lumen Relay,Set Node Label,Label,'=1+1," + ok;
    // IDs and a hexadecimal value that spreadsheets read as numbers.
    QTest::newRow("IDs and hexadecimal texts")
        << frameToHexText(catalogueFrame(QStringLiteral("Aerivent Sensor"), QStringLiteral("Post Sensor Health"),
                                         {QString(), QStringLiteral("12"), QStringLiteral("12E4")}, 0x1E0005,
                                         0x000E12))
        << true
        << ",,0x1E0005,0x000E12,Aerivent Sensor,Post Sensor Health,Status,[],0" + ok
               + ",,0x1E0005,0x000E12,Aerivent Sensor,Post Sensor Health,Heater hours,12,12" + ok
               + ",,0x1E0005,0x000E12,Aerivent Sensor,Post Sensor Health,Calibration,'12e4,4836" + ok;
    QTest::newRow("refused") << QStringLiteral("hello") << false
                             << QByteArray(",,,,,,,Invalid frame.,,Invalid frame.,false\r\n");
    QTest::newRow("wrong length") << QStringLiteral("FF") << false
                                  << QByteArray(",,,,,,,Invalid frame length.,,Invalid frame length.,false\r\n");
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
    QCOMPARE(out, QByteArray("2026-12-06T22:42:16.123456Z,TX,0x000001,0x000002,QX-Drive 40,Move To Position,"
                             "Position,75,75,Frame decoded successfully.,true\r\n"
                             "2026-12-06T22:42:16.123456Z,TX,0x000001,0x000002,QX-Drive 40,Move To Position,"
                             "Speed,Normal,1,Frame decoded successfully.,true\r\n"));
    out.clear();
    writer.appendRecord(sent, false, out);
    QVERIFY(out.startsWith("2026-12-06T22:42:16.123Z,TX,0x000001,"));
}

// Catalogue names and device texts that would start formulas, however a
// report holds them; a signed number stays a number.
void CsvWriterTest::deviceTextsNeverFormulas()
{
    const FrameReport report = formulaReport();
    QByteArray out;
    CsvWriter::appendReport(report, out);
    QCOMPARE(out, QByteArray("'=NOW(),'\tRX,0x000E12,0x1E0005,'@Drive,'+Move,'=Name,\"'=HYPERLINK(\"\"http://x\"\")\",,"
                             "'-status,true\r\n"
                             "'=NOW(),'\tRX,0x000E12,0x1E0005,'@Drive,'+Move,Offset,-45,-45,'-status,true\r\n"));
}

// The plot window's export: series titles begin with catalogue names.
void CsvWriterTest::plotTitles()
{
    SeriesKey key;
    key.sourceAddress = 0x000A1B;
    key.device = QStringLiteral("Ranger");
    key.message = QStringLiteral("Sample");
    key.parameter = QStringLiteral("=Position");
    ValueSeries formula(key);
    key.parameter = QStringLiteral("Mode");
    ValueSeries plain(key);
    const qint64 t0 = 1796596936123456; // 2026-12-06T22:42:16.123456Z
    formula.append(t0 + 1, -4);
    plain.append(t0, 1);
    QCOMPARE(CsvWriter::seriesCsv({&formula, &plain}),
             QByteArray("time,series,value,name\r\n"
                        "2026-12-06T22:42:16.123456Z,\"Mode (Ranger 000A1B, Sample)\",1,\r\n"
                        "2026-12-06T22:42:16.123457Z,\"'=Position (Ranger 000A1B, Sample)\",-4,\r\n"));
}

// The cells of the first sheet of a flat OpenDocument spreadsheet, row by
// row: "=" and the formula for a formula, "#" and the text for a number,
// else the text.
QVector<QStringList> sheetCells(const QByteArray &fods)
{
    QVector<QStringList> rows;
    QXmlStreamReader xml(fods);
    QString cell;
    int repeat = 1;
    bool inParagraph = false;
    while (!xml.atEnd()) {
        xml.readNext();
        const QString name = xml.name().toString();
        if (xml.isStartElement() && name == QLatin1String("table-row")) {
            rows.append(QStringList());
        } else if (xml.isStartElement() && name == QLatin1String("table-cell")) {
            // By local name: "table:formula", "office:value-type".
            QHash<QString, QString> a;
            for (const QXmlStreamAttribute &attribute : xml.attributes())
                a.insert(attribute.name().toString(), attribute.value().toString());
            repeat = qMax(1, a.value(QStringLiteral("number-columns-repeated")).toInt());
            cell.clear();
            if (a.contains(QStringLiteral("formula")))
                cell = QLatin1Char('=') + a.value(QStringLiteral("formula"));
            else if (a.value(QStringLiteral("value-type")) == QLatin1String("float"))
                cell = QLatin1Char('#');
        } else if (name == QLatin1String("p")) {
            if (xml.isStartElement() && inParagraph == false && !cell.isEmpty() && cell != QLatin1String("#"))
                cell += QLatin1Char('\n');
            inParagraph = xml.isStartElement();
        } else if (xml.isStartElement() && name == QLatin1String("s")) {
            int spaces = 1;
            for (const QXmlStreamAttribute &attribute : xml.attributes())
                spaces = attribute.name() == QLatin1String("c") ? attribute.value().toInt() : spaces;
            cell += QString(spaces, QLatin1Char(' '));
        } else if (xml.isStartElement() && name == QLatin1String("tab")) {
            cell += QLatin1Char('\t');
        } else if (xml.isCharacters() && inParagraph) {
            cell += xml.text().toString();
        } else if (xml.isEndElement() && name == QLatin1String("table-cell")) {
            for (int i = 0; i < repeat && rows.last().size() < 64; ++i)
                rows.last() << cell;
        } else if (xml.isEndElement() && name == QLatin1String("table")) {
            break;
        }
    }
    return rows;
}

// LibreOffice Calc's default import of the decode rows and of a plot's
// export computes no cell, and reads as numbers only the cells written as
// numbers: every other shows the text written, IDs and hexadecimal values
// included.
void CsvWriterTest::spreadsheetImport()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("soffice is not installed (libreoffice-calc-nogui): the import is not checked");
    DecodeCatalogue catalogue(xmlFolder());
    QByteArray rows = CsvWriter::header();
    const QVector<QByteArray> frames{
        catalogueFrame(QStringLiteral("Aerivent Sensor"), QStringLiteral("Post Sensor Health"),
                       {QString(), QStringLiteral("12"), QStringLiteral("12E4")}, 0x1E0005, 0x000E12),
        catalogueFrame(QStringLiteral("Aerivent Sensor"), QStringLiteral("Post Weather Data"),
                       {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("-45")},
                       0x000E12, 0x1E0005, 9),
        catalogueFrame(QStringLiteral("Lumen Relay"), QStringLiteral("Set Node Label"), {QStringLiteral("=ROW()*1000")},
                       0x000001, 0x000002),
        catalogueFrame(QStringLiteral("Lumen Relay"), QStringLiteral("Set Node Label"), {QStringLiteral("0042")},
                       0x000001, 0x000002)};
    for (const QByteArray &frame : frames)
        CsvWriter(catalogue).appendFrame(frame, "2026-12-06T22:42:16.123Z", "RX", rows);
    CsvWriter::appendReport(formulaReport(), rows);
    SeriesKey key;
    key.parameter = QStringLiteral("=Position");
    ValueSeries series(key);
    series.append(1796596936123456, -4);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QVector<QByteArray> written{rows, CsvWriter::seriesCsv({&series})};
    QStringList arguments{QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                          QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("fods"),
                          QStringLiteral("--outdir"), dir.path()};
    for (int i = 0; i < written.size(); ++i) {
        QFile file(dir.filePath(QStringLiteral("rows%1.csv").arg(i)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(written.at(i)) == written.at(i).size());
        arguments << file.fileName();
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir.path());
    const ToolRun run = runTool(soffice, arguments, dir.path(), {}, 180000, environment);
    QCOMPARE(run.exitCode, 0);

    for (int i = 0; i < written.size(); ++i) {
        QFile file(dir.filePath(QStringLiteral("rows%1.fods").arg(i)));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(QString::fromLocal8Bit(run.err)));
        const QVector<QStringList> cells = sheetCells(file.readAll());
        bool wellFormed = false;
        const QVector<QStringList> fields = parseCsv(written.at(i), &wellFormed);
        QVERIFY(wellFormed);
        QVERIFY(cells.size() >= fields.size());
        for (int r = 0; r < fields.size(); ++r) {
            for (int c = 0; c < fields.at(r).size(); ++c) {
                const QString &field = fields.at(r).at(c);
                static const QRegularExpression integer(QStringLiteral("^-?[0-9]+$"));
                const QString expected = integer.match(field).hasMatch() ? QStringLiteral("#") + field : field;
                QCOMPARE(cells.at(r).value(c), expected);
            }
        }
    }
}

QTEST_GUILESS_MAIN(CsvWriterTest)
#include "csvwritertest.moc"
