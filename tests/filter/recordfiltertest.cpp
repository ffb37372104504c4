// How the Bus page's filter field reads a text: an expression when it looks
// like one and compiles, refused (with the column) when it looks like one
// and does not, words otherwise, with the bundled catalogue.

#include "catalogue/catalogue.h"
#include "filter/recordfilter.h"
#include "support/datarows.h"

#include <QtTest>

class RecordFilterTest : public QObject
{
    Q_OBJECT

private slots:
    // Words as the field has always taken them, also those that would
    // compile (a message named like a field, a single "=" of the Values
    // column, "not" before anything but a field); expressions by a mark or by
    // a field and an operator word.
    void readsTheText_data() { addDataRows(QStringLiteral("filter/recordtexts.txt")); }
    void readsTheText()
    {
        QFETCH(QStringList, row);
        const QString text = unescaped(row[0]);
        const auto kind = RecordFilter::Kind(QStringList{"words", "expression", "refused"}.indexOf(row[1]));
        const int column = row[2].toInt();
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
