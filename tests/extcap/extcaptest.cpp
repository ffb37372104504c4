// kwn-extcap as Wireshark runs it: linked into a private home by
// `kwn-frame dissector --install`, listed and captured from by the real
// tshark on a pseudo-terminal made here, stopped the ways Wireshark stops
// it, refusing ports it cannot have, and sending the toolbar's frame through
// control pipes made here (tshark shows no toolbar). Every process started
// is stopped by its id, every wait bounded.

#include "busframes.h"
#include "cataloguefiles.h"
#include "ptypair.h"
#include "toolrun.h"
#include "support/datarows.h"
#include "support/wiresharkhome.h"

#include "capture/capturefile.h"
#include "codec/framedecoding.h"
#include "extcap/controlpacket.h"
#include "serial/serialconnection.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using extcap::ControlCommand;
using extcap::ControlPacket;
using extcap::controlPacketBytes;

namespace {

const QString kExtcap = QStringLiteral(KWN_EXTCAP_PATH);
const QString kTool = QStringLiteral(KWN_CLI_PATH);
const QString kBundled = QStringLiteral(KWN_SOURCE_DIR "/xml");
const QByteArray kMotorStatus = QByteArray::fromHex("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");
const char kNoTshark[] = "tshark is not installed (scripts/setup.sh installs it): Wireshark's side is not tried";

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

int openFifo(const QString &path, int mode)
{
    return ::open(QFile::encodeName(path).constData(), mode | O_NONBLOCK | O_CLOEXEC);
}

// The records of a capture (written first when `bytes` are given) as text,
// "RX HEX", "TX HEX" or "noise HEX", then the reader's complaint if any.
QStringList recordsOf(const QString &path, const QByteArray &bytes = {})
{
    if (!bytes.isEmpty() && !writeFile(path, bytes))
        return {QStringLiteral("cannot write ") + path};
    const capture::CaptureRead read = capture::readCapture(path);
    QStringList texts;
    for (const BusRecord &r : read.records)
        texts << QLatin1String(r.kind == BusRecord::Noise ? "noise " : r.kind == BusRecord::Sent ? "TX " : "RX ")
                + frameToHexText(r.bytes);
    if (!read.error.isEmpty())
        texts << read.error;
    return texts;
}

QString packetText(const ControlPacket &p)
{
    return QStringLiteral("%1/%2 %3").arg(p.control).arg(int(p.command)).arg(QString::fromUtf8(p.payload));
}

} // namespace

class ExtcapTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controlPackets();
    void wiresharkListsInterface();
    void liveCaptureInTshark();
    void stopsCleanly_data();
    void stopsCleanly();
    void portRefused_data();
    void portRefused();
    void toolbarSendsFrame();

private:
    // kwn-extcap capturing from `port` into `fifo`, as Wireshark starts it.
    void startCapture(QProcess &process, const QString &port, const QString &fifo, const QStringList &more = {})
    {
        process.start(kExtcap, QStringList{"--capture", "--extcap-interface", "kwn", "--fifo", fifo, "--port", port} + more);
        QVERIFY(process.waitForStarted());
    }

    QTemporaryDir m_dir;
    QString m_tshark;
    QProcessEnvironment m_home; // shared by tshark and the programs it starts
};

void ExtcapTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    const QString home = m_dir.filePath(QStringLiteral("home"));
    m_home = wiresharkHome(home);
    // The program and the dissector where the private home's Wireshark looks.
    const ToolRun install = runTool(kTool, {"dissector", "--install", "--xml", kBundled}, {}, {}, 30000, m_home);
    QVERIFY2(install.exitCode == 0, install.err.constData());
    for (const char *folder : {"/.config/wireshark/extcap/kwn-extcap", "/.local/lib/wireshark/extcap/kwn-extcap"})
        QCOMPARE(QFileInfo(home + QLatin1String(folder)).canonicalFilePath(), QFileInfo(kExtcap).canonicalFilePath());
    QVERIFY(QFileInfo(home + QStringLiteral("/.local/lib/wireshark/plugins/kwn.lua")).size() > 0);
}

// The packets of the toolbar's pipes, made and read whatever the cuts.
void ExtcapTest::controlPackets()
{
    const ControlPacket sent{2, ControlCommand::Add, "Sent\n"};
    const ControlPacket button{1, ControlCommand::Set, {}};
    QCOMPARE(controlPacketBytes(sent), QByteArray::fromHex("540000070202") + "Sent\n");
    QCOMPARE(controlPacketBytes(button), QByteArray::fromHex("540000020101"));
    const QByteArray cut = controlPacketBytes({0, ControlCommand::Set, QByteArray(70000, 'x')});
    QCOMPARE(cut.left(6), QByteArray::fromHex("540100010001")); // 65535 bytes of payload and two
    QCOMPARE(cut.size(), 6 + 65535);

    const QByteArray stream = controlPacketBytes(sent) + controlPacketBytes(button) + cut + QByteArray("X\0\0\2\1\1", 6);
    extcap::ControlPacketReader reader;
    QStringList read;
    ControlPacket packet;
    for (char byte : stream) {
        reader.append(&byte, 1);
        while (reader.next(&packet))
            read << packetText(packet);
    }
    QCOMPARE(read, (QStringList{packetText(sent), packetText(button), packetText({0, ControlCommand::Set, cut.mid(6)})}));
    QCOMPARE(reader.errorText(), QStringLiteral("a control packet starts with 0x58, not 'T'"));

    extcap::ControlPacketReader tooShort;
    tooShort.append("T\0\0\1\1", 5);
    QVERIFY(!tooShort.next(&packet));
    QCOMPARE(tooShort.errorText(), QStringLiteral("a control packet of length 1"));
}

// tshark lists the interface and takes its options, with the tool's line
// defaults (9600 8N1, tests/data/extcap/options.golden) picked.
void ExtcapTest::wiresharkListsInterface()
{
    if (m_tshark.isEmpty())
        QSKIP(kNoTshark);
    const ToolRun listed = runTool(m_tshark, {"-D"}, {}, {}, 60000, m_home);
    QVERIFY2(listed.out.contains(". kwn (KWN bus (serial))\n"), listed.out.constData());
    const ToolRun prefs = runTool(m_tshark, {"-G", "defaultprefs"}, {}, {}, 60000, m_home);
    for (const char *pref : {"#extcap.kwn.port: \n", "#extcap.kwn.portpath: \n", "#extcap.kwn.baud: 9600\n",
                             "#extcap.kwn.parity: \n", "#extcap.kwn.gap: 100\n"})
        QVERIFY2(prefs.out.contains(pref), pref);

    // What it tells Wireshark of itself, its options and their defaults (the
    // ports found left out: they are the machine's).
    QByteArray told;
    for (const QStringList &call : {QStringList{"--extcap-interfaces"}, QStringList{"--extcap-interface", "kwn", "--extcap-dlts"},
                                    QStringList{"--extcap-interface", "kwn", "--extcap-config"}}) {
        const ToolRun run = runTool(kExtcap, call);
        QCOMPARE(run.exitCode, 0);
        for (const QByteArray &line : run.out.split('\n'))
            told += line.startsWith("value {arg=0}") || line.isEmpty() ? QByteArray() : line + '\n';
    }
    compareGolden(QStringLiteral("extcap/options.golden"), told);
}

// A live capture in tshark holds every frame written to the far end, in
// order, with the noise between them, decoded by the dissector; Ctrl-C on
// tshark leaves the file whole.
void ExtcapTest::liveCaptureInTshark()
{
    if (m_tshark.isEmpty())
        QSKIP(kNoTshark);
    PtyPair pty;
    const QString out = m_dir.filePath(QStringLiteral("live.pcap"));
    QProcess tshark;
    tshark.setProcessEnvironment(m_home);
    tshark.start(m_tshark, {"-i", "kwn", "-o", "extcap.kwn.port:" + pty.path, "-w", out, "-F", "pcap", "-P", "-l",
                            "-T", "fields", "-e", "kwn.direction", "-e", "kwn.message"});
    QVERIFY(tshark.waitForStarted());
    // kwn-extcap, which tshark started, holds the port.
    QVERIFY2(waitUntilHeld(-1, pty.path, 15000), tshark.readAllStandardError().constData());

    QVector<QByteArray> frames = bundledFrames(3, 7);
    frames.prepend(kMotorStatus);
    QStringList expected;
    for (const QByteArray &frame : frames) {
        if (!expected.isEmpty()) {
            QVERIFY(pty.write(QByteArray::fromHex("0102")));
            expected << QStringLiteral("noise 0102");
            QTest::qWait(250); // past the gap: noise of its own
        }
        QVERIFY(pty.write(frame));
        expected << QStringLiteral("RX ") + frameToHexText(frame);
        QTest::qWait(250);
    }
    QByteArray shown;
    readLines(tshark, shown, expected.size());
    QCOMPARE(interrupt(tshark, shown), 0);
    QCOMPARE(recordsOf(out), expected);

    compareGolden(QStringLiteral("extcap/live-fields.golden"), shown); // direction and message, noise between
}

void ExtcapTest::stopsCleanly_data()
{
    QTest::addColumn<QString>("how"); // "reader": Wireshark closes the FIFO; "port": the port goes away
    for (const char *how : {"SIGTERM", "SIGINT", "reader", "port"})
        QTest::newRow(how) << QString(how);
}

// However the capture ends, what it wrote, flushed as it came, is a whole
// capture; only a port that went away is a failure, said in words.
void ExtcapTest::stopsCleanly()
{
    QFETCH(QString, how);
    PtyPair pty;
    const QString fifo = m_dir.filePath(QStringLiteral("fifo-") + how);
    QVERIFY(makeFifo(fifo));
    QProcess extcap;
    startCapture(extcap, pty.path, fifo);
    const int reader = openFifo(fifo, O_RDONLY);
    QVERIFY(reader >= 0);
    QVERIFY(waitUntilOpen(extcap, pty.path));
    QVERIFY(pty.write(kMotorStatus));
    QTest::qWait(200);
    QVERIFY(pty.write(QByteArray::fromHex("0AFF")));
    QByteArray got;
    readFrom(reader, got, 24 + (16 + 1) * 2 + kMotorStatus.size() + 2); // the header, two records
    const QStringList expected{QStringLiteral("RX ") + frameToHexText(kMotorStatus), QStringLiteral("noise 0AFF")};
    QCOMPARE(recordsOf(fifo + QStringLiteral(".pcap"), got), expected); // before it ends

    if (how == QLatin1String("reader"))
        ::close(reader);
    else if (how == QLatin1String("port"))
        pty.closeMaster();
    else
        signalProcess(extcap, how == QLatin1String("SIGTERM") ? SIGTERM : SIGINT);
    const bool lost = how == QLatin1String("port");
    QCOMPARE(finish(extcap, 10000), lost ? 1 : 0);
    const QByteArray said = extcap.readAllStandardError();
    QVERIFY2(lost ? said.startsWith("kwn-extcap: ") && said.endsWith("\n") : said.isEmpty(), said.constData());
    if (how != QLatin1String("reader")) {
        QCOMPARE(recordsOf(fifo + QStringLiteral(".pcap"), readFrom(reader, got, -1)), expected);
        ::close(reader);
    }
}

void ExtcapTest::portRefused_data()
{
    QTest::addColumn<bool>("inUse");
    QTest::addColumn<QString>("words"); // %1: the port, %2: the process that holds it (this one)
    QTest::newRow("missing port") << false << QStringLiteral("No such port: %1.");
    QTest::newRow("port in use") << true << QStringLiteral("Port %1 is locked by process %2.");
}

// A port it cannot have ends the capture with the reason on standard error
// and status 1, and tshark shows the reason (the port typed as Other port).
void ExtcapTest::portRefused()
{
    QFETCH(bool, inUse);
    QFETCH(QString, words);
    PtyPair pty;
    SerialConnection holder;
    SerialSettings settings;
    settings.port = inUse ? pty.path : m_dir.filePath(QStringLiteral("no-such-port"));
    QVERIFY2(!inUse || holder.open(settings), qPrintable(holder.errorText()));
    const QString reason = words.arg(settings.port);
    const QByteArray said = ("kwn-extcap: " + (inUse ? reason.arg(QCoreApplication::applicationPid()) : reason) + '\n').toUtf8();
    QProcess extcap;
    startCapture(extcap, settings.port, m_dir.filePath(QStringLiteral("refused.pcap")));
    QCOMPARE(finish(extcap, 10000), 1);
    QCOMPARE(extcap.readAllStandardError(), said);

    if (m_tshark.isEmpty())
        QSKIP(kNoTshark);
    const ToolRun shown = runTool(m_tshark, {"-i", "kwn", "-o", "extcap.kwn.portpath:" + settings.port, "-a", "duration:20",
                                             "-w", m_dir.filePath(QStringLiteral("refused.pcapng"))},
                                  {}, {}, 60000, m_home);
    QVERIFY2(shown.err.contains(said), shown.err.constData());
}

// The toolbar's frame goes onto the port with the checks of kwn-frame send,
// into the capture as TX; a frame refused says why in the toolbar's log and
// status bar, in send's words, and nothing reaches the port.
void ExtcapTest::toolbarSendsFrame()
{
    PtyPair pty;
    const QString in = m_dir.filePath(QStringLiteral("control-in"));
    const QString out = m_dir.filePath(QStringLiteral("control-out"));
    QVERIFY(makeFifo(in) && makeFifo(out));
    const QString capture = m_dir.filePath(QStringLiteral("toolbar.pcap"));
    QProcess extcap;
    startCapture(extcap, pty.path, capture, {"--extcap-control-in", in, "--extcap-control-out", out});
    // Wireshark's side: the pipe it writes once the program reads it, the one it reads at once.
    int toExtcap = -1;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000 && (toExtcap = openFifo(in, O_WRONLY)) < 0)
        QTest::qWait(10);
    const int fromExtcap = openFifo(out, O_RDONLY);
    QVERIFY(toExtcap >= 0 && fromExtcap >= 0);
    QVERIFY(waitUntilOpen(extcap, pty.path));

    const QByteArray badSum = QByteArray(kMotorStatus).replace(15, 1, "\x21");
    const QString sendSays = QString::fromUtf8(runTool(kTool, {"send", "--port", pty.path, frameToHexText(badSum)}).err);
    QVERIFY2(sendSays.startsWith(QLatin1String("kwn-frame: not sent: ")), qPrintable(sendSays));
    const QString refusal = QStringLiteral("Not sent: ") + sendSays.mid(21).trimmed();
    QByteArray packets;
    for (const QByteArray &text : {QByteArray("f0 ef df ae f3 c5 fe ff ff fd fa fd 0d ff 0c 20"), QByteArray("zz"),
                                   frameToHexText(badSum).toUtf8()})
        packets += controlPacketBytes({0, ControlCommand::Set, text}) + controlPacketBytes({1, ControlCommand::Set, {}});
    QCOMPARE(::write(toExtcap, packets.constData(), size_t(packets.size())), ssize_t(packets.size()));

    QCOMPARE(pty.read(kMotorStatus.size() + 1, 2000), kMotorStatus); // the one frame, once
    const QString noDigits = QStringLiteral("Not sent: the text holds no hexadecimal digits");
    QStringList expected{"2/2 Sent F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20\n", "2/2 " + noDigits + '\n', "2/6 " + noDigits,
                         "2/2 " + refusal + '\n', "2/6 " + refusal};
    expected.sort();
    extcap::ControlPacketReader reader;
    QStringList said;
    ControlPacket packet;
    for (timer.restart(); said.size() < expected.size() + 1 && timer.elapsed() < 10000;) {
        QByteArray got;
        readFrom(fromExtcap, got, 1, 100);
        reader.append(got.constData(), got.size());
        while (reader.next(&packet))
            said << packetText(packet);
    }
    QVERIFY2(!said.isEmpty() && said.takeFirst().startsWith("2/2 Capturing on " + pty.path),
             qPrintable(said.join(QLatin1Char('|'))));
    // "Sent" follows the write to the port, maybe after the refusals.
    said.sort();
    QCOMPARE(said, expected);

    signalProcess(extcap, SIGTERM);
    QCOMPARE(finish(extcap, 10000), 0);
    QCOMPARE(recordsOf(capture), QStringList{QStringLiteral("TX ") + frameToHexText(kMotorStatus)});
    ::close(toExtcap);
    ::close(fromExtcap);
}

QTEST_GUILESS_MAIN(ExtcapTest)
#include "extcaptest.moc"
