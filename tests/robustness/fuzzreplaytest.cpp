// Replays the fuzz seeds and every crasher the fuzzers found through the
// same checks as the fuzz targets, so that a build without clang still runs
// them; and pins each finding with a test of its own.

#include "fuzz/fuzzchecks.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

using CheckFunction = QString (*)(const uint8_t *, size_t);
Q_DECLARE_METATYPE(CheckFunction)

class FuzzReplayTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
    void everyTargetHasSeeds_data();
    void everyTargetHasSeeds();
    void checksRejectTamperedResults_data();
    void checksRejectTamperedResults();
    void cleaningKeepsDigitsAfterLoneSurrogates_data();
    void cleaningKeepsDigitsAfterLoneSurrogates();
    void normalBuildHasNoFuzzPrograms();
};

static const QString kFuzzDir = QStringLiteral(KWN_SOURCE_DIR "/tests/fuzz");

static CheckFunction checkOf(const QString &target)
{
    if (target == QLatin1String("fuzz_frametext"))
        return &fuzzchecks::checkFrameText;
    if (target == QLatin1String("fuzz_definitions"))
        return &fuzzchecks::checkDefinitions;
    if (target == QLatin1String("fuzz_encoding"))
        return &fuzzchecks::checkEncoding;
    return nullptr;
}

static const QStringList kTargets = {QStringLiteral("fuzz_frametext"),
                                     QStringLiteral("fuzz_definitions"),
                                     QStringLiteral("fuzz_encoding")};

void FuzzReplayTest::replay_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<CheckFunction>("check");
    for (const QString &kind : {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
        for (const QString &target : kTargets) {
            QDirIterator it(kFuzzDir + QLatin1Char('/') + kind + QLatin1Char('/') + target, QDir::Files);
            while (it.hasNext()) {
                const QString path = it.next();
                QTest::newRow(qPrintable(kind + QLatin1Char('/') + target + QLatin1Char('/') + it.fileName()))
                    << path << checkOf(target);
            }
        }
    }
}

void FuzzReplayTest::replay()
{
    QFETCH(QString, path);
    QFETCH(CheckFunction, check);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    const QString failure = check(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// A target directory that went missing would make the replay pass on nothing.
void FuzzReplayTest::everyTargetHasSeeds_data()
{
    QTest::addColumn<QString>("target");
    for (const QString &target : kTargets)
        QTest::newRow(qPrintable(target)) << target;
}

void FuzzReplayTest::everyTargetHasSeeds()
{
    QFETCH(QString, target);
    QVERIFY(checkOf(target));
    const QDir dir(kFuzzDir + QStringLiteral("/corpus/") + target);
    QVERIFY2(!dir.entryList(QDir::Files).isEmpty(), qPrintable(dir.path()));
}

// The checks would let faults through if they passed anything: each of these
// results is wrong in one field, and the check must say so.
void FuzzReplayTest::checksRejectTamperedResults_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tamper");

    // A Stop frame with one data byte, exactly as long as announced.
    const QByteArray frame = packFrame(0x02, false, 12, 0, 2, 0x000001, 0x00A1B2, QByteArray(1, '\x05'));
    const QString text = frameToHexText(frame);
    QTest::newRow("bytes") << text << 0;
    QTest::newRow("fields") << text << 1;
    QTest::newRow("status") << text << 2;
    QTest::newRow("longer flag") << text << 3;
    QTest::newRow("outcome") << text << 4;
    QTest::newRow("short text accepted") << QStringLiteral("0102") << 5;
}

void FuzzReplayTest::checksRejectTamperedResults()
{
    QFETCH(QString, text);
    QFETCH(int, tamper);
    ParsedFrame parsed = parseFrameText(text);
    QVERIFY2(fuzzchecks::checkParsedFrame(text, parsed).isEmpty(), "the untouched result must pass");
    switch (tamper) {
    case 0:
        parsed.bytes[9] = char(parsed.bytes.at(9) ^ 1);
        break;
    case 1:
        parsed.fields.destinationAddress ^= 0x10;
        break;
    case 2:
        parsed.statusText = QStringLiteral("Frame decoded successfully.");
        break;
    case 3:
        parsed.frameLonger = true;
        break;
    case 4:
        parsed.outcome = ParsedFrame::InvalidLength;
        parsed.statusText = QStringLiteral("Invalid frame length.");
        parsed.statusIsError = true;
        break;
    case 5:
        parsed.outcome = ParsedFrame::Ok;
        parsed.statusText.clear();
        parsed.statusIsError = false;
        break;
    }
    QVERIFY(!fuzzchecks::checkParsedFrame(text, parsed).isEmpty());
}

// Found by fuzz_frametext: a paste with a lone high surrogate before a digit.
// QString::toLower reads such a unit and the next as one pair and leaves the
// digit upper-case, so lower-casing the whole text first would lose it; the
// cleaner takes the digit.
void FuzzReplayTest::cleaningKeepsDigitsAfterLoneSurrogates_data()
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
    QTest::newRow("high surrogate, 0X prefix")
        << units({0xD800, '0', 'X', 'A', 'b'}) << QStringLiteral("ab");
    QTest::newRow("low surrogate first") << units({0xDC00, 'C', '1'}) << QStringLiteral("c1");
    QTest::newRow("real pair then digits") << units({0xD801, 0xDC00, 'E', '9'}) << QStringLiteral("e9");
}

void FuzzReplayTest::cleaningKeepsDigitsAfterLoneSurrogates()
{
    QFETCH(QString, text);
    QFETCH(QString, clean);
    QCOMPARE(cleanFrameText(text), clean);
    QCOMPARE(fuzzchecks::referenceCleanText(text), clean);
}

// The fuzz programs exist only in a clang build with KWN_FUZZ on; an ordinary
// build (this one, unless its cache says otherwise) must hold none of them.
void FuzzReplayTest::normalBuildHasNoFuzzPrograms()
{
    const QDir buildDir(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    QFile cache(buildDir.filePath(QStringLiteral("CMakeCache.txt")));
    if (!cache.open(QIODevice::ReadOnly))
        QSKIP("not run from a CMake build tree");
    const QByteArray settings = cache.readAll();
    if (settings.contains("\nKWN_FUZZ:BOOL=ON"))
        QSKIP("this build has the fuzz targets on");
    for (const QString &target : kTargets)
        QVERIFY2(!QFileInfo::exists(buildDir.filePath(target)), qPrintable(target));
}

QTEST_GUILESS_MAIN(FuzzReplayTest)
#include "fuzzreplaytest.moc"
