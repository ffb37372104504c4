// CSV rows of decoded frames, RFC 4180 quoting, and no cell a spreadsheet
// would compute or read as a number (checked against LibreOffice's import).

#include "codec/valueseries.h"
#include "insight/csvwriter.h"
#include "support/busrecords.h"
#include "support/datarows.h"
#include "support/tablerows.h"
#include "cataloguefiles.h"
#include "toolrun.h"

#include <QtTest>

namespace {

const QString kXml = QStringLiteral(KWN_SOURCE_DIR "/xml");

// RFC 4180 read back: rows of fields, each row ended by CR LF; none when
// the text is not so made.
QVector<QStringList> parseCsv(const QByteArray &csv)
{
    static const QRegularExpression field(QStringLiteral("\"((?:[^\"]|\"\")*)\"(,|\r\n)|([^\",\r\n]*)(,|\r\n)"));
    const QString text = QString::fromUtf8(csv);
    QVector<QStringList> rows{{}};
    for (int at = 0; at < text.size();) {
        const QRegularExpressionMatch m =
            field.match(text, at, QRegularExpression::NormalMatch, QRegularExpression::AnchoredMatchOption);
        if (!m.hasMatch())
            return {};
        const bool quoted = m.capturedStart(1) >= 0;
        rows.last() << (quoted ? m.captured(1).replace(QStringLiteral("\"\""), QStringLiteral("\"")) : m.captured(3));
        if (m.captured(quoted ? 2 : 4) == QLatin1String("\r\n"))
            rows << QStringList();
        at = m.capturedEnd();
    }
    rows.removeLast();
    return rows;
}

// A report whose catalogue names and device texts would all start formulas,
// with a signed number among them.
FrameReport formulaReport()
{
    FrameReport report;
    report.parsed = report.productFound = report.checksumOk = true;
    report.frame.fields.sourceAddress = 0x000E12, report.frame.fields.destinationAddress = 0x1E0005;
    report.device = QStringLiteral("@Drive"), report.message.messageName = QStringLiteral("+Move");
    report.status = QStringLiteral("-status"), report.time = QStringLiteral("=NOW()"), report.direction = QStringLiteral("\tRX");
    DecodedRow text, number;
    text.parameterName = QStringLiteral("=Name"), text.value = QStringLiteral("=HYPERLINK(\"http://x\")");
    number.parameterName = QStringLiteral("Offset"), number.value = QStringLiteral("-45"), number.raw = quint32(-45);
    number.hasRaw = number.rawIsSigned = true;
    report.message.rows << text << number;
    return report;
}

// The frame texts of csvwriter-frames.txt.
QList<QByteArray> frameLines()
{
    QList<QByteArray> lines;
    for (const QStringList &row : readDataRows(QStringLiteral("insight/csvwriter-frames.txt")))
        lines << row[0].toLatin1();
    return lines;
}

// The header, the rows of frameLines() (each one's text in the time column)
// and those of formulaReport().
QByteArray frameRows()
{
    DecodeCatalogue catalogue(kXml);
    QByteArray out = CsvWriter::header();
    for (const QByteArray &line : frameLines()) {
        FrameReport report = catalogue.decodeText(QString::fromLatin1(line));
        report.time = QString::fromLatin1(line);
        CsvWriter::appendReport(report, out);
    }
    CsvWriter::appendReport(formulaReport(), out);
    return out;
}

// The plot window's export: series titles begin with catalogue names.
QByteArray seriesRows()
{
    SeriesKey key{0x000A1B, QStringLiteral("Ranger"), 0, QStringLiteral("Sample"), QStringLiteral("=Position")};
    ValueSeries formula(key);
    key.parameter = QStringLiteral("Mode");
    ValueSeries plain(key);
    formula.append(1796596936123457, -4);
    plain.append(1796596936123456, 1); // 2026-12-06T22:42:16.123456Z
    return CsvWriter::seriesCsv({&formula, &plain});
}

} // namespace

class CsvWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void fields_data() { tablerows::addRows("insight/csvwriter-fields.table"); }
    void fields()
    {
        QFETCH(QByteArrayList, cells);
        QByteArray out;
        CsvWriter::appendField(QString::fromUtf8(cells.at(0)), out);
        QCOMPARE(out, cells.at(1));
        QCOMPARE(CsvWriter::readsAsNumber(cells.at(0).constData(), cells.at(0).size()), cells.at(2) == "yes");
    }

    // The rows of known frames and of a report of formulas; of records,
    // to the µs or the ms, none for noise and events; of plotted series.
    void rows()
    {
        DecodeCatalogue catalogue(kXml);
        CsvWriter writer(catalogue);
        QByteArray out = frameRows();
        const BusRecord sent = busRecords(QStringLiteral("tx@1796596936123456:FCF2FDFEFFFFFDFFFFB4FE0A94")).at(0);
        for (const BusRecord &record : {busRecord(BusRecord::Noise, 1, sent.bytes), eventRecord(1, QStringLiteral("x")), sent})
            writer.appendRecord(record, true, out);
        writer.appendRecord(sent, false, out);
        compareGolden(QStringLiteral("insight/csvwriter.golden"), out + seriesRows());
    }

    // A frame's rows are the same written from its bytes, cached or not, as
    // from its report; a value marked as text reads as the single line's value.
    void sameRowsEveryWay()
    {
        DecodeCatalogue catalogue(kXml);
        CsvWriter writer(catalogue);
        for (const QByteArray &line : frameLines()) {
            const QByteArray frame = QByteArray::fromHex(line);
            FrameReport report = catalogue.decodeBytes(frame);
            QByteArray out, again, direct;
            QCOMPARE(writer.appendFrame(frame, "2026-12-06T22:42:16.123Z", "RX", out), report.parsed);
            writer.appendFrame(frame, "2026-12-06T22:42:16.123Z", "RX", again);
            report.time = QStringLiteral("2026-12-06T22:42:16.123Z");
            report.direction = QStringLiteral("RX");
            CsvWriter::appendReport(report, direct);
            QCOMPARE(again, out);
            QCOMPARE(direct, out);
            QStringList single;
            for (const QStringList &row : parseCsv(out)) {
                QCOMPARE(row.size(), 11);
                const QString value = row.at(7).startsWith(QLatin1Char('\'')) ? row.at(7).mid(1) : row.at(7);
                if (!row.at(6).isEmpty())
                    single << row.at(6) + QLatin1Char('=') + value;
            }
            QCOMPARE(single.join(QStringLiteral(", ")), parametersText(report));
        }
    }

    // LibreOffice Calc's default import of the rows computes no cell and
    // reads as numbers only the cells written as numbers: its export gives
    // every cell back as written (a text read as a number would come back
    // as the number, 0042 as 42; a formula as its result).
    void spreadsheetImport()
    {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("soffice is not installed (libreoffice-calc-nogui): the import is not checked");
        QTemporaryDir dir;
        const QVector<QByteArray> written{frameRows(), seriesRows()};
        QStringList arguments{QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                              "--headless", "--convert-to", "csv", "--outdir", dir.filePath(QStringLiteral("back"))};
        for (int i = 0; i < written.size(); ++i) {
            arguments << dir.filePath(QStringLiteral("rows%1.csv").arg(i));
            QVERIFY(writeFile(arguments.last(), written.at(i)));
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), dir.path());
        QCOMPARE(runTool(soffice, arguments, dir.path(), {}, 180000, environment).exitCode, 0);
        for (int i = 0; i < written.size(); ++i) {
            const QVector<QStringList> want = parseCsv(written.at(i));
            const QVector<QStringList> got = parseCsv(
                readFile(dir.filePath(QStringLiteral("back/rows%1.csv").arg(i))).replace("\r\n", "\n").replace("\n", "\r\n"));
            QVERIFY(!want.isEmpty());
            QCOMPARE(got.size(), want.size());
            for (int r = 0; r < want.size(); ++r)
                QCOMPARE(got.at(r).join(QLatin1Char('|')), want.at(r).join(QLatin1Char('|')));
        }
    }
};

QTEST_GUILESS_MAIN(CsvWriterTest)
#include "csvwritertest.moc"
