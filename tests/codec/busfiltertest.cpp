// The rules of the filter's words, from a table. The filter reads a
// record's own fields; it must find exactly what it finds in the record's
// whole search text, the column texts joined by line breaks. What the Values
// column shows of a decoding, which the filter reads too.

#include "codec/busrecord.h"

#include "support/datarows.h"

#include <QRandomGenerator>

namespace {

const QStringList kNames{"Drive", "Shade Motor", "Temp\u00e9rature", "\u0130nlet \u03a3\u0391\u03a3", "STRASSE stra\u00dfe",
                         "Position=75, Speed=Normal", "Checksum mismatch | Level=3 \u00b0C", "a \u2192 b", ""};

QString pick(QRandomGenerator &random, const QStringList &list)
{
    return list.at(int(random.bounded(list.size())));
}

BusRecord generated(QRandomGenerator &random)
{
    const quint32 addresses[] = {0, 0xFFFFFF, 0x1000000, 0xFFFFFFFF, 0xABCDEF, quint32(random.bounded(1, 64)),
                                 quint32(random.bounded(1, 64))};
    BusRecord r;
    r.kind = BusRecord::Kind(random.bounded(4));
    r.timeUs = Q_INT64_C(1700000000000000) + qint64(random.bounded(100000000)) * 1000 + random.bounded(1000);
    r.deltaUs = random.bounded(3) == 0 ? -1 : qint64(random.bounded(100000000));
    r.parsed = r.kind != BusRecord::Event && random.bounded(5) != 0;
    r.checksumOk = random.bounded(2) == 0;
    r.sourceAddress = addresses[random.bounded(7)];
    r.destinationAddress = addresses[random.bounded(7)];
    if (r.kind != BusRecord::Event) {
        r.bytes.resize(int(random.bounded(random.bounded(8) == 0 ? 120 : 32)));
        for (char &c : r.bytes)
            c = char(random.bounded(256));
    }
    if (r.kind != BusRecord::Noise) {
        r.device = pick(random, kNames);
        r.message = pick(random, kNames);
        r.values = pick(random, kNames);
        setShownValues(r, pick(random, kNames), random.bounded(2) == 0, pick(random, kNames));
    }
    return r;
}

// One to three typed words from a record's text or `extra`: any case, quoted or left out.
QString typedFilter(QRandomGenerator &random, const BusRecord &from, const QStringList &extra)
{
    const QString text = QString::fromUtf8(searchText(from));
    QStringList words;
    for (int i = 0, count = 1 + int(random.bounded(3)); i < count; ++i) {
        QString word = QStringLiteral("x");
        if (random.bounded(4) == 0) {
            word = pick(random, extra);
        } else if (!text.isEmpty()) {
            const int at = int(random.bounded(text.size()));
            word = text.mid(at, 1 + int(random.bounded(qMin(12, text.size() - at))));
            word = random.bounded(3) == 0 ? word.toUpper() : random.bounded(2) ? word : word.toLower();
        }
        if (word.contains(QLatin1Char(' ')) || word.contains(QLatin1Char('\n')) || random.bounded(4) == 0)
            word = QLatin1Char('"') + word + QLatin1Char('"');
        else
            word.remove(QRegularExpression(QStringLiteral("\\s")));
        words << (random.bounded(4) == 0 ? QLatin1Char('-') + word : word);
    }
    return words.join(QLatin1Char(' '));
}

} // namespace

class BusFilterTest : public QObject
{
    Q_OBJECT

private slots:
    void sameAsWholeText_data() { addDataRows(QStringLiteral("codec/busfilter-words.txt")); }
    void sameAsWholeText()
    {
        QFETCH(QStringList, row);
        QStringList extra;
        for (const QString &word : row[1].split(QLatin1String("; ")))
            extra << unescaped(word);
        QRandomGenerator random(row[0].toUInt());
        QVector<BusRecord> records;
        QVector<QByteArray> texts;
        for (int i = 0; i < 300; ++i) {
            records.append(generated(random));
            texts.append(searchText(records.last()));
        }
        int matched = 0, compared = 0;
        for (int f = 0; f < 200; ++f) {
            const QString text = typedFilter(random, records.at(int(random.bounded(records.size()))), extra);
            const BusFilter filter(text);
            for (int i = 0; i < records.size(); ++i) {
                const bool expected = filter.matches(texts.at(i));
                if (filter.matches(records.at(i)) != expected)
                    QFAIL(qPrintable(QStringLiteral("filter \"%1\" on \"%2\"").arg(text, QString::fromUtf8(texts.at(i)))));
                matched += expected ? 1 : 0;
                ++compared;
            }
        }
        // Both outcomes were tried, many times.
        QVERIFY(matched > compared / 50 && matched < compared - compared / 50);
    }

    void rules_data() { addDataRows(QStringLiteral("codec/busfilter-rules.txt")); }
    void rules()
    {
        QFETCH(QStringList, row);
        QStringList matched;
        for (int n = 0; n < 4; ++n) {
            BusRecord r;
            r.kind = n == 2 ? BusRecord::Sent : BusRecord::Received;
            r.parsed = true, r.checksumOk = n != 0;
            r.sourceAddress = 1, r.destinationAddress = n == 3 ? 0 : 2;
            r.bytes = QByteArray(11, char(n));
            r.device = QStringLiteral("Drive");
            r.message = n % 2 ? QStringLiteral("Mode") : QStringLiteral("Status");
            r.shownValues = QStringLiteral("Count=%1").arg(n);
            if (BusFilter(unescaped(row[0])).matches(r))
                matched << QString::number(n);
        }
        QCOMPARE(matched.join(QLatin1Char(' ')), row[1]);
    }

    // A frame whose checksum fails says so first, whatever its decoding says.
    void shownValues()
    {
        QStringList shown;
        BusRecord r;
        for (const bool checksumOk : {true, false}) {
            r.parsed = true, r.checksumOk = checksumOk;
            setShownValues(r, QStringLiteral("Frame decoded successfully."), true, QStringLiteral("P=1"));
            shown << r.shownValues + (r.statusShown ? " (red)" : "");
            setShownValues(r, QStringLiteral("Frame is uncomplete."), false, QString());
            shown << r.shownValues + (r.statusShown ? " (red)" : "");
        }
        QCOMPARE(shown, QStringList({"P=1", "Frame is uncomplete. (red)", "bad checksum | P=1 (red)",
                                     "bad checksum | Frame is uncomplete. (red)"}));
    }
};

QTEST_GUILESS_MAIN(BusFilterTest)
#include "busfiltertest.moc"
