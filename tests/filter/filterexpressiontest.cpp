// Filter expressions: what the parser accepts and refuses (and where), and
// what an expression selects among frames of the bundled catalogue, read
// both as decoded reports and by the quick reader of plain frames.

#include "busframes.h"
#include "catalogue/catalogue.h"
#include "codec/framereport.h"
#include "filter/filterexpression.h"
#include "filter/filterframe.h"
#include "filter/plainframefilter.h"

#include <QtTest>

namespace {

const QString kXml = QStringLiteral(KWN_SOURCE_DIR "/xml");

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

struct Sample
{
    const char *name;
    QByteArray frame;
    QString direction;
};

// The frames every expression of the evaluator's table is asked about.
QVector<Sample> samples()
{
    QByteArray badStop = packFrame(0x02, false, 11, 2, 0, 0x0A0B0C, 0xFFFFFF, QByteArray());
    badStop[badStop.size() - 1] = char(badStop.at(badStop.size() - 1) ^ 1);
    return {
        // State Running down, Faults bits 0 and 2, Last command source
        // Unknown (0xFF), Supply voltage 240.
        {"status", packFrame(0x0F, false, 16, 2, 0, 0x3A0C51, 0x1E0005, bytes({2, 5, 0xFF, 0xF0, 0})),
         QStringLiteral("RX")},
        // Position pulses 4660, Position 85, Tilt -5, Encoder count -100, Preset 0.
        {"position", packFrame(0x0D, false, 20, 2, 0, 0x0A0B0C, 0x3A0C51,
                               bytes({0x34, 0x12, 0x55, 0xFB, 0x9C, 0xFF, 0xFF, 0xFF, 0})),
         QString()},
        // Move down to a group, acknowledged, the optional Duration left off.
        {"move", packFrame(0x01, true, 12, 0, 2, 0x000003, 0x000000, bytes({1})), QStringLiteral("TX")},
        {"badstop", badStop, QString()},
        // Lumen Relay: firmware 3.1, serial number C0FFEE, hardware "B2".
        {"info", packFrame(0x60, false, 21, 5, 0, 0x1E0005, 0x3A0C51,
                           bytes({3, 1, 0xEE, 0xFF, 0xC0, 0, 'B', '2', 0, 0})),
         QString()},
        // No product has node type 14.
        {"noproduct", packFrame(0x01, false, 12, 14, 14, 0x000001, 0x000002, bytes({1})), QStringLiteral("RX")},
    };
}

} // namespace

class FilterExpressionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_names = catalogueParameterNames(loadProfiles(kXml)); }

    void parse_data();
    void parse();
    void select_data();
    void select();
    void logicIsSetAlgebra();
    void messageRules_data();
    void messageRules();

private:
    QSet<QString> m_names;
};

void FilterExpressionTest::parse_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("error"); // empty: accepted

    const auto ok = [](const char *expression) { QTest::newRow(expression) << QString::fromUtf8(expression) << QString(); };
    const auto refused = [](const char *expression, const char *error) {
        QTest::newRow(expression) << QString::fromUtf8(expression) << QString::fromUtf8(error);
    };
    ok("device == \"QX-Drive 40\"");
    ok("[Position] > 80 and message == \"Move\"");
    ok("not checksum_ok || source == \"3a0c51\"");
    ok("[Faults] & 4");
    ok("mode in {\"p2p\", \"GROUP\"}");
    ok("[State] in {1, \"Running down\"}");
    ok("[Offset] > -0x10 && !ack");
    ok("status matches \"^frame\" OR ((ack))");
    ok("[Label] contains \"\\\"x\\\\\"");
    ok("[ Supply voltage ] >= 200");
    ok("source < 0x100000 and destination != \"FFFFFF\"");
    ok("direction == \"rx\" and node_type in {2, 5}");

    refused("device ==", "expected a value after \"==\" at column 10");
    refused("device == )", "expected a value after \"==\" at column 11");
    refused("[Positon] > 5", "no message has a parameter \"Positon\" (did you mean \"Position\"?) at column 1");
    refused("ack and [position] > 5", "no message has a parameter \"position\" (did you mean \"Position\"?) at column 9");
    refused("[Nothing like it] == 1", "no message has a parameter \"Nothing like it\" at column 1");
    refused("devce == \"x\"", "unknown field \"devce\" (did you mean \"device\"?) at column 1");
    refused("speed > 1", "unknown field \"speed\" at column 1");
    refused("message matches \"(unclosed\"",
            "bad regular expression: missing closing parenthesis at column 27");
    refused("(ack", "expected \")\" at column 5");
    refused("ack == 1", "ack is true or false at column 8");
    refused("ack > true", "ack takes \"==\" or \"!=\" at column 5");
    refused("[Position] == true", "[Position] is not compared with true or false at column 15");
    refused("device > \"a\"", "\">\" does not apply to device, a text at column 8");
    refused("[State] < \"Blocked\"", "\"<\" takes a number at column 9");
    refused("[Position] contains 5", "\"contains\" takes a string at column 12");
    refused("message contains 5", "message is a text: expected a string at column 18");
    refused("node_type == \"2\"", "node_type is a number at column 14");
    refused("source == \"3A0C5\"", "source is six hexadecimal digits at column 11");
    refused("source == \"0x1234\"", "source is six hexadecimal digits at column 11");
    refused("mode == \"Ring\"", "mode is \"P2P\", \"Group\" or \"Broadcast\" at column 9");
    refused("[Position] == \"5", "string not closed by \" at column 15");
    refused("device == \"a\\n\"", "unknown escape \"\\n\" in a string at column 13");
    refused("[Position = 5", "parameter name not closed by \"]\" at column 1");
    refused("[ ] == 5", "expected a parameter name in \"[]\" at column 1");
    refused("device = \"x\"", "expected \"==\" rather than \"=\" at column 8");
    refused("ack and", "expected a field, \"[parameter]\", \"not\" or \"(\" but found the end at column 8");
    refused("", "expected a field, \"[parameter]\", \"not\" or \"(\" but found the end at column 1");
    refused("ack ack", "unexpected \"ack\" at column 5");
    refused("ack | checksum_ok", "unexpected \"|\" at column 5");
    refused("[Position] in {1, 2", "expected \",\" or \"}\" in the set at column 20");
    refused("[Position] in 1", "expected \"{\" after \"in\" at column 15");
    refused("[Position] == 12ab", "bad number \"12ab\" at column 15");
    refused("[Position] == 0x", "bad number \"0x\" at column 15");
    refused("[Position] == 9223372036854775808", "number \"9223372036854775808\" out of range at column 15");
}

void FilterExpressionTest::parse()
{
    QFETCH(QString, expression);
    QFETCH(QString, error);
    FilterError refused;
    const FilterExpression compiled = FilterExpression::compile(expression, m_names, &refused);
    QCOMPARE(compiled.isEmpty() ? refused.text() : QString(), error);
}

void FilterExpressionTest::select_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QStringList>("selected"); // names of the samples

    const auto row = [](const char *expression, const char *selected) {
        QTest::newRow(expression) << QString::fromUtf8(expression)
                                  << QString::fromLatin1(selected).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    };
    // Fields; a frame without the field fails every comparison, != too.
    row("device == \"QX-Drive 40\"", "status position move badstop");
    row("device != \"QX-Drive 40\"", "info");
    row("not device == \"QX-Drive 40\"", "info noproduct");
    row("device contains \"Drive\"", "status position move badstop");
    row("device contains \"drive\"", "");
    row("device matches \"^lumen\"", "info");
    row("device", "status position move badstop info");
    row("not device", "noproduct");
    row("message in {\"Stop\", \"Move\"}", "move badstop");
    row("status == \"Frame decoded successfully.\"", "status position move badstop info");
    row("status contains \"unknown\" or status contains \"No product\"", "noproduct");
    row("source == \"3a0c51\"", "status");
    row("source == 0x3A0C51 or destination == \"3A0C51\"", "status position info");
    row("source != \"3A0C51\"", "position move badstop info");
    row("source contains \"0a0b\"", "position badstop");
    row("destination < 0x100", "move");
    row("mode == \"group\"", "move");
    row("mode == \"BROADCAST\"", "badstop");
    row("mode != \"P2P\"", "move badstop");
    row("mode matches \"^p\"", "status position info");
    row("direction == \"tx\"", "move");
    row("direction != \"TX\"", "status noproduct");
    row("direction", "status move noproduct");
    row("ack", "move");
    row("ack == false", "status position badstop info");
    row("not ack", "status position badstop info noproduct");
    row("checksum_ok", "status position move info noproduct");
    row("checksum_ok == false", "badstop");
    row("checksum_ok != true", "badstop");
    row("node_type == 5", "info");
    row("node_type in {0, 5}", "move info");
    row("node_type >= 2", "status position badstop info");
    // Parameters: named values by number and by name.
    row("[State] == 2", "status");
    row("[State] == \"Running down\"", "status");
    row("[State] == \"running down\"", "");
    row("[State] matches \"running\"", "status");
    row("[State] != 2", "");
    row("[Last command source] == 255", "status");
    row("[Last command source] == \"Unknown\"", "status");
    // A bitfield's whole field; its text the checked bits.
    row("[Faults] & 4", "status");
    row("[Faults] & 2", "");
    row("[Faults] == 5", "status");
    row("[Faults] contains \"Limits not set\"", "status");
    row("[Faults] contains \"Overheated\"", "");
    // Little-endian numbers, signed ones with their sign.
    row("[Supply voltage] == 240", "status");
    row("[Position pulses] == 0x1234", "position");
    row("[Position] > 80", "position");
    row("[Position] <= 85 and [Position] >= 85", "position");
    row("[Tilt] == -5", "position");
    row("[Tilt] < 0", "position");
    row("[Tilt] == 251", "");
    row("[Encoder count] == -100", "position");
    row("[Encoder count] > -101 and [Encoder count] < -99", "position");
    row("[Preset] == 0", "position");
    row("[Preset]", "position");
    // Optional parameters left off: no row, so every comparison fails.
    row("[Direction] == \"Down\"", "move");
    row("[Direction] == 1", "move");
    row("[Duration] > 0", "");
    row("[Duration] != 5", "");
    row("not [Duration] == 5", "status position move badstop info noproduct");
    // Strings: their own characters, without padding; hexadecimal forms as shown.
    row("[Hardware revision] == \"B2\"", "info");
    row("[Hardware revision] matches \"^b\\\\d$\"", "info");
    row("[Hardware revision] == 0", "");
    row("[Serial number] == 0xC0FFEE", "info");
    row("[Serial number] == \"c0ffee\"", "info");
    row("[Firmware major] in {2, 3} and [Firmware minor] == 1", "info");
    // Logic: not binds tightest, then and, then or.
    row("not ack and checksum_ok", "status position info noproduct");
    row("ack or [Tilt] < 0 and [Tilt] > -10", "position move");
    row("(ack or [Tilt] < 0) and checksum_ok", "position move");
    row("!(ack || checksum_ok)", "badstop");
    row("not not ack", "move");
}

void FilterExpressionTest::select()
{
    QFETCH(QString, expression);
    QFETCH(QStringList, selected);
    FilterError error;
    const FilterExpression filter = FilterExpression::compile(expression, m_names, &error);
    QVERIFY2(!filter.isEmpty(), qPrintable(error.text()));
    DecodeCatalogue catalogue(kXml);
    PlainFrameFilter quick(catalogue, filter);
    QStringList byReport;
    QStringList byQuickReader;
    for (const Sample &sample : samples()) {
        FrameReport report = catalogue.decodeBytes(sample.frame);
        report.direction = sample.direction;
        const bool matches = filter.matches(ReportFilterFrame(report));
        if (matches)
            byReport << QLatin1String(sample.name);
        const PlainFrameFilter::Verdict verdict = quick.judge(sample.frame, sample.direction);
        if (verdict == PlainFrameFilter::Undecided ? matches : verdict == PlainFrameFilter::Matches)
            byQuickReader << QLatin1String(sample.name);
    }
    QCOMPARE(byReport, selected);
    QCOMPARE(byQuickReader, selected);
}

// On frames of every bundled message with random contents, `a or b` selects
// the union, `a and b` the intersection and `not a` the complement of what
// `a` and `b` select, by either reader, and the quick report writer writes
// just the frames that the report says are selected.
void FilterExpressionTest::logicIsSetAlgebra()
{
    const QVector<QByteArray> frames = bundledFrames(600, 31);
    const QStringList tests = {
        QStringLiteral("[Position] > 40"),      QStringLiteral("source < 0x800000"),
        QStringLiteral("[Faults] & 3"),         QStringLiteral("ack"),
        QStringLiteral("node_type in {2, 5}"),   QStringLiteral("[Tilt] < 0 or [Direction] == \"Up\""),
        QStringLiteral("[Duration] != 7"),      QStringLiteral("message matches \"^post\""),
        QStringLiteral("status == \"Frame decoded successfully.\""),
    };
    DecodeCatalogue catalogue(kXml);
    int differences = 0;
    int written = 0;
    const QString direction = QStringLiteral("TX");
    const auto select = [&](const QString &text) {
        FilterError error;
        const FilterExpression filter = FilterExpression::compile(text, m_names, &error);
        PlainFrameFilter quick(catalogue, filter);
        QVector<bool> chosen;
        for (const QByteArray &frame : frames) {
            FrameReport report = catalogue.decodeBytes(frame);
            report.direction = direction;
            const bool byReport = filter.matches(ReportFilterFrame(report));
            const PlainFrameFilter::Verdict verdict = quick.judge(frame, direction);
            if (verdict != PlainFrameFilter::Undecided && (verdict == PlainFrameFilter::Matches) != byReport)
                ++differences;
            const QByteArray line = frameToHexText(frame).toLatin1();
            QByteArray out;
            const PlainReport gated = catalogue.appendPlainFrameReport(ReportStyle::SingleLine, line.constData(),
                                                                       line.size(), quick.gate(direction), out);
            if (gated != PlainReport::NotPlain && (gated == PlainReport::Written) != byReport)
                ++differences;
            written += gated == PlainReport::Written;
            chosen.append(byReport);
        }
        return chosen;
    };
    for (const QString &a : tests) {
        const QVector<bool> inA = select(a);
        const QVector<bool> notA = select(QStringLiteral("not (%1)").arg(a));
        int selectedSome = 0;
        for (int i = 0; i < frames.size(); ++i) {
            QCOMPARE(notA.at(i), !inA.at(i));
            selectedSome += inA.at(i);
        }
        QVERIFY2(selectedSome > 0 && selectedSome < frames.size(), qPrintable(a));
        for (const QString &b : tests) {
            const QVector<bool> inB = select(b);
            const QVector<bool> either = select(QStringLiteral("(%1) or (%2)").arg(a, b));
            const QVector<bool> both = select(QStringLiteral("(%1) and (%2)").arg(a, b));
            for (int i = 0; i < frames.size(); ++i) {
                QCOMPARE(either.at(i), inA.at(i) || inB.at(i));
                QCOMPARE(both.at(i), inA.at(i) && inB.at(i));
            }
        }
    }
    QCOMPARE(differences, 0);
    QVERIFY(written > 0);
}

void FilterExpressionTest::messageRules_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("admitsAll"); // for some message
    QTest::addColumn<bool>("admitsNone");
    const auto row = [](const char *expression, bool all, bool none) {
        QTest::newRow(expression) << QString::fromUtf8(expression) << all << none;
    };
    row("checksum_ok or not checksum_ok", true, false);
    row("not checksum_ok and checksum_ok", false, true);
    row("direction == \"TX\" or not direction == \"TX\"", true, false);
    row("[Duration] >= 0 or not [Duration] == 7 or mode != \"P2P\"", true, false);
    row("node_type == 2 and message contains \"Move\"", true, true);
    row("[Position] > 40", false, true);
    row("[Position] < 256 or [Preset] in {300, -1}", true, true);
}

// An answer that a message fixes is found once per message, for the report
// writer's gate and for judge alike, and is the answer of the report on
// every frame of the message.
void FilterExpressionTest::messageRules()
{
    QFETCH(QString, expression);
    QFETCH(bool, admitsAll);
    QFETCH(bool, admitsNone);
    FilterError error;
    const FilterExpression filter = FilterExpression::compile(expression, m_names, &error);
    QVERIFY2(!filter.isEmpty(), qPrintable(error.text()));
    DecodeCatalogue catalogue(kXml);
    PlainFrameFilter quick(catalogue, filter);
    const QString direction = QStringLiteral("TX");
    QSet<int> rules;
    for (const QByteArray &frame : bundledFrames(600, 31)) {
        FrameReport report = catalogue.decodeBytes(frame);
        report.direction = direction;
        const bool byReport = filter.matches(ReportFilterFrame(report));
        const PlainFrameFilter::Verdict verdict = quick.judge(frame, direction);
        QVERIFY(verdict == PlainFrameFilter::Undecided || (verdict == PlainFrameFilter::Matches) == byReport);
        const QByteArray line = frameToHexText(frame).toLatin1();
        QByteArray out;
        const PlainReport gated = catalogue.appendPlainFrameReport(ReportStyle::SingleLine, line.constData(),
                                                                   line.size(), quick.gate(direction), out);
        QVERIFY(gated == PlainReport::NotPlain || (gated == PlainReport::Written) == byReport);
        FrameFields fields;
        unpackFrame(frame, fields);
        const DeviceCatalogue::Device *device = catalogue.deviceOf(fields.sourceNodeType, fields.destinationNodeType);
        const MessageDefinition *message = device ? DecodeCatalogue::messageOf(*device, fields.messageId) : nullptr;
        if (gated == PlainReport::NotPlain || !message)
            continue;
        const PlainFrameFacts facts{frame, fields, device->product, *message, report.checksumOk};
        const PlainFrameGate::Rule rule = quick.gate(direction).ruleFor(facts);
        rules.insert(int(rule));
        if (rule != PlainFrameGate::Rule::AskEach)
            QCOMPARE(rule == PlainFrameGate::Rule::AdmitAll, byReport);
    }
    QCOMPARE(rules.contains(int(PlainFrameGate::Rule::AdmitAll)), admitsAll);
    QCOMPARE(rules.contains(int(PlainFrameGate::Rule::AdmitNone)), admitsNone);
}

QTEST_GUILESS_MAIN(FilterExpressionTest)
#include "filterexpressiontest.moc"
