// The command line must give exactly what the pages show: every message of
// the bundled catalogue built on the Encode page and with `kwn-frame encode`,
// and frames pasted into the Decode page and given to `kwn-frame decode --json`.

#include "decoder/debuilderlayout.h"
#include "encoder/builderlayout.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

namespace {

QByteArray runKwnFrame(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(QStringLiteral(KWN_SOURCE_DIR));
    process.start(QStringLiteral(KWN_CLI_PATH), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000))
        return "(timed out)";
    return process.readAllStandardOutput();
}

// What one built message looks like on the Encode page, with the arguments
// that ask the command line for the same frame.
struct EncodedCase
{
    QString device;
    QString message;
    QStringList arguments;
    QString output;
};

} // namespace

class CommandLineAgreementTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void encodeMatchesEncodePage();
    void decodeMatchesDecodePage();

private:
    // Walks every device, tab and message of the Encode page; with `edit` set
    // every visible editor is first changed the way a user would.
    QList<EncodedCase> walkEncodePage(bool edit);
    QList<EncodedCase> defaults;
    QList<EncodedCase> edited;
};

void CommandLineAgreementTest::initTestCase()
{
    QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR));
    defaults = walkEncodePage(false);
    edited = walkEncodePage(true);
    QVERIFY(defaults.size() >= 30);
    QCOMPARE(edited.size(), defaults.size());
    // The edits must reach the frames, or the second walk proves nothing.
    int withParameters = 0;
    int changed = 0;
    for (int i = 0; i < defaults.size(); ++i) {
        withParameters += edited.at(i).arguments.size() > defaults.at(i).arguments.size() ? 1 : 0;
        changed += defaults.at(i).output != edited.at(i).output ? 1 : 0;
    }
    QVERIFY2(withParameters >= 10 && changed * 4 >= withParameters * 3,
             qPrintable(QStringLiteral("%1 of %2").arg(changed).arg(withParameters)));
}

QList<EncodedCase> CommandLineAgreementTest::walkEncodePage(bool edit)
{
    QList<EncodedCase> cases;
    BuilderLayout panel;
    QWidget window;
    window.setLayout(panel.getLayout());
    window.show();

    auto *devices = window.findChild<QComboBox *>(QStringLiteral("comboBoxApplication"));
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidgetMessages"));
    auto *output = window.findChild<QLineEdit *>(QStringLiteral("LineEditOutputFrame"));
    for (int d = 0; d < devices->count(); ++d) {
        devices->setCurrentIndex(d);
        for (int t = 0; t < tabs->count(); ++t) {
            tabs->setCurrentIndex(t);
            QWidget *page = tabs->currentWidget();
            auto *selector =
                page->findChildren<QComboBox *>(QRegularExpression(QStringLiteral("^comboBoxMsg_"))).value(0);
            for (int m = 0; m < selector->count(); ++m) {
                selector->setCurrentIndex(m);
                EncodedCase c;
                c.device = devices->currentText();
                c.message = selector->currentText();
                c.arguments = QStringList{QStringLiteral("encode"), QStringLiteral("--device"), c.device,
                                          QStringLiteral("--message"), c.message};
                for (int i = 0; edit; ++i) {
                    QLabel *label = page->findChild<QLabel *>(QStringLiteral("paramLabel_%1").arg(i));
                    if (!label)
                        break;
                    if (!label->isVisibleTo(page))
                        continue;
                    const QString name = label->text().chopped(1);
                    QWidget *editor = page->findChild<QWidget *>(QStringLiteral("paramEditor_%1").arg(i));
                    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
                        combo->setCurrentIndex(combo->count() - 1);
                        c.arguments << name + QLatin1Char('=') + combo->currentText();
                    } else if (auto *field = qobject_cast<QLineEdit *>(editor)) {
                        // Keep the last character off: a user-typed edit that is
                        // often out of range or too short, so red texts are compared too.
                        field->setFocus();
                        QTest::keyClick(field, Qt::Key_End);
                        QTest::keyClick(field, Qt::Key_Backspace);
                        QTest::keyClicks(field, QStringLiteral("7"));
                        c.arguments << name + QLatin1Char('=') + field->text();
                    } else {
                        QStringList bits;
                        for (int k = 0;; ++k) {
                            auto *box = page->findChild<QCheckBox *>(QStringLiteral("paramBit_%1_%2").arg(i).arg(k));
                            if (!box)
                                break;
                            if (k % 2 == 0) {
                                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
                                bits << box->text().section(QLatin1Char(' '), 1, 1).chopped(1);
                            }
                        }
                        c.arguments << name + QLatin1Char('=') + bits.join(QLatin1Char(','));
                    }
                }
                c.output = output->text();
                cases << c;
            }
        }
    }
    return cases;
}

void CommandLineAgreementTest::encodeMatchesEncodePage()
{
    for (const QList<EncodedCase> &list : {defaults, edited}) {
        for (const EncodedCase &c : list) {
            const QString printed = QString::fromUtf8(runKwnFrame(c.arguments));
            QVERIFY2(printed == c.output + QLatin1Char('\n'),
                     qPrintable(QStringLiteral("%1 / %2 %3:\n page %4\n  cli %5")
                                    .arg(c.device, c.message, c.arguments.mid(5).join(' '), c.output, printed)));
        }
    }
}

void CommandLineAgreementTest::decodeMatchesDecodePage()
{
    DebuilderLayout panel;
    QWidget window;
    window.setLayout(panel.getLayout());
    window.show();
    auto *input = window.findChild<QLineEdit *>(QStringLiteral("LineEditInputFrame"));

    QStringList frames;
    for (const EncodedCase &c : defaults + edited)
        frames << c.output;
    frames << QStringLiteral("zz") << QStringLiteral("00 11 22") << QStringLiteral("0x40 0x0B 0x00 0x01");

    for (const QString &frame : frames) {
        // Paste, as a user would.
        input->setFocus();
        input->selectAll();
        QGuiApplication::clipboard()->setText(frame);
        QTest::keyClick(input, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(input->text(), frame);

        const QJsonObject o =
            QJsonDocument::fromJson(runKwnFrame({QStringLiteral("decode"), QStringLiteral("--json"), frame})).object();
        const QString context = frame + QStringLiteral(": ") + o.value(QStringLiteral("status")).toString();
        auto *status = window.findChild<QLineEdit *>(QStringLiteral("LineEditStatus"));
        QVERIFY2(o.value(QStringLiteral("status")).toString() == status->text(), qPrintable(context));
        QCOMPARE(o.value(QStringLiteral("error")).toBool(), status->styleSheet() == QStringLiteral("color: red"));
        if (!o.contains(QStringLiteral("device")))
            continue;
        QCOMPARE(o.value(QStringLiteral("device")).toString(),
                 window.findChild<QLineEdit *>(QStringLiteral("LineEditApplication"))->text());
        QCOMPARE(o.value(QStringLiteral("source")).toString(),
                 window.findChild<QLineEdit *>(QStringLiteral("LineEditSource"))->text());
        QCOMPARE(o.value(QStringLiteral("destination")).toString(),
                 window.findChild<QLineEdit *>(QStringLiteral("LineEditDestination"))->text());
        QCOMPARE(o.value(QStringLiteral("ack")).toBool(),
                 window.findChild<QCheckBox *>(QStringLiteral("checkBoxAcknowledge"))->isChecked());
        const QString mode = o.value(QStringLiteral("mode")).toString();
        const QString radio = mode == QLatin1String("Group")       ? QStringLiteral("radioButtonGroup")
                              : mode == QLatin1String("Broadcast") ? QStringLiteral("radioButtonBroadcast")
                                                                   : QStringLiteral("radioButtonP2P");
        QVERIFY(window.findChild<QRadioButton *>(radio)->isChecked());
        QCOMPARE(QString::number(o.value(QStringLiteral("nodeType")).toInt()),
                 window.findChild<QLabel *>(QStringLiteral("labelNodeType"))->text());
        QCOMPARE(o.value(QStringLiteral("message")).toString(),
                 window.findChild<QLineEdit *>(QStringLiteral("LineEditMessage"))->text());

        // Rows in order: value fields and bit boxes.
        QStringList pageValues;
        for (QLineEdit *value : window.findChildren<QLineEdit *>(QStringLiteral("LineEditParameterValue")))
            pageValues << value->text();
        QList<bool> pageBits;
        for (QCheckBox *box : window.findChildren<QCheckBox *>(QStringLiteral("checkBoxParameterBit")))
            pageBits << box->isChecked();
        QStringList cliValues;
        QList<bool> cliBits;
        for (const QJsonValue &p : o.value(QStringLiteral("parameters")).toArray()) {
            const QJsonObject parameter = p.toObject();
            if (parameter.contains(QStringLiteral("value")))
                cliValues << parameter.value(QStringLiteral("value")).toString();
            for (const QJsonValue &b : parameter.value(QStringLiteral("bits")).toArray())
                cliBits << b.toObject().value(QStringLiteral("checked")).toBool();
        }
        QVERIFY2(pageValues == cliValues, qPrintable(context));
        QVERIFY2(pageBits == cliBits, qPrintable(context));
    }
}

QTEST_MAIN(CommandLineAgreementTest)
#include "commandlineagreementtest.moc"
