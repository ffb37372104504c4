// Filter expressions: what the parser accepts and refuses (and where), and
// what an expression selects among frames of the bundled catalogue, read
// both as decoded reports and by the quick reader of plain frames.

#include "busframes.h"
#include "catalogue/catalogue.h"
#include "codec/framereport.h"
#include "filter/filterexpression.h"
#include "filter/filterframe.h"
#include "filter/plainframefilter.h"
#include "support/datarows.h"

#include <QtTest>

namespace {

const QString kXml = QStringLiteral(KWN_SOURCE_DIR "/xml");

struct Sample
{
    QString name;
    QByteArray frame;
    QString direction;
};

// The frames every expression of the evaluator's table is asked about.
QVector<Sample> samples()
{
    QVector<Sample> all;
    for (const QStringList &row : readDataRows(QStringLiteral("filter/samples.txt")))
        all.append({row[0], QByteArray::fromHex(row[2].toLatin1()), row[1]});
    return all;
}

// Judges `frame`, sent, by its decoded report, and counts in `differences`
// where the quick reader or the report writer's gate answer otherwise.
bool judged(DecodeCatalogue &catalogue, PlainFrameFilter &quick, const FilterExpression &filter,
            const QByteArray &frame, int &differences, PlainReport *gated = nullptr, FrameReport *report = nullptr)
{
    const QString direction = QStringLiteral("TX");
    FrameReport decoded = catalogue.decodeBytes(frame);
    decoded.direction = direction;
    const bool byReport = filter.matches(ReportFilterFrame(decoded));
    const PlainFrameFilter::Verdict verdict = quick.judge(frame, direction);
    differences += verdict != PlainFrameFilter::Undecided && (verdict == PlainFrameFilter::Matches) != byReport;
    const QByteArray line = frameToHexText(frame).toLatin1();
    QByteArray out;
    const PlainReport written = catalogue.appendPlainFrameReport(ReportStyle::SingleLine, line.constData(),
                                                                 line.size(), quick.gate(direction), out);
    differences += written != PlainReport::NotPlain && (written == PlainReport::Written) != byReport;
    if (gated)
        *gated = written;
    if (report)
        *report = decoded;
    return byReport;
}

} // namespace

class FilterExpressionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_names = catalogueParameterNames(loadProfiles(kXml)); }

    // Each row of filter/expressions.txt: an expression, then either "!" and
    // the parser's refusal, or the samples it selects, by either reader.
    void select_data() { addDataRows(QStringLiteral("filter/expressions.txt")); }
    void select()
    {
        QFETCH(QStringList, row);
        const QString expression = unescaped(QString::fromUtf8(QTest::currentDataTag()));
        FilterError error;
        const FilterExpression filter = FilterExpression::compile(expression, m_names, &error);
        const QString expected = unescaped(row[0]);
        if (filter.isEmpty() || expected.startsWith(QLatin1Char('!'))) {
            QCOMPARE(filter.isEmpty() ? QLatin1Char('!') + error.text() : QStringLiteral("accepted"), expected);
            return;
        }
        DecodeCatalogue catalogue(kXml);
        PlainFrameFilter quick(catalogue, filter);
        QStringList byReport;
        QStringList byQuickReader;
        for (const Sample &sample : samples()) {
            FrameReport report = catalogue.decodeBytes(sample.frame);
            report.direction = sample.direction;
            const bool matches = filter.matches(ReportFilterFrame(report));
            if (matches)
                byReport << sample.name;
            const PlainFrameFilter::Verdict verdict = quick.judge(sample.frame, sample.direction);
            if (verdict == PlainFrameFilter::Undecided ? matches : verdict == PlainFrameFilter::Matches)
                byQuickReader << sample.name;
        }
        QCOMPARE(byReport.join(QLatin1Char(' ')), expected);
        QCOMPARE(byQuickReader, byReport);
    }
    // On frames of every bundled message with random contents, `a or b` selects
    // the union, `a and b` the intersection and `not a` the complement of what
    // `a` and `b` select, by either reader, and the quick report writer writes
    // just the frames that the report says are selected.
    void logicIsSetAlgebra()
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
        const auto select = [&](const QString &text) {
            FilterError error;
            const FilterExpression filter = FilterExpression::compile(text, m_names, &error);
            PlainFrameFilter quick(catalogue, filter);
            QVector<bool> chosen;
            for (const QByteArray &frame : frames) {
                PlainReport gated;
                chosen.append(judged(catalogue, quick, filter, frame, differences, &gated));
                written += gated == PlainReport::Written;
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
    // An answer that a message fixes is found once per message, for the report
    // writer's gate and for judge alike, and is the answer of the report on
    // every frame of the message.
    void messageRules_data() { addDataRows(QStringLiteral("filter/messagerules.txt")); }
    void messageRules()
    {
        QFETCH(QStringList, row);
        const QString expression = QString::fromUtf8(QTest::currentDataTag());
        const bool admitsAll = row[0] == QLatin1String("1"), admitsNone = row[1] == QLatin1String("1");
        FilterError error;
        const FilterExpression filter = FilterExpression::compile(expression, m_names, &error);
        QVERIFY2(!filter.isEmpty(), qPrintable(error.text()));
        DecodeCatalogue catalogue(kXml);
        PlainFrameFilter quick(catalogue, filter);
        QSet<int> rules;
        int differences = 0;
        for (const QByteArray &frame : bundledFrames(600, 31)) {
            PlainReport gated;
            FrameReport report;
            const bool byReport = judged(catalogue, quick, filter, frame, differences, &gated, &report);
            FrameFields fields;
            unpackFrame(frame, fields);
            const DeviceCatalogue::Device *device =
                catalogue.deviceOf(fields.sourceNodeType, fields.destinationNodeType);
            const MessageDefinition *message = device ? DecodeCatalogue::messageOf(*device, fields.messageId) : nullptr;
            if (gated == PlainReport::NotPlain || !message)
                continue;
            const PlainFrameFacts facts{frame, fields, device->product, *message, report.checksumOk};
            const PlainFrameGate::Rule rule = quick.gate(QStringLiteral("TX")).ruleFor(facts);
            rules.insert(int(rule));
            if (rule != PlainFrameGate::Rule::AskEach)
                QCOMPARE(rule == PlainFrameGate::Rule::AdmitAll, byReport);
        }
        QCOMPARE(differences, 0);
        QCOMPARE(rules.contains(int(PlainFrameGate::Rule::AdmitAll)), admitsAll);
        QCOMPARE(rules.contains(int(PlainFrameGate::Rule::AdmitNone)), admitsNone);
    }

private:
    QSet<QString> m_names;
};

QTEST_GUILESS_MAIN(FilterExpressionTest)
#include "filterexpressiontest.moc"
