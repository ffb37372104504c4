// Catalogues with absurd counts (tens of thousands of bits, parameters,
// categories or profile files), written by the test: the window comes up,
// a decode returns promptly, the pages build no more than they can show and
// say what they left out, and the Encode page still builds the core's frame.
// What check says of such counts is in tests/data/golden/cli.cases.

#include "app/singleinstancepeer.h"
#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "catalogue/shownlimits.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/valueencoding.h"
#include "pages.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

namespace {

// Far beyond what any of these takes once fixed; only a hang reaches it.
constexpr qint64 kHangMs = 60000;

// The frames pasted: message 0x10 of node type 3 with one data byte,
// as a master and as a slave message.
const QString kMasterFrame = QStringLiteral("EF F3 FC FE FF FF FD FF FF F5 09 CA");
const QString kSlaveFrame = QStringLiteral("EF F3 CF FE FF FF FD FF FF FA 09 A2");

// The hostile catalogues by kind: "bits" and "slave bits" (message M, one
// bitfield of `count` bits numbered i % 8), "parameters" (M with `count`
// one-byte integers, default i % 200), "optional parameters" (the same, all
// optional), "empty parameters" (M with `count` integers of no bytes), "categories" (`count` messages in a category each)
// and "profiles" (`count` profile files of a product each).
bool writeCatalogue(const QString &root, const QString &kind, int count)
{
    // Room for all of it at once: appending a built-up piece reserves no more
    // than it needs, so growing piece by piece would copy the whole each time.
    QByteArray body;
    body.reserve(96 * count + 128);
    if (kind.endsWith(QLatin1String("bits"))) {
        body += QByteArray("<message name=\"M\" category=\"C\" msg_id=\"0x10\"")
            + (kind.startsWith(QLatin1String("slave")) ? " node_mode=\"slave\"" : "")
            + "><parameter name=\"B\" type=\"bitfield\" size=\"1\">";
        for (int i = 0; i < count; ++i)
            body += "<v value=\"" + QByteArray::number(i % 8) + "\" description=\"b\"/>";
        return writeProfile(root, body + "</parameter></message>");
    }
    if (kind.endsWith(QLatin1String("parameters"))) {
        const bool empty = kind.startsWith(QLatin1String("empty"));
        const bool optional = kind.startsWith(QLatin1String("optional"));
        body += "<message name=\"M\" category=\"C\" msg_id=\"0x10\">";
        for (int i = 0; i < count; ++i)
            body += "<parameter name=\"P" + QByteArray::number(i) + "\" type=\"integer\" size=\"" + (empty ? "0" : "1")
                + "\" default=\"" + QByteArray::number(i % 200) + (optional ? "\" optional=\"yes" : "") + "\"/>";
        return writeProfile(root, body + "</message>");
    }
    if (kind == QLatin1String("categories")) {
        for (int i = 0; i < count; ++i)
            body += "<message name=\"M" + QByteArray::number(100000 + i) + "\" category=\"C" + QByteArray::number(i)
                + "\" msg_id=\"0x10\"/>";
        return writeProfile(root, body);
    }
    for (int i = 0; i < count; ++i) {
        if (!writeFile(root + QStringLiteral("/xml/p%1.xml").arg(i),
                   "<profiles_def><profile product=\"P" + QByteArray::number(100000 + i)
                       + "\" revision=\"1\" node_type=\"3\"/></profiles_def>"))
            return false;
    }
    return true;
}

// A started tool, stopped by its id when the test leaves its scope.
struct Tool : QProcess
{
    ~Tool() override
    {
        kill();
        waitForFinished();
    }
};

} // namespace

class HostileCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void pages_data();
    void pages();
    void toolStarts();
};

void HostileCatalogueTest::pages_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("frame");  // pasted on the Decode page, if any
    QTest::addColumn<QString>("step");   // done on the Encode page: a name to click, or "name=keys"
    // "name.property=value" or "name=missing" on the Encode page, the same
    // after "decode:" on the Decode page, "boxes=N" for the bit boxes decoded.
    QTest::addColumn<QStringList>("checks");

    QTest::newRow("40,000 bits") << "bits" << 40000 << kMasterFrame << "paramBit_0_1" << QStringList{
        "paramBit_0_63.text=Bit 7: b", "paramBit_0_64=missing", "paramBitsLeftOut_0.text=39936 more bits not shown",
        "boxes=64", "decode:labelBitsLeftOut.text=39936 more bits not shown", "decode:LineEditStatus.text=Frame decoded successfully."};
    QTest::newRow("160,000 bits, slave") << "slave bits" << 160000 << kSlaveFrame << "" << QStringList{
        "tabWidgetMessages.count=0", "boxes=64", "decode:labelBitsLeftOut.text=159936 more bits not shown",
        "decode:LineEditMessage.text=M"};
    QTest::newRow("64 bits, nothing left out") << "bits" << 64 << kMasterFrame << "paramBit_0_9" << QStringList{
        "paramBit_0_63.text=Bit 7: b", "paramBitsLeftOut_0=missing", "boxes=64", "decode:labelBitsLeftOut=missing"};
    QTest::newRow("3,000 parameters") << "parameters" << 3000 << "" << "paramEditor_0=5" << QStringList{
        "paramEditor_255.text=55", "paramEditor_256=missing", "labelParametersLeftOut.text=2744 more parameters not shown"};
    // Switching an optional parameter off switches off every later one, shown or not.
    QTest::newRow("300 optional parameters, second off") << "optional parameters" << 300 << "" << "paramOptional_1" << QStringList{
        "paramOptional_255.checked=false", "labelParametersLeftOut.text=44 more parameters not shown"};
    QTest::newRow("300 parameters of no bytes") << "empty parameters" << 300 << kMasterFrame << "" << QStringList{
        "labelParametersLeftOut.text=44 more parameters not shown", "decode:labelParametersLeftOut.text=44 more parameters not shown",
        "decode:LineEditStatus.text=Frame decoded successfully."};
    QTest::newRow("3,000 categories") << "categories" << 3000 << "" << "" << QStringList{
        "tabWidgetMessages.count=" + QString::number(kMaxShownCategories), "labelCategoriesLeftOut.visible=true",
        "labelCategoriesLeftOut.text=2744 more categories not shown", "comboBoxMsg_0.currentText=M100000"};
    QTest::newRow("1,000 profile files") << "profiles" << 1000 << "" << "" << QStringList{
        "comboBoxApplication.count=1000", "comboBoxApplication.currentText=P100000", "labelCategoriesLeftOut.visible=false"};
}

void HostileCatalogueTest::pages()
{
    QFETCH(QString, kind);
    QFETCH(int, count);
    QFETCH(QString, frame);
    QFETCH(QString, step);
    QFETCH(QStringList, checks);

    QTemporaryDir dir;
    QVERIFY(dir.isValid() && writeCatalogue(dir.path(), kind, count));
    QVERIFY(QDir::setCurrent(dir.path()));
    QElapsedTimer timer;
    timer.start();
    Pages window;
    QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
    QCoreApplication::processEvents(); // painted
    QVERIFY2(timer.elapsed() < kHangMs, qPrintable(QString::number(timer.elapsed())));

    if (!frame.isEmpty()) {
        auto *input = window.find<QLineEdit>(QStringLiteral("LineEditInputFrame"));
        timer.restart();
        input->insert(frame); // one edit, as a paste
        QCoreApplication::processEvents();
        QVERIFY2(timer.elapsed() < kHangMs, qPrintable(QString::number(timer.elapsed())));
    }

    // The Encode page builds the core's frame from the editors it shows and
    // the defaults of the parameters it left out.
    const ProfileMap profiles = loadProfiles();
    const MessageDefinition message = messagesOfProfile(profiles.first(), true).value(QStringLiteral("M"));
    QList<ParameterInput> inputs;
    ParameterInput first;
    if (step.startsWith(QLatin1String("paramOptional_"))) {
        auto *box = window.find<QCheckBox>(step);
        QVERIFY2(box, qPrintable(step));
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
        for (int i = 0; i < message.parameters.size(); ++i) {
            inputs.append(defaultInput(message.parameters.at(i)));
            inputs.last().present = i < step.section(QLatin1Char('_'), 1).toInt();
        }
    } else if (step.contains(QLatin1Char('='))) {
        auto *field = window.find<QLineEdit>(step.section(QLatin1Char('='), 0, 0));
        QVERIFY2(field, qPrintable(step));
        field->selectAll();
        QTest::keyClicks(field, step.section(QLatin1Char('='), 1));
        first.text = field->text();
    } else if (!step.isEmpty()) {
        auto *bit = window.find<QCheckBox>(step);
        QVERIFY2(bit, qPrintable(step));
        QTest::mouseClick(bit, Qt::LeftButton, Qt::NoModifier, QPoint(8, bit->height() / 2));
        const int k = step.section(QLatin1Char('_'), 2).toInt();
        for (int i = 0; i <= k; ++i)
            first.bitsChecked.append(i == k);
    }
    if (inputs.isEmpty())
        inputs.append(first);
    if (!step.isEmpty()) {
        const QByteArray data = encodeParameters(message, inputs);
        const QByteArray expected = buildFrameBytes(message, 3, false, QStringLiteral("000001"), QStringLiteral("000002"), data);
        const QString output = window.find<QLineEdit>(QStringLiteral("LineEditOutputFrame"))->text().remove(QLatin1Char(' '));
        QCOMPARE(hexTextToBytes(output.toLower()), expected);
    }

    // Bit boxes on the Decode page show the frame's data byte exactly.
    const QList<QCheckBox *> boxes = window.decodePage->findChildren<QCheckBox *>(QStringLiteral("checkBoxParameterBit"));
    const quint8 byte = frame.isEmpty() ? 0 : quint8(parseFrameText(frame).fields.data.at(0));
    for (int b = 0; b < boxes.size(); ++b)
        QCOMPARE(boxes.at(b)->isChecked(), bool((byte >> (b % 8)) & 1));

    for (const QString &check : checks) {
        const QString key = check.section(QLatin1Char('='), 0, 0);
        QString value;
        if (key == QLatin1String("boxes")) {
            value = QString::number(boxes.size());
        } else {
            const bool decode = key.startsWith(QLatin1String("decode:"));
            QWidget *page = decode ? window.decodePage : window.encodePage;
            QObject *object = page->findChild<QObject *>(key.section(QLatin1Char('.'), 0, 0).mid(decode ? 7 : 0));
            value = !object ? QStringLiteral("missing")
                  : key.contains(QLatin1Char('.')) ? object->property(key.section(QLatin1Char('.'), 1).toLatin1().constData()).toString()
                                                   : QStringLiteral("present");
        }
        QCOMPARE(QString(key + QLatin1Char('=') + value), check); // names the check when it fails
    }
}

void HostileCatalogueTest::toolStarts()
{
    // A copy of the tool of its own, so that no other start hands over to it.
    QTemporaryDir dir;
    const QString tool = dir.filePath(QStringLiteral("kwn-frame-builder"));
    QVERIFY(QFile::copy(QStringLiteral(KWN_APP_PATH), tool));
    QVERIFY(writeCatalogue(dir.path(), QStringLiteral("bits"), 40000));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    Tool first, second;
    for (Tool *process : {&first, &second}) {
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(dir.path());
    }

    first.start(tool, QStringList());
    QVERIFY(first.waitForStarted(kHangMs));
    // It owns its identity before it builds the window.
    QLocalSocket probe;
    const QString server = SingleInstancePeer::serverNameOf(SingleInstancePeer::identityOf(tool));
    QTRY_VERIFY_WITH_TIMEOUT((probe.abort(), probe.connectToServer(server), probe.waitForConnected(200))
                                 || first.state() != QProcess::Running, kHangMs);
    probe.abort();
    // A later start ends with 0 once the first has acknowledged the hand-over,
    // which it does from its event loop, with the window shown.
    QTRY_VERIFY_WITH_TIMEOUT((second.start(tool, QStringList()), second.waitForFinished(kHangMs), second.exitCode() == 0)
                                 || first.state() != QProcess::Running, kHangMs);
    QTest::qWait(500); // a few more rounds of painting
    QVERIFY2(first.state() == QProcess::Running,
             qPrintable(QStringLiteral("exit status %1, code %2").arg(int(first.exitStatus())).arg(first.exitCode())));
}

QTEST_MAIN(HostileCatalogueTest)
#include "hostilecataloguetest.moc"
