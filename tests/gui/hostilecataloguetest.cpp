// Catalogues with absurd counts (tens of thousands of bits, parameters,
// categories or profile files), written by the test: the window comes up,
// a decode returns promptly, the pages build no more than they can show and
// say what they left out, and the Encode page still builds the core's frame.
// What check says of such counts is in tests/data/golden/cli.cases.

#include "app/singleinstancepeer.h"
#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/valueencoding.h"
#include "pages.h"
#include "support/datarows.h"
#include "support/widgetvalues.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLocalSocket>
#include <QtTest>

namespace {

// Far beyond what any of these takes once fixed; only a hang reaches it.
constexpr qint64 kHangMs = 60000;

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
struct Tool : QProcess { ~Tool() override { kill(); waitForFinished(); } };

} // namespace

class HostileCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void pages_data() { addDataRows(QStringLiteral("gui/hostile-catalogues.txt")); }
    void pages()
    {
        QFETCH(QStringList, row);
        const QString kind = row[0], frame = row[2], step = row[3];
        const int count = row[1].toInt();
        const QStringList checks = row[4].split(QStringLiteral("; "));

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
        QList<ParameterInput> inputs{ParameterInput()};
        if (step.contains(QLatin1Char('='))) {
            auto *field = window.find<QLineEdit>(step.section(QLatin1Char('='), 0, 0));
            QVERIFY2(field, qPrintable(step));
            field->selectAll();
            QTest::keyClicks(field, step.section(QLatin1Char('='), 1));
            inputs.first().text = field->text();
        } else if (!step.isEmpty()) {
            auto *box = window.find<QCheckBox>(step);
            QVERIFY2(box, qPrintable(step));
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
            const bool optional = step.startsWith(QLatin1String("paramOptional_"));
            const int k = step.section(QLatin1Char('_'), optional ? 1 : 2).toInt();
            if (optional) {
                inputs.clear();
                for (int i = 0; i < message.parameters.size(); ++i) {
                    inputs.append(defaultInput(message.parameters.at(i)));
                    inputs.last().present = i < k;
                }
            } else {
                for (int i = 0; i <= k; ++i)
                    inputs.first().bitsChecked.append(i == k);
            }
        }
        if (!step.isEmpty()) {
            const QByteArray expected = buildFrameBytes(message, 3, false, QStringLiteral("000001"), QStringLiteral("000002"),
                                                        encodeParameters(message, inputs));
            const QString output = window.find<QLineEdit>(QStringLiteral("LineEditOutputFrame"))->text().remove(QLatin1Char(' '));
            QCOMPARE(hexTextToBytes(output.toLower()), expected);
        }

        // Bit boxes on the Decode page show the frame's data byte exactly.
        const QList<QCheckBox *> boxes = window.decodePage->findChildren<QCheckBox *>(QStringLiteral("checkBoxParameterBit"));
        const quint8 byte = frame.isEmpty() ? 0 : quint8(parseFrameText(frame).fields.data.at(0));
        for (int b = 0; b < boxes.size(); ++b)
            QCOMPARE(boxes.at(b)->isChecked(), bool((byte >> (b % 8)) & 1));

        QCOMPARE(actualChecks(checks, [&](const QString &key) {
                     return key == QLatin1String("boxes") ? QString::number(boxes.size())
                          : key.startsWith(QLatin1String("decode:")) ? widgetValue(window.decodePage, key.mid(7))
                                                                     : widgetValue(window.encodePage, key);
                 }),
                 checks);
    }
    void toolStarts()
    {
        // A copy of the tool of its own, so that no other start hands over to it.
        QTemporaryDir dir;
        const QString tool = dir.filePath(QStringLiteral("kwn-frame-builder"));
        QVERIFY(QFile::copy(QStringLiteral(KWN_APP_PATH), tool));
        QVERIFY(writeCatalogue(dir.path(), QStringLiteral("bits"), 40000));
        Tool first, second; // on the platform of this test
        first.setWorkingDirectory(dir.path());
        second.setWorkingDirectory(dir.path());

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
        const QString ended =
            QStringLiteral("exit status %1, code %2").arg(int(first.exitStatus())).arg(first.exitCode());
        QVERIFY2(first.state() == QProcess::Running, qPrintable(ended));
    }
};

QTEST_MAIN(HostileCatalogueTest)
#include "hostilecataloguetest.moc"
