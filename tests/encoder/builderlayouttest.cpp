#include "codec/frame.h"
#include "codec/valueencoding.h"
#include "encoder/builderlayout.h"

#include <QClipboard>
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QString kRed = QStringLiteral("color: red");
const QString kBlack = QStringLiteral("color: black");

// The Encode page on the catalogue of tests/data/encoder/editors, shown in a
// window as the main window shows it, and driven as a user does.
class Page
{
public:
    Page()
    {
        QDir::setCurrent(QStringLiteral(KWN_TEST_DATA "/encoder/editors"));
        panel = new BuilderLayout(nullptr);
        window.setLayout(panel->getLayout());
        window.resize(740, 600);
        window.show();
    }
    ~Page() { delete panel; }

    QTabWidget *tabs() const { return window.findChild<QTabWidget *>(QStringLiteral("tabWidgetMessages")); }
    // A parameter's widget in the current tab, "message" for the current tab's
    // message selector, or a widget of the page.
    template<typename T = QWidget>
    T *find(const QString &name) const
    {
        QWidget *tab = tabs()->currentWidget();
        if (name == QLatin1String("message"))
            return tab ? qobject_cast<T *>(tab->findChildren<QComboBox *>(QRegularExpression(QStringLiteral("^comboBoxMsg_"))).value(0)) : nullptr;
        if (name.startsWith(QLatin1String("param")))
            return tab ? tab->findChild<T *>(name) : nullptr;
        return window.findChild<T *>(name);
    }
    // The frame in the output field, unpacked (for the default format "## ").
    FrameFields frame() const
    {
        return unpackFrame(hexTextToBytes(find<QLineEdit>(QStringLiteral("LineEditOutputFrame"))->text().remove(QLatin1Char(' '))));
    }

    // One user action: "tab=T", "message=M" or "device=D" chooses; "field=keys"
    // replaces the text of a line edit by typing; a bare name clicks that button.
    void act(const QString &step) const
    {
        const QString name = step.section(QLatin1Char('='), 0, 0);
        const QString keys = step.section(QLatin1Char('='), 1);
        if (name == QLatin1String("tab")) {
            for (int i = 0; i < tabs()->count(); ++i)
                if (tabs()->tabText(i) == keys)
                    tabs()->setCurrentIndex(i);
            QCOMPARE(tabs()->tabText(tabs()->currentIndex()), keys);
        } else if (name == QLatin1String("message") || name == QLatin1String("device")) {
            auto *combo = find<QComboBox>(name == QLatin1String("device") ? QStringLiteral("comboBoxApplication") : name);
            QVERIFY2(combo && combo->findText(keys) >= 0, qPrintable(step));
            combo->setCurrentIndex(combo->findText(keys));
            QCoreApplication::processEvents(); // new editors are shown by a queued call
        } else if (!step.contains(QLatin1Char('='))) {
            auto *button = find<QAbstractButton>(name);
            QVERIFY2(button && button->isVisible(), qPrintable(step));
            QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
        } else {
            auto *field = find<QLineEdit>(name);
            QVERIFY2(field, qPrintable(step));
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            if (keys.isEmpty())
                QTest::keyClick(field, Qt::Key_Backspace);
            for (const QChar c : keys) {
                if (c.unicode() < 0x80) // QTest maps only ASCII characters to keys
                    QTest::keyClick(field, c.toLatin1());
                else
                    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
    }

    // What a check names: a field of the output frame, the tab texts, the
    // clipboard, "widget.property", or a bare widget name for whether it exists.
    QString value(const QString &what) const
    {
        const FrameFields f = frame();
        QStringList tabTexts;
        for (int i = 0; i < tabs()->count(); ++i)
            tabTexts << tabs()->tabText(i);
        const QMap<QString, QString> fields{
            {"id", QString::number(f.messageId, 16)},      {"type", QString::number(f.destinationNodeType)},
            {"src", QString::number(f.sourceAddress, 16)}, {"dst", QString::number(f.destinationAddress, 16)},
            {"ack", f.ackRequested ? "true" : "false"},    {"length", QString::number(f.length)},
            {"data", QString::fromLatin1(f.data.toHex())}, {"bytes", QString::number(f.data.size())},
            {"tabs", tabTexts.join(QLatin1Char(','))},     {"clipboard", QGuiApplication::clipboard()->text()}};
        if (fields.contains(what))
            return fields.value(what);
        QObject *object = find(what.section(QLatin1Char('.'), 0, 0));
        if (!object || !what.contains(QLatin1Char('.')))
            return object ? QStringLiteral("present") : QStringLiteral("missing");
        const QVariant property = object->property(what.section(QLatin1Char('.'), 1).toLatin1().constData());
        return property.isValid() ? property.toString() : QStringLiteral("no such property");
    }

    QWidget window;
    BuilderLayout *panel = nullptr;
};

} // namespace

class BuilderLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void steps_data();
    void steps();
    void editorColours_data();
    void editorColours();
    void sendFollowsResult_data();
    void sendFollowsResult();
};

void BuilderLayoutTest::steps_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("checks");

    // Alpha (node type 6) with two revisions; its Config tab starts with A_Example, message 0x51.
    QTest::newRow("start") << QStringList() << QStringList{
        "comboBoxApplication.currentText=Alpha", "comboBoxProfile.visible=false", "labelNodeType.text=6",
        "tabs=Config,Limits,Modes,Motor,Standard", "message.count=4", // no Slave message, none without category
        "message.currentText=A_Example", "message.toolTip=Worked example", "radioButtonP2P.styleSheet=" + kBlack,
        "LineEditOutputFrame.styleSheet=" + kBlack, "LineEditFrameFormat.text=## "};
    const QStringList example{"paramEditor_0=300", "paramEditor_1=-2", "paramBit_2_0", "paramBit_2_1", "paramEditor_3=AB1", "paramOptional_4"};
    QTest::newRow("worked example") << example << QStringList{
        "paramOptional_4.checked=false", "paramEditor_4.enabled=false",
        "LineEditOutputFrame.text=AE ED F9 FE FF FF FD FF FF D3 FE 01 F6 BE BD CE 0D 9C "};
    QTest::newRow("worked example, optional again") << example + QStringList{"paramOptional_4"} << QStringList{"data=2c01fe094142310500"};
    QTest::newRow("Copy") << QStringList{"buttonCopyFrame"} << QStringList{
        "clipboard=AE EB F9 FE FF FF FD FF FF F5 FF FF FF A7 A6 A5 FA FF 10 66 ",
        "LineEditOutputFrame.selectedText=", "LineEditOutputFrame.cursorPosition=0"};

    // Parameter editors show what the core gives a fresh editor; the texts themselves are checked there.
    QTest::newRow("editor defaults") << QStringList{"message=B_Colours"} << QStringList{
        "paramEditor_0.text=FF", "paramEditor_0.toolTip=Value in hexa\nMin:80, Max:7F", "paramEditor_7.currentIndex=2",
        "paramEditor_7.toolTip=Working mode\nMin:0, Max:255", "paramBit_8_0.text=Bit 0: Low", "paramBit_8_1.text=Bit 3: Mid",
        "paramBit_8_0.checked=false", "paramOptional_8.text=Disable optional parameter", "paramOptional_8.visible=false"};
    QTest::newRow("hidden and unknown parameters") << QStringList{"message=D_Hidden", "paramEditor_3=9"} << QStringList{
        "paramLabel_0.visible=false", "paramEditor_0.visible=false", "paramOptional_0.visible=false",
        "paramLabel_1=missing", // no type: no row at all
        "paramLabel_2.visible=true", "paramEditor_2=missing",
        "paramBit_2_0=missing", // the rows of the message before are gone
        "data=2a09"}; // the hidden default goes in, the unknown type adds nothing

    // Four optional parameters.
    const QStringList optional{"message=C_Optional"};
    QTest::newRow("optional, all checked") << optional << QStringList{"data=01020004"};
    QTest::newRow("unchecking the second unchecks those after") << optional + QStringList{"paramOptional_1"}
        << QStringList{"paramOptional_0.checked=true", "paramOptional_2.checked=false", "paramOptional_3.checked=false",
                       "paramEditor_1.enabled=false", "paramBit_2_0.enabled=false", "paramEditor_3.enabled=false", "data=01"};
    QTest::newRow("checking the third brings the fourth, not the second")
        << optional + QStringList{"paramOptional_1", "paramOptional_2", "paramBit_2_0"}
        << QStringList{"paramOptional_1.checked=false", "paramOptional_3.checked=true", "paramEditor_3.enabled=true", "data=010204"};

    // Tabs keep their message and values; a device change resets them.
    const QStringList twoTabs{"paramEditor_0=258", "tab=Limits", "message=F_Long", "tab=Config"};
    QTest::newRow("tab back") << twoTabs << QStringList{"message.currentText=A_Example", "paramEditor_0.text=258", "id=51", "data=0201000058595a0500"};
    QTest::newRow("tab forth") << twoTabs + QStringList{"tab=Limits"} << QStringList{"message.currentText=F_Long", "id=56"};
    QTest::newRow("other device") << QStringList{"paramEditor_0=99", "device=Beta"}
                                  << QStringList{"tabs=Misc,Standard", "labelNodeType.text=3", "id=10", "type=3"};
    QTest::newRow("device back") << QStringList{"paramEditor_0=99", "device=Beta", "device=Alpha"} << QStringList{"paramEditor_0.text=10", "id=51"};
    const QStringList noMessages{"device=Gamma", "LineEditMasterNodeID=00000A", "checkBoxAcknowledge"};
    QTest::newRow("device without messages") << noMessages << QStringList{
        "tabs=", "labelNodeType.text=12", "LineEditOutputFrame.text=", "radioButtonGroup.styleSheet=" + kBlack,
        "radioButtonBroadcast.styleSheet=" + kBlack};
    QTest::newRow("header kept without messages") << noMessages + QStringList{"device=Alpha"}
                                                  << QStringList{"ack=true", "src=a", "LineEditMasterNodeID.styleSheet=" + kBlack};

    // Addressing modes force the destination and are checked against the message (A_Example: P2P).
    QTest::newRow("Group") << QStringList{"radioButtonGroup"} << QStringList{
        "labelMasterNodeID.text=GroupID", "labelSlaveNodeID.text=", "LineEditSlaveNodeID.text=000000",
        "LineEditSlaveNodeID.enabled=false", "LineEditSlaveNodeID.styleSheet=" + kBlack, "dst=0",
        "radioButtonGroup.styleSheet=" + kRed};
    QTest::newRow("Broadcast") << QStringList{"radioButtonBroadcast"} << QStringList{
        "labelMasterNodeID.text=Source", "LineEditSlaveNodeID.text=FFFFFF", "dst=ffffff", "radioButtonBroadcast.styleSheet=" + kRed};
    QTest::newRow("Group, then P2P") << QStringList{"radioButtonGroup", "radioButtonP2P"} << QStringList{
        "labelSlaveNodeID.text=Destination", "LineEditSlaveNodeID.enabled=true", "LineEditSlaveNodeID.styleSheet=" + kRed, "dst=0"};
    QTest::newRow("Broadcast, then P2P and typed") << QStringList{"radioButtonBroadcast", "radioButtonP2P", "LineEditSlaveNodeID=00abcd"}
                                                   << QStringList{"LineEditSlaveNodeID.styleSheet=" + kBlack, "dst=abcd"};
    QTest::newRow("no restriction") << QStringList{"radioButtonBroadcast", "message=B_Colours"}
                                    << QStringList{"radioButtonBroadcast.styleSheet=" + kBlack};
    QTest::newRow("lower-case keyword") << QStringList{"radioButtonGroup", "tab=Modes", "message=G_Group"}
                                        << QStringList{"radioButtonGroup.styleSheet=" + kBlack};
    QTest::newRow("broadcast only") << QStringList{"radioButtonBroadcast", "device=Beta", "tab=Misc", "message=Ping"}
                                    << QStringList{"radioButtonBroadcast.styleSheet=" + kBlack};
    QTest::newRow("P2P after device change") << QStringList{"device=Beta", "tab=Misc", "message=Ping"}
                                             << QStringList{"radioButtonP2P.styleSheet=" + kRed};

    // Node IDs: red while not valid (the rule is checked in the core), yet the frame carries them all the same.
    QTest::newRow("seventh digit and G refused") << QStringList{"LineEditMasterNodeID=1234567", "LineEditSlaveNodeID=G12"}
        << QStringList{"LineEditMasterNodeID.text=123456", "src=123456", "LineEditSlaveNodeID.text=12", "dst=12"};
    QTest::newRow("destination empty") << QStringList{"LineEditSlaveNodeID="} << QStringList{"LineEditSlaveNodeID.styleSheet=" + kRed, "dst=0"};

    // Format strings need two adjacent number signs; while red, frames keep the last accepted one.
    const QStringList cStyle{"device=Beta", "LineEditFrameFormat=0x##, "};
    QTest::newRow("format without ##") << cStyle + QStringList{"LineEditFrameFormat=0x#, ", "checkBoxAcknowledge"} << QStringList{
        "LineEditFrameFormat.styleSheet=" + kRed,
        "LineEditOutputFrame.text=0xEF, 0x74, 0xFC, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0x08, 0x56, "};
    QTest::newRow("format brackets") << cStyle + QStringList{"LineEditFrameFormat=0x#, ", "LineEditFrameFormat=[##]"}
                                     << QStringList{"LineEditFrameFormat.styleSheet=" + kBlack,
                                                    "LineEditOutputFrame.text=[EF][F4][FC][FE][FF][FF][FD][FF][FF][08][D6]"};

    // At most 20 data bytes go on the bus: more turn the output red.
    const QStringList longMessage{"tab=Limits", "message=F_Long"};
    QTest::newRow("21 data bytes") << longMessage << QStringList{"bytes=21", "LineEditOutputFrame.styleSheet=" + kRed};
    QTest::newRow("20 data bytes") << longMessage + QStringList{"paramOptional_5"}
                                   << QStringList{"bytes=20", "length=31", "LineEditOutputFrame.styleSheet=" + kBlack};
    // Sizes of 4e9 from a broken definition: editors and frame stay bounded; a string can never be complete.
    const QString bound = QString::number(kMaxParameterBytes);
    QTest::newRow("huge sizes") << QStringList{"tab=Limits", "paramEditor_2=-1"} << QStringList{
        "message.currentText=E_Huge", "paramEditor_0.maxLength=" + bound, "paramEditor_0.styleSheet=" + kRed,
        "paramEditor_2.text=1", "bytes=" + QString::number(3 * kMaxParameterBytes), "LineEditOutputFrame.styleSheet=" + kRed};
}

void BuilderLayoutTest::steps()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, checks);

    Page page;
    for (const QString &step : steps) {
        page.act(step);
        if (QTest::currentTestFailed())
            return;
    }
    for (const QString &check : checks) {
        const QString key = check.section(QLatin1Char('='), 0, 0);
        QCOMPARE(QString(key + QLatin1Char('=') + page.value(key)), check); // names the check when it fails
    }
}

void BuilderLayoutTest::editorColours_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QByteArray>("bytes");

    // Message B_Colours: parameter, typed keys, resulting text and colour, and its bytes in the frame.
    QTest::newRow("hexa limited 80") << 1 << "80" << "80" << kRed << QByteArray("80");
    QTest::newRow("hexa limited lower case f6") << 1 << "f6" << "f6" << kBlack << QByteArray("f6");
    QTest::newRow("hexa refuses other keys") << 1 << "0x1" << "01" << kBlack << QByteArray("01");
    QTest::newRow("hexa 4 bytes -128") << 3 << "FFFFFF80" << "FFFFFF80" << kRed << QByteArray("80ffffff");
    QTest::newRow("decimal out of range") << 4 << "200" << "200" << kRed << QByteArray("c8");
    QTest::newRow("decimal lone minus") << 4 << "-" << "-" << kRed << QByteArray("00");
    QTest::newRow("decimal refuses other keys") << 4 << "+1e,2." << "12" << kBlack << QByteArray("0c");
    QTest::newRow("decimal leading zeros") << 4 << "007" << "007" << kBlack << QByteArray("07");
    QTest::newRow("string stops at size") << 5 << "ABCDEF" << "ABCD" << kBlack << QByteArray("41424344");
    QTest::newRow("string refuses non-ASCII") << 5 << QStringLiteral("A\u00e9B") << "AB" << kRed << QByteArray("4142");
}

void BuilderLayoutTest::editorColours()
{
    QFETCH(int, index);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(QString, style);
    QFETCH(QByteArray, bytes);

    Page page;
    page.act(QStringLiteral("message=B_Colours"));
    page.act(QStringLiteral("paramEditor_%1=").arg(index) + keys);
    auto *field = page.find<QLineEdit>(QStringLiteral("paramEditor_%1").arg(index));
    QCOMPARE(field->text(), text);
    QCOMPARE(field->styleSheet(), style);
    // Red or black, the frame carries what the field holds, at the parameter's offset.
    const int offset = QList<int>{0, 1, 2, 4, 8, 9}.at(index);
    QCOMPARE(page.frame().data.mid(offset, bytes.size() / 2).toHex(), bytes);
}

void BuilderLayoutTest::sendFollowsResult_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("checks");

    const QString on = QStringLiteral("buttonSendFrame.enabled=true");
    const QString off = QStringLiteral("buttonSendFrame.enabled=false");
    QTest::newRow("start") << QStringList() << QStringList{on};
    QTest::newRow("decimal out of range") << QStringList{"paramEditor_0=70000"} << QStringList{"paramEditor_0.styleSheet=" + kRed, off};
    QTest::newRow("decimal fixed") << QStringList{"paramEditor_0=70000", "paramEditor_0=300"} << QStringList{on};
    QTest::newRow("string short") << QStringList{"paramEditor_3=AB"} << QStringList{off};
    QTest::newRow("hexa out of range") << QStringList{"message=B_Colours", "paramEditor_1=80"} << QStringList{off};
    QTest::newRow("hexa fixed") << QStringList{"message=B_Colours", "paramEditor_1=80", "paramEditor_1=0A"}
                                << QStringList{"paramEditor_1.styleSheet=" + kBlack, on};
    // A red optional parameter switched off stays red but goes into no frame.
    QTest::newRow("red optional") << QStringList{"message=C_Optional", "paramEditor_1=300"} << QStringList{off};
    QTest::newRow("red optional left out") << QStringList{"message=C_Optional", "paramEditor_1=300", "paramOptional_1"}
                                           << QStringList{"paramEditor_1.styleSheet=" + kRed, on};
    QTest::newRow("mode not allowed") << QStringList{"radioButtonGroup"} << QStringList{off};
    // Back in point to point the destination still holds the group's 000000.
    QTest::newRow("mode allowed again") << QStringList{"radioButtonGroup", "radioButtonP2P"}
                                        << QStringList{"radioButtonP2P.styleSheet=" + kBlack, "LineEditSlaveNodeID.styleSheet=" + kRed, off};
    QTest::newRow("destination typed again") << QStringList{"radioButtonGroup", "radioButtonP2P", "LineEditSlaveNodeID=000002"} << QStringList{on};
    QTest::newRow("group index invalid") << QStringList{"tab=Modes", "message=G_Group", "radioButtonGroup", "LineEditMasterNodeID=000000"}
                                         << QStringList{"LineEditMasterNodeID.styleSheet=" + kRed, off};
    QTest::newRow("group index valid") << QStringList{"tab=Modes", "message=G_Group", "radioButtonGroup", "LineEditMasterNodeID=00000A"}
                                       << QStringList{"LineEditSlaveNodeID.text=000000", on};
    QTest::newRow("21 data bytes") << QStringList{"tab=Limits", "message=F_Long"} << QStringList{off};
    QTest::newRow("20 data bytes") << QStringList{"tab=Limits", "message=F_Long", "paramOptional_5"} << QStringList{on};
    // Only the message shown counts: a red field on another tab does not.
    QTest::newRow("red field on another tab") << QStringList{"paramEditor_0=70000", "tab=Modes", "message=H_Direct"} << QStringList{on};
    QTest::newRow("back to the red field") << QStringList{"paramEditor_0=70000", "tab=Modes", "message=H_Direct", "tab=Config"}
                                           << QStringList{off};
    QTest::newRow("no message") << QStringList{"device=Gamma"} << QStringList{off};
}

// "Send" is enabled exactly while the frame's fields are valid; it follows
// every edit that changes that.
void BuilderLayoutTest::sendFollowsResult()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, checks);

    Page page;
    page.panel->setSendAvailable(true);
    for (const QString &step : steps) {
        page.act(step);
        if (QTest::currentTestFailed())
            return;
    }
    for (const QString &check : checks) {
        const QString key = check.section(QLatin1Char('='), 0, 0);
        QCOMPARE(QString(key + QLatin1Char('=') + page.value(key)), check);
    }
}

QTEST_MAIN(BuilderLayoutTest)
#include "builderlayouttest.moc"
