// The generated dissector in the real tshark, run in a private home on files
// only: every frame shows the texts `kwn-frame decode --json` gives, for the
// bundled, made-up, hostile and odd catalogues, bad frames and noise; display
// filters select what decode's filter selects; replies link as `replies` pairs.

#include "pcapfiles.h"
#include "randomcatalogue.h"
#include "toolrun.h"
#include "support/datarows.h"
#include "support/wiresharkhome.h"

#include "catalogue/catalogue.h"
#include "codec/buslog.h"
#include "codec/framedecoding.h"
#include "codec/valueencoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kTool = QStringLiteral(KWN_CLI_PATH);
const QString kBundled = QStringLiteral(KWN_SOURCE_DIR "/xml");

// One record of the test's log: a frame (RX or TX) or a noise run.
struct Line
{
    bool noise = false;
    bool sent = false;
    QByteArray bytes;
};

QByteArray logOf(const QVector<Line> &lines)
{
    QByteArray log;
    qint64 ms = 1796598109407;
    for (const Line &line : lines) {
        const QByteArray time = busLogTime(ms += 7).toUtf8();
        const QByteArray hex = frameToHexText(line.bytes).toUtf8();
        if (line.noise)
            log += "# " + time + " noise: " + hex + "\n";
        else
            log += time + (line.sent ? " TX " : " RX ") + hex + "\n";
    }
    return log;
}

// Frames of every message of every device of a catalogue: with the
// defaults, with random bytes of the full size, and cut short.
QVector<Line> everyMessage(const QString &folder, randomcatalogue::Generator &g)
{
    QVector<Line> lines;
    const ProfileMap profiles = loadProfiles(folder);
    for (const QString &product : productNames(profiles)) {
        const ProfileDefinition profile = findProfile(profiles, product, revisionsOf(profiles, product).value(0));
        for (const MessageDefinition &message : messagesOfProfile(profile, false)) {
            const QByteArray defaults = encodeParameters(message, {});
            QByteArray random(defaults.size(), '\0');
            for (char &b : random)
                b = char(g.below(256));
            for (const QByteArray &data : {defaults, random, defaults.left(g.below(defaults.size() + 1))}) {
                const QByteArray cut = data.left(kMaxDataBytes);
                Line line;
                line.sent = g.below(2);
                line.bytes = packFrame(message.msgId, g.below(2), quint8(kFrameOverheadBytes + cut.size()), 0,
                                       quint8(profile.nodeType), 0x000001, g.below(2) ? 0x3A0C51 : 0xFFFFFF, cut);
                lines.append(line);
            }
        }
    }
    return lines;
}

QVector<Line> withNoise(const QVector<QByteArray> &frames, randomcatalogue::Generator &g)
{
    QVector<Line> lines;
    for (const QByteArray &frame : frames) {
        if (g.below(6) == 0)
            lines.append(Line{true, false, QByteArray(1 + g.below(5), char(g.below(256)))});
        lines.append(Line{false, g.below(2) == 1, frame});
    }
    return lines;
}

// The single-line text of one parameter of decode's JSON, or empty for a bare label.
QString parameterText(const QJsonObject &p)
{
    const QString name = p.value(QStringLiteral("name")).toString();
    if (p.contains(QStringLiteral("bits"))) {
        QStringList on;
        for (const QJsonValue &bit : p.value(QStringLiteral("bits")).toArray()) {
            if (bit.toObject().value(QStringLiteral("checked")).toBool())
                on << bit.toObject().value(QStringLiteral("label")).toString();
        }
        return name + QStringLiteral("=[") + on.join(QStringLiteral("; ")) + QLatin1Char(']');
    }
    if (!p.contains(QStringLiteral("value")))
        return QString();
    const QString value = p.value(QStringLiteral("value")).toString();
    // Strings (no "raw") are shown with their escapes, as on the single line.
    return name + QLatin1Char('=') + (p.contains(QStringLiteral("raw")) ? value : visibleText(value));
}

QStringList words(const char *spaced)
{
    return QString::fromLatin1(spaced).split(QLatin1Char(' '));
}

QStringList strings(const QJsonObject &layers, const char *field)
{
    return layers.value(QLatin1String(field)).toVariant().toStringList();
}

} // namespace

class TsharkTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesDecode_data();
    void matchesDecode();
    void filterSelectsAsDecode_data();
    void filterSelectsAsDecode();
    void damagedRecordAsDecodeSays_data();
    void damagedRecordAsDecodeSays();
    void repliesLinkedAsPaired_data();
    void repliesLinkedAsPaired();

private:
    ToolRun tshark(const QString &name, const QStringList &arguments);
    bool makeDissector(const QString &folder, const QString &name);
    QByteArray prepare(const QString &folder, const QVector<Line> &lines, const QString &name);

    QString m_tshark;
    QTemporaryDir m_dir;
};

void TsharkTest::initTestCase()
{
    m_tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (m_tshark.isEmpty())
        QSKIP("tshark is not installed (scripts/setup.sh installs it): the dissector is not tried");
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("home/.config"))));
}

// tshark over the capture `name`.pcap with the dissector `name`.lua.
ToolRun TsharkTest::tshark(const QString &name, const QStringList &arguments)
{
    return runTool(m_tshark, QStringList{"-X", "lua_script:" + m_dir.filePath(name + ".lua"), "-r", m_dir.filePath(name + ".pcap")} + arguments,
                   QString(), QByteArray(), 120000, wiresharkHome(m_dir.filePath(QStringLiteral("home"))));
}

bool TsharkTest::makeDissector(const QString &folder, const QString &name)
{
    return runTool(kTool, QStringList{"dissector", "--xml", folder, "-o", m_dir.filePath(name + ".lua")}).exitCode == 0;
}

// The log, its capture and the dissector of the catalogue; the log's text,
// empty if one of them could not be made.
QByteArray TsharkTest::prepare(const QString &folder, const QVector<Line> &lines, const QString &name)
{
    const QString log = m_dir.filePath(name + QStringLiteral(".log"));
    if (!writeFile(log, logOf(lines)))
        return QByteArray();
    const ToolRun converted = runTool(kTool, {QStringLiteral("convert"), log, m_dir.filePath(name + QStringLiteral(".pcap"))});
    return converted.exitCode == 0 && makeDissector(folder, name) ? readFile(log) : QByteArray();
}

// The folder of a catalogue, or none for a made-up one, or "odd" for
// tests/data/dissector/odd: a message without a name (unknown to decode)
// alone and hiding a named one of its identifier, two messages sharing an
// identifier (the first by name wins), a name overridden by a later file,
// empty and repeated parameter names, odd sizes, an identifier past a byte,
// two products of one node type, two revisions and a product without a name.
void TsharkTest::matchesDecode_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("seed");
    QTest::addColumn<bool>("hostile");
    QTest::newRow("bundled catalogue") << kBundled << 1 << false;
    for (int seed = 1; seed <= 3; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("random catalogue %1").arg(seed))) << QString() << seed << false;
    for (int seed = 11; seed <= 13; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("hostile catalogue %1").arg(seed))) << QString() << seed << true;
    QTest::newRow("odd catalogue") << QStringLiteral("odd") << 21 << false;
}

void TsharkTest::matchesDecode()
{
    QFETCH(QString, folder);
    QFETCH(int, seed);
    QFETCH(bool, hostile);
    randomcatalogue::Generator g(quint32(seed), hostile);
    if (folder == QLatin1String("odd")) {
        folder = QStringLiteral(KWN_TEST_DATA "/dissector/odd");
        g.nodeTypes = {3, 5, 7};
        g.messageIds = {0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x38};
    } else if (folder.isEmpty()) {
        folder = m_dir.filePath(QStringLiteral("catalogue%1").arg(seed));
        QVERIFY(randomcatalogue::writeCatalogue(g, folder));
    }
    const QVector<Line> lines =
        withNoise(g.messageIds.isEmpty() ? QVector<QByteArray>() : randomcatalogue::frames(g, 150), g) + everyMessage(folder, g);
    const QString name = QStringLiteral("m%1").arg(seed);
    const QByteArray log = prepare(folder, lines, name);
    QVERIFY(!log.isEmpty());

    const ToolRun decoded = runTool(kTool, words("decode --json --xml") << folder, QString(), log);
    QCOMPARE(decoded.exitCode, 0);
    const ToolRun shown = tshark(name, words("-T json -e kwn.direction -e kwn.device -e kwn.message -e kwn.mode -e kwn.source "
                                             "-e kwn.destination -e kwn.status -e kwn.parameter -e kwn.ack -e kwn.node_type "
                                             "-e kwn.checksum_ok -e kwn.msg_id"));
    QVERIFY2(shown.exitCode == 0, shown.err.constData());
    QVERIFY2(!shown.err.contains("Lua"), shown.err.constData());
    const QJsonArray packets = QJsonDocument::fromJson(shown.out).array();
    QCOMPARE(packets.size(), lines.size());

    const QList<QByteArray> reports = decoded.out.split('\n');
    int report = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject layers = packets.at(i).toObject().value(QStringLiteral("_source")).toObject()
                                       .value(QStringLiteral("layers")).toObject();
        const QString where = QStringLiteral("record %1: %2").arg(i + 1).arg(frameToHexText(lines.at(i).bytes));
        if (lines.at(i).noise) {
            QCOMPARE(strings(layers, "kwn.direction"), QStringList{QStringLiteral("2")});
            QVERIFY2(!layers.contains(QStringLiteral("kwn.status")), qPrintable(where));
            continue;
        }
        const QJsonObject json = QJsonDocument::fromJson(reports.at(report++)).object();
        QVERIFY2(!json.isEmpty(), qPrintable(where));
        // Field by field, "-" for none; the addressing only for a frame of a known device.
        const auto text = [&json](const char *key) {
            const QJsonValue value = json.value(QLatin1String(key));
            return value.isBool() ? QString::number(int(value.toBool())) : value.toVariant().toString();
        };
        QStringList parameters;
        for (const QJsonValue &p : json.value(QStringLiteral("parameters")).toArray())
            parameters << parameterText(p.toObject());
        parameters.removeAll(QString());
        QStringList fields = words("direction status device message parameter checksum_ok");
        QStringList expected{QLatin1String(text("direction") == QLatin1String("TX") ? "1" : "0"), text("status"),
                             text("device"), text("message"), parameters.join(QLatin1String(" | ")),
                             text("checksumOk")};
        if (json.contains(QStringLiteral("device"))) {
            fields << words("mode source destination ack node_type");
            expected << text("mode").toUpper() << text("source") << text("destination") << text("ack")
                     << text("nodeType");
        }
        const auto listed = [](const QString &field, const QString &value) -> QString {
            return field + QLatin1Char('=') + (value.isEmpty() ? QStringLiteral("-") : value);
        };
        QStringList shownFields;
        for (int f = 0; f < fields.size(); ++f) {
            shownFields << listed(fields.at(f), strings(layers, qPrintable("kwn." + fields.at(f))).join(" | "));
            expected[f] = listed(fields.at(f), expected.at(f));
        }
        QVERIFY2(shownFields == expected, qPrintable(QStringLiteral("%1: tshark %2, decode %3")
                                                         .arg(where, shownFields.join(' '), expected.join(' '))));
    }
    QCOMPARE(report, reports.size() - 1);
}

// The expressions of dissector/tshark-filters.txt over the parameters of a
// catalogue: its numbers, strings and parameters of no known type.
QStringList expressionsFor(const QString &folder)
{
    QStringList numbers;
    QStringList texts;
    QStringList labels;
    const ProfileMap profiles = loadProfiles(folder);
    for (const ProfileDefinition &profile : profiles) {
        for (const MessageDefinition &message : messagesOfProfile(profile, false)) {
            for (const ParameterDefinition &p : message.parameters) {
                if (p.name.isEmpty() || p.name.contains(QLatin1Char(']')) || p.name != p.name.trimmed())
                    continue;
                QStringList &list = p.type == QLatin1String("string") ? texts
                    : p.type == QLatin1String("integer") || p.type == QLatin1String("bitfield") ? numbers
                                                                                                 : labels;
                if (!list.contains(p.name))
                    list << p.name;
            }
        }
    }
    QStringList expressions;
    for (const QStringList &row : readDataRows(QStringLiteral("dissector/tshark-filters.txt"))) {
        const QString form = unescaped(row[2]);
        const QStringList &names = row[1].endsWith("number") ? numbers : row[1] == "text" ? texts : labels;
        if (row[1] == "header")
            expressions << form;
        else if (row[1] == "each number")
            for (int i = 0; i < qMin(4, int(numbers.size())); ++i)
                expressions << form.arg(numbers.at(i * numbers.size() / 4));
        else if (!names.isEmpty())
            expressions << form.arg(names.first());
    }
    return expressions;
}

void TsharkTest::filterSelectsAsDecode_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("seed");
    QTest::newRow("bundled catalogue") << kBundled << 3;
    for (int seed = 4; seed <= 5; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("random catalogue %1").arg(seed))) << QString() << seed;
}

// kwn-frame filter --wireshark gives the display filter that selects in tshark
// what --filter selects in decode, parameters through kwn.p.<name>.
void TsharkTest::filterSelectsAsDecode()
{
    QFETCH(QString, folder);
    QFETCH(int, seed);
    randomcatalogue::Generator g(quint32(seed), false);
    QVector<Line> lines;
    if (folder.isEmpty()) {
        folder = m_dir.filePath(QStringLiteral("fcatalogue%1").arg(seed));
        QVERIFY(randomcatalogue::writeCatalogue(g, folder));
        lines = withNoise(randomcatalogue::frames(g, 150), g);
    }
    lines += everyMessage(folder, g) + everyMessage(folder, g);
    const QString name = QStringLiteral("f%1").arg(seed);
    const QByteArray logText = prepare(folder, lines, name);
    QVERIFY(!logText.isEmpty());
    // Each record's time, by frame number.
    QHash<QString, int> frameAt;
    qint64 ms = 1796598109407;
    for (int i = 0; i < lines.size(); ++i)
        frameAt.insert(busLogTime(ms += 7), i + 1);
    const QStringList expressions = expressionsFor(folder);
    for (const QString &expression : expressions) {
        const ToolRun filter = runTool(kTool, words("filter --wireshark --xml") << folder << expression);
        QVERIFY2(filter.exitCode == 0, qPrintable(expression + QLatin1Char(' ') + QString::fromUtf8(filter.err)));
        const ToolRun decoded =
            runTool(kTool, words("decode --json --xml") << folder << QStringLiteral("--filter") << expression, QString(), logText);
        QStringList expected;
        for (const QByteArray &line : decoded.out.split('\n'))
            if (!line.isEmpty())
                expected << QString::number(frameAt.value(QJsonDocument::fromJson(line).object().value("time").toString()));
        const QString display = QString::fromUtf8(filter.out).trimmed();
        const ToolRun shown = tshark(name, words("-T fields -e frame.number -Y") << display);
        QVERIFY2(shown.exitCode == 0, qPrintable(display + QLatin1Char(' ') + QString::fromUtf8(shown.err)));
        QVERIFY2(QString::fromUtf8(shown.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts) == expected,
                 qPrintable(QStringLiteral("%1 -> %2: tshark %3, decode %4")
                                .arg(expression, display, QString::fromUtf8(shown.out).simplified(), expected.join(' '))));
    }
    QVERIFY(expressions.size() >= 12);
}

// A record that decode refuses, after a sound one, is shown damaged with the
// reason decode gives, and not decoded.
void TsharkTest::damagedRecordAsDecodeSays_data()
{
    QTest::addColumn<QByteArray>("record");
    const QByteArray frame = packFrame(0x50, false, 11, 0, 8, 1, 0x3A0C51, QByteArray());
    QTest::newRow("frame too short") << pcapRecord(QByteArray::fromHex("0001020304"));
    QTest::newRow("frame too long") << pcapRecord('\1' + frame + frame + frame);
    QTest::newRow("direction 3") << pcapRecord('\3' + frame);
    QTest::newRow("noise of no bytes") << pcapRecord(QByteArray(1, '\2'));
    QTest::newRow("empty record") << pcapRecord(QByteArray());
    QTest::newRow("cut short") << pcapRecord('\0' + frame, 1796598110, 0, -1, 40);
}

void TsharkTest::damagedRecordAsDecodeSays()
{
    QFETCH(QByteArray, record);
    const QString capture = m_dir.filePath(QStringLiteral("damaged.pcap"));
    const QByteArray sound = '\0' + packFrame(0x50, false, 11, 0, 8, 1, 0x3A0C51, QByteArray());
    QVERIFY(writeFile(capture, pcapHeader() + pcapRecord(sound) + record));
    QVERIFY(makeDissector(kBundled, QStringLiteral("damaged")));
    const ToolRun decoded = runTool(kTool, words("decode --xml") << kBundled << QStringLiteral("--input") << capture);
    const QList<QByteArray> said = decoded.err.trimmed().split('\n').last().split(':');
    QVERIFY2(decoded.exitCode != 0 && said.size() >= 2 && said.at(said.size() - 2).endsWith("record 2"),
             decoded.err.constData());
    const ToolRun shown = tshark(QStringLiteral("damaged"), words("-T fields -e kwn.damaged -e kwn.status"));
    QVERIFY2(shown.exitCode == 0, shown.err.constData());
    QCOMPARE(shown.out, "\tFrame decoded successfully.\n" + said.last().trimmed() + "\t\n");
}

// A capture of a bus of the bundled catalogue: two controllers asking two
// nodes of each device, to all and to groups, the nodes answering (often
// the request just before, now and then to all, with a bad checksum or as
// an unknown message), with noise, times µs apart, gaps about the timeout
// and at its very limit, and now and then the clock set back.
QByteArray pairingCapture(randomcatalogue::Generator &g, int timeoutMs, QHash<QString, int> &frameAt)
{
    struct Kind { quint8 nodeType; quint8 id; bool slave; QByteArray data; };
    QVector<Kind> kinds;
    const ProfileMap profiles = loadProfiles(kBundled);
    for (const QString &product : productNames(profiles)) {
        const ProfileDefinition profile = findProfile(profiles, product, revisionsOf(profiles, product).value(0));
        for (const MessageDefinition &m : messagesOfProfile(profile, false))
            kinds.append({quint8(profile.nodeType), m.msgId, m.nodeMode == NodeMode::Slave, encodeParameters(m, {})});
    }
    QByteArray capture = pcapHeader();
    qint64 us = 1796598109000000;
    QSet<qint64> used;
    quint32 asker = 1;
    int askedType = -1;
    for (int frame = 1; frame <= 400; ++frame) {
        do
            us += g.below(20) == 0 ? -3000 * timeoutMs : g.below(6) == 0 ? 1000 * timeoutMs + 1 - g.below(3) : g.below(30000) + 1;
        while (used.contains(us));
        used.insert(us);
        frameAt.insert(busLogTimeUs(us, true), frame);
        QByteArray record(1, '\2');
        if (g.below(12) == 0) {
            record += QByteArray(1 + g.below(3), '\x55');
        } else {
            // Often a reply to the last request: a slave message of its device to its sender.
            Kind k = kinds.at(g.below(kinds.size()));
            while (askedType >= 0 && g.below(3) > 0 && !(k.slave && k.nodeType == askedType))
                k = kinds.at(g.below(kinds.size()));
            const quint32 controller = k.slave && askedType >= 0 ? asker : 1 + g.below(2);
            const quint32 node = 0x100000 * k.nodeType + g.below(2);
            const int route = g.below(12);
            const quint32 far = route == 0 ? 0xFFFFFF : route == 1 ? 0 : k.slave ? controller : node;
            const quint8 id = g.below(25) == 0 ? 0x7F : k.id;
            record[0] = char(k.slave ? 0 : 1);
            record += packFrame(id, false, quint8(kFrameOverheadBytes + k.data.size()), k.slave ? k.nodeType : 0,
                                k.slave ? 0 : k.nodeType, k.slave ? node : route == 1 ? 5 : controller, far, k.data);
            if (g.below(25) == 0)
                record[record.size() - 1] = char(record.at(record.size() - 1) ^ 1);
            asker = controller;
            askedType = k.slave ? -1 : k.nodeType;
        }
        capture += pcapRecord(record, quint32(us / 1000000), quint32(us % 1000000));
    }
    return capture;
}

void TsharkTest::repliesLinkedAsPaired_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("default timeout") << 31 << 1000;
    QTest::newRow("50 ms") << 32 << 50;
    QTest::newRow("300 ms") << 33 << 300;
}

// Each request's replies, each reply's request and delay, and the requests
// left unanswered, as kwn-frame replies --json pairs them and as tshark -2
// links them.
void TsharkTest::repliesLinkedAsPaired()
{
    QFETCH(int, seed);
    QFETCH(int, timeoutMs);
    randomcatalogue::Generator g(quint32(seed), false);
    QHash<QString, int> frameAt;
    const QString name = QStringLiteral("pairs%1").arg(seed), capture = m_dir.filePath(name + ".pcap");
    QVERIFY(writeFile(capture, pairingCapture(g, timeoutMs, frameAt)) && makeDissector(kBundled, name));
    const ToolRun paired =
        runTool(kTool, words("replies --json --timeout") << QString::number(timeoutMs) << "--xml" << kBundled << capture);
    QVERIFY2(paired.exitCode == 0, paired.err.constData());
    QStringList expected;
    for (const QByteArray &line : paired.out.split('\n')) {
        const QJsonObject request = QJsonDocument::fromJson(line).object();
        if (request.isEmpty())
            continue;
        const int at = frameAt.value(request.value(QStringLiteral("time")).toString());
        QStringList replies;
        for (const QJsonValue &r : request.value(QStringLiteral("replies")).toArray()) {
            const QJsonObject reply = r.toObject();
            const int replyAt = frameAt.value(reply.value(QStringLiteral("time")).toString());
            replies << QString::number(replyAt);
            expected << QStringLiteral("%1 answers %2 after %3").arg(replyAt).arg(at).arg(reply.value(QStringLiteral("afterMs")).toDouble() / 1000, 0, 'f', 6);
        }
        expected << QStringLiteral("%1 %2").arg(at).arg(replies.isEmpty() ? QStringLiteral("unanswered") : replies.join(QLatin1Char(',')));
    }
    const ToolRun shown = tshark(name, words("-2 -T fields -e frame.number -e kwn.reply_in -e kwn.request_in -e kwn.reply_time "
                                             "-e _ws.expert.message -o") << QStringLiteral("kwn.reply_timeout:%1").arg(timeoutMs));
    QVERIFY2(shown.exitCode == 0 && !shown.err.contains("Lua"), shown.err.constData());
    QStringList linked;
    for (const QByteArray &line : shown.out.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 5)
            continue;
        if (!f.at(2).isEmpty())
            linked << QStringLiteral("%1 answers %2 after %3").arg(QString::fromUtf8(f.at(0)), QString::fromUtf8(f.at(2)))
                          .arg(f.at(3).toDouble(), 0, 'f', 6);
        if (!f.at(1).isEmpty() || f.at(4).contains("without a reply"))
            linked << QString::fromUtf8(f.at(0) + ' ' + (f.at(1).isEmpty() ? QByteArray("unanswered") : f.at(1)));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(linked.begin(), linked.end());
    QVERIFY(expected.filter(QStringLiteral("unanswered")).size() >= 5 && expected.filter(QStringLiteral(",")).size() >= 2);
    QCOMPARE(linked, expected);
}

QTEST_GUILESS_MAIN(TsharkTest)
#include "tsharktest.moc"
