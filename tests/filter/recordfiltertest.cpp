// How the Bus page's filter field reads a text: an expression when it looks
// like one and compiles, refused (with the column) when it looks like one
// and does not, words otherwise, with the bundled catalogue.

#include "catalogue/catalogue.h"
#include "filter/recordfilter.h"

#include <QtTest>

Q_DECLARE_METATYPE(RecordFilter::Kind)

class RecordFilterTest : public QObject
{
    Q_OBJECT

private slots:
    void readsTheText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<RecordFilter::Kind>("kind");
        QTest::addColumn<int>("column"); // of a refusal

        const auto words = RecordFilter::Words;
        const auto expression = RecordFilter::Expression;
        const auto refused = RecordFilter::Refused;
        // Words as the field has always taken them, also those that would
        // compile: a message named like a field, a single "=" of the
        // Values column, "not" before anything but a field.
        QTest::newRow("words") << "Move down -noise" << words << 0;
        QTest::newRow("phrase") << "\"Drive unit\" 3A0C51" << words << 0;
        QTest::newRow("marks in a phrase") << "\"Motor (left) & [2]\" -noise" << words << 0;
        QTest::newRow("field alone") << "Status" << words << 0;
        QTest::newRow("single equals") << "Position=75" << words << 0;
        QTest::newRow("not a field") << "not found" << words << 0;
        QTest::newRow("field then word") << "message Move" << words << 0;
        // Expressions, by a mark or by a field and an operator word.
        QTest::newRow("parameter") << "[Position] > 80" << expression << 0;
        QTest::newRow("address") << "source == \"3a0c51\"" << expression << 0;
        QTest::newRow("bang") << "!checksum_ok" << expression << 0;
        QTest::newRow("not field") << "NOT checksum_ok" << expression << 0;
        QTest::newRow("field contains") << "message contains \"Move\"" << expression << 0;
        QTest::newRow("field and") << "checksum_ok and ack" << expression << 0;
        QTest::newRow("marks in a string") << "message == \"(a\\\"\"" << expression << 0;
        QTest::newRow("set") << "mode in {\"P2P\", \"Group\"}" << expression << 0;
        // Looks like one, does not compile.
        QTest::newRow("no value") << "[Position] >" << refused << 13;
        QTest::newRow("unquoted") << "device contains Drive" << refused << 17;
        QTest::newRow("unknown parameter") << "[Positon] > 4" << refused << 1;
        QTest::newRow("words around <") << "a < b" << refused << 1;
    }
    void readsTheText()
    {
        QFETCH(QString, text);
        QFETCH(RecordFilter::Kind, kind);
        QFETCH(int, column);
        QCOMPARE(looksLikeFilterExpression(text), kind != RecordFilter::Words);
        DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        const RecordFilter filter(text, catalogue);
        QCOMPARE(filter.kind(), kind);
        QCOMPARE(filter.error().column, column);
        QCOMPARE(filter.isEmpty(), kind == RecordFilter::Refused);
    }
};

QTEST_MAIN(RecordFilterTest)
#include "recordfiltertest.moc"
