// kwn-frame's outputs against golden transcripts: each tests/data/golden/*.cases
// file lists command lines, and its .golden file holds what each printed,
// its exit status and the files it wrote. KWN_UPDATE_GOLDEN=1 writes the
// transcripts anew (read the diff before committing it).
//
// A .cases file, a line each:
//   # a comment
//   stdin: PATH        the next run reads this file (under tests/data)
//   input: TEXT        the next run reads TEXT and a line end (\n, \r, \t, \xHH, \\)
//   xml: PATH          the next run's catalogue folder (under tests/data)
//   file: NAME         the next run's written file NAME goes into the transcript
//   times: masked      the next run's times of the clock show as <time>
//                      (<time.6> to the µs)
//   pty: on            the next run's PTY argument is a pseudo-terminal's far
//                      end; what it wrote there goes into the transcript
//   $ ARGUMENTS        a run, its arguments split as a shell would ('', "", \)
// Every run starts in a fresh folder holding `xml` (the bundled catalogue
// unless told otherwise) and `data` (tests/data), so paths stay relative.

#include "cataloguefiles.h"
#include "ptypair.h"
#include "support/datarows.h"
#include "toolrun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kData = QStringLiteral(KWN_TEST_DATA);

// Shell-like splitting: quotes group, a backslash outside single quotes
// takes the next character as it is.
QStringList splitArguments(const QString &line)
{
    QStringList arguments;
    QString current;
    bool inWord = false;
    QChar quote;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quote.isNull() && c.isSpace()) {
            if (inWord)
                arguments << current;
            current.clear();
            inWord = false;
        } else if (c == QLatin1Char('\\') && quote != QLatin1Char('\'') && i + 1 < line.size()) {
            current += line.at(++i);
            inWord = true;
        } else if ((c == QLatin1Char('"') || c == QLatin1Char('\'')) && (quote.isNull() || quote == c)) {
            quote = quote.isNull() ? c : QChar();
            inWord = true;
        } else {
            current += c;
            inWord = true;
        }
    }
    if (inWord)
        arguments << current;
    return arguments;
}

// Bytes as text, with a backslash, control characters but the line end and
// the tab, and whatever is not UTF-8 written as \\ and \xHH.
QByteArray escaped(const QByteArray &bytes)
{
    QByteArray text;
    for (int i = 0; i < bytes.size();) {
        const uchar c = uchar(bytes.at(i));
        const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        const QByteArray sequence = bytes.mid(i, n);
        if (c == '\\') {
            text += "\\\\";
        } else if (n == 1 && ((c >= 0x20 && c != 0x7F) || c == '\n' || c == '\t')) {
            text += char(c);
        } else if (n > 1 && sequence.size() == n && QString::fromUtf8(sequence).toUtf8() == sequence) {
            text += sequence;
            i += n;
            continue;
        } else {
            text += "\\x" + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
        }
        ++i;
    }
    return text;
}

QByteArray section(const QByteArray &name, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    // Bytes that are not UTF-8 come back changed.
    const bool text = !bytes.contains('\0') && !bytes.contains('\r')
        && QString::fromUtf8(bytes.constData(), bytes.size()).toUtf8() == bytes;
    const QByteArray body = text ? bytes : escaped(bytes);
    return "--- " + name + (text ? "\n" : " (escaped)\n") + body
        + (bytes.endsWith('\n') ? "" : "\n--- (no line end)\n");
}

struct Next
{
    QByteArray input;
    QString xml = QStringLiteral(KWN_SOURCE_DIR "/xml");
    QStringList files;
    bool maskTimes = false;
    bool pty = false;
};

QByteArray runOnce(const QString &line, const Next &next)
{
    QTemporaryDir dir;
    QFile::link(next.xml, dir.filePath(QStringLiteral("xml")));
    QFile::link(kData, dir.filePath(QStringLiteral("data")));
    PtyPair pty;
    QByteArray written;
    QStringList arguments = splitArguments(line);
    std::function<void()> readTerminal;
    if (next.pty) {
        // Read while the run goes on (a write larger than the terminal holds
        // is not held up), and until it has been quiet a while after.
        arguments.replaceInStrings(QStringLiteral("PTY"), pty.path);
        readTerminal = [&] { written += pty.read(65536, 1); };
    }
    const ToolRun run =
        runTool(QStringLiteral(KWN_CLI_PATH), arguments, dir.path(), next.input, 30000, {}, readTerminal);
    for (QByteArray more = pty.read(1, next.pty ? 300 : 0); !more.isEmpty(); more = pty.read(65536, 300))
        written += more;
    QByteArray transcript = "$ " + line.toUtf8() + "\nexit " + QByteArray::number(run.exitCode) + '\n';
    // The run's own folder shows as <dir>.
    QByteArray out = QByteArray(run.out).replace(dir.path().toUtf8(), "<dir>");
    const QByteArray err = QByteArray(run.err).replace(dir.path().toUtf8(), "<dir>").replace(pty.path.toUtf8(), "PTY");
    if (next.maskTimes) {
        // To the ms shows as <time>, to the µs as <time.6>.
        static const QRegularExpression time(QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(\\.\\d+)?Z"));
        static const QRegularExpression micro(QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{6}Z"));
        out = QString::fromUtf8(out).replace(micro, QStringLiteral("<time.6>")).replace(time, QStringLiteral("<time>")).toUtf8();
    }
    transcript += section("out", out) + section("err", err);
    if (next.pty)
        transcript += written.isEmpty() ? "--- nothing written\n" : "--- written\n";
    for (int i = 0; i < written.size(); i += 32)
        transcript += written.mid(i, 32).toHex(' ') + '\n';
    for (const QString &name : next.files)
        transcript += section("file " + name.toUtf8(), readFile(dir.filePath(name)));
    return transcript + '\n';
}

QByteArray transcriptOf(const QString &casesPath)
{
    QByteArray transcript;
    Next next;
    for (const QByteArray &raw : readFile(casesPath).split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1String("$ "))) {
            transcript += runOnce(line.mid(2), next);
            next = Next();
        } else if (line.startsWith(QLatin1String("stdin: ")))
            next.input = readFile(kData + '/' + line.mid(7));
        else if (line.startsWith(QLatin1String("input: ")))
            next.input = unescapedUtf8(line.mid(7)) + '\n';
        else if (line.startsWith(QLatin1String("xml: ")))
            next.xml = kData + '/' + line.mid(5);
        else if (line == QLatin1String("pty: on"))
            next.pty = true;
        else if (line == QLatin1String("times: masked"))
            next.maskTimes = true;
        else if (line.startsWith(QLatin1String("file: ")))
            next.files << line.mid(6);
        else if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            qWarning("%s: a line that is no case: %s", qPrintable(casesPath), raw.constData());
    }
    return transcript;
}

} // namespace

class GoldenTest : public QObject
{
    Q_OBJECT

private slots:
    void transcripts_data()
    {
        QTest::addColumn<QString>("cases");
        for (const QString &name : QDir(kData + "/golden").entryList({"*.cases"}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << name;
    }
    void transcripts()
    {
        QFETCH(QString, cases);
        compareGolden(QStringLiteral("golden/") + cases.chopped(5) + QStringLiteral("golden"),
                      transcriptOf(kData + QStringLiteral("/golden/") + cases));
    }
};

QTEST_GUILESS_MAIN(GoldenTest)
#include "goldentest.moc"
