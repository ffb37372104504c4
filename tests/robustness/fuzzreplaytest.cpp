// Replays the fuzz seeds and every crasher the fuzzers found through the
// same checks as the fuzz targets, so that a build without clang still runs
// them; and pins each finding with a test of its own.

#include "fuzz/fuzzchecks.h"

#include <QDirIterator>
#include <QtTest>

using CheckFunction = QString (*)(const uint8_t *, size_t);
Q_DECLARE_METATYPE(CheckFunction)

static const QString kFuzzDir = QStringLiteral(KWN_SOURCE_DIR "/tests/fuzz");

static const QMap<QString, CheckFunction> kTargets = {{QStringLiteral("fuzz_frametext"), &fuzzchecks::checkFrameText},
                                                      {QStringLiteral("fuzz_definitions"), &fuzzchecks::checkDefinitions},
                                                      {QStringLiteral("fuzz_encoding"), &fuzzchecks::checkEncoding}};

class FuzzReplayTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<CheckFunction>("check");
        for (const QString &kind : {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
            for (auto target = kTargets.cbegin(); target != kTargets.cend(); ++target) {
                QDirIterator it(kFuzzDir + '/' + kind + '/' + target.key(), QDir::Files);
                // A seed folder that went missing would make the replay pass on nothing.
                QVERIFY2(it.hasNext() || kind != QLatin1String("corpus"), qPrintable(target.key()));
                while (it.hasNext()) {
                    const QString path = it.next();
                    QTest::newRow(qPrintable(kind + '/' + target.key() + '/' + it.fileName())) << path << target.value();
                }
            }
        }
    }
    void replay()
    {
        QFETCH(QString, path);
        QFETCH(CheckFunction, check);
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray bytes = file.readAll();
        const QString failure = check(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    // The checks would let faults through if they passed anything: each of
    // these results is wrong, and the check must say so.
    void checksRejectTamperedResults_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("tamperBytes");
        // A Stop frame with one data byte, exactly as long as announced.
        const QString text = frameToHexText(packFrame(0x02, false, 12, 0, 2, 0x000001, 0x00A1B2, QByteArray(1, '\x05')));
        QTest::newRow("one bit of the bytes") << text << true;
        QTest::newRow("short text accepted") << QStringLiteral("0102") << false;
    }
    void checksRejectTamperedResults()
    {
        QFETCH(QString, text);
        QFETCH(bool, tamperBytes);
        ParsedFrame parsed = parseFrameText(text);
        QVERIFY2(fuzzchecks::checkParsedFrame(text, parsed).isEmpty(), "the untouched result must pass");
        if (tamperBytes) {
            parsed.bytes[9] = char(parsed.bytes.at(9) ^ 1);
        } else {
            parsed.outcome = ParsedFrame::Ok;
            parsed.statusText.clear();
            parsed.statusIsError = false;
        }
        QVERIFY(!fuzzchecks::checkParsedFrame(text, parsed).isEmpty());
    }

    // Found by fuzz_frametext: a paste with a lone high surrogate before a digit.
    // QString::toLower reads such a unit and the next as one pair and leaves the
    // digit upper-case, so lower-casing the whole text first would lose it; the
    // cleaner takes the digit.
    void cleaningKeepsDigitsAfterLoneSurrogates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clean");
        auto units = [](std::initializer_list<ushort> list) {
            QString s;
            for (ushort u : list)
                s.append(QChar(u));
            return s;
        };
        QTest::newRow("high surrogate, F") << units({0xD8D8, 'F'}) << QStringLiteral("f");
        QTest::newRow("high surrogate, 0X prefix") << units({0xD800, '0', 'X', 'A', 'b'}) << QStringLiteral("ab");
        QTest::newRow("low surrogate first") << units({0xDC00, 'C', '1'}) << QStringLiteral("c1");
        QTest::newRow("real pair then digits") << units({0xD801, 0xDC00, 'E', '9'}) << QStringLiteral("e9");
    }
    void cleaningKeepsDigitsAfterLoneSurrogates()
    {
        QFETCH(QString, text);
        QFETCH(QString, clean);
        QCOMPARE(cleanFrameText(text), clean);
        QCOMPARE(fuzzchecks::referenceCleanText(text), clean);
    }
};

QTEST_GUILESS_MAIN(FuzzReplayTest)
#include "fuzzreplaytest.moc"
