#include "codec/frame.h"
#include "encoder/builderlayout.h"
#include "encoder/qcheckboxoptional.h"
#include "encoder/qlineedithexa.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

const QString kRed = QStringLiteral("color: red");
const QString kBlack = QStringLiteral("color: black");

// The Encode page on a catalogue of tests/data/encoder, shown in a window as
// the main window would show it.
class Page
{
public:
    explicit Page(const QString &catalogue)
    {
        QDir::setCurrent(QStringLiteral(KWN_TEST_DATA "/encoder/") + catalogue);
        panel = new BuilderLayout(nullptr);
        window.setLayout(panel->getLayout());
        window.resize(740, 600);
        window.show();
    }
    ~Page() { delete panel; }

    template<typename T>
    T *find(const QString &name) const
    {
        T *w = window.findChild<T *>(name);
        if (!w)
            qWarning("no widget %s", qPrintable(name));
        return w;
    }
    QTabWidget *tabs() const { return find<QTabWidget>(QStringLiteral("tabWidgetMessages")); }
    QWidget *currentPage() const { return tabs()->currentWidget(); }
    QComboBox *selector() const
    {
        return currentPage()
            ->findChildren<QComboBox *>(QRegularExpression(QStringLiteral("^comboBoxMsg_")))
            .value(0);
    }
    template<typename T>
    T *editor(int index) const
    {
        return currentPage()->findChild<T *>(QStringLiteral("paramEditor_%1").arg(index));
    }
    QCheckBoxOptional *optionalBox(int index) const
    {
        return currentPage()->findChild<QCheckBoxOptional *>(QStringLiteral("paramOptional_%1").arg(index));
    }
    QCheckBox *bit(int index, int k) const
    {
        return currentPage()->findChild<QCheckBox *>(QStringLiteral("paramBit_%1_%2").arg(index).arg(k));
    }
    QLineEdit *output() const { return find<QLineEdit>(QStringLiteral("LineEditOutputFrame")); }

    QStringList tabTexts() const
    {
        QStringList texts;
        for (int i = 0; i < tabs()->count(); ++i)
            texts << tabs()->tabText(i);
        return texts;
    }
    void selectTab(const QString &text) const
    {
        const int index = tabTexts().indexOf(text);
        QVERIFY2(index >= 0, qPrintable(text));
        tabs()->setCurrentIndex(index);
    }
    void selectMessage(const QString &name) const
    {
        QComboBox *combo = selector();
        const int index = combo->findText(name);
        QVERIFY2(index >= 0, qPrintable(name));
        combo->setCurrentIndex(index);
        QCoreApplication::processEvents(); // new editors are shown by a queued call
    }
    void selectDevice(const QString &name) const
    {
        QComboBox *combo = find<QComboBox>(QStringLiteral("comboBoxApplication"));
        combo->setCurrentIndex(combo->findText(name));
        QCoreApplication::processEvents();
    }
    // The frame in the output field, unpacked.
    FrameFields frame() const
    {
        QString digits = output()->text();
        digits.remove(QLatin1Char(' '));
        return unpackFrame(hexTextToBytes(digits));
    }
    QByteArray data() const { return frame().data; }

    QWidget window;
    BuilderLayout *panel = nullptr;
};

// Replaces the whole text of a field by typing, as a user does.
void retype(QLineEdit *field, const QString &keys)
{
    QVERIFY(field);
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

// Clicks a check box or radio button on its indicator.
void click(QAbstractButton *button)
{
    QVERIFY(button);
    QVERIFY(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class BuilderLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void initialState();
    void workedExample();
    void editorColours_data();
    void editorColours();
    void initialEditors_data();
    void initialEditors();
    void optionalChain();
    void tabsKeepMessagesAndValues();
    void deviceChangeResetsTabs();
    void deviceWithoutMessagesEmptiesOutput();
    void addressingModes();
    void addressingModeColours_data();
    void addressingModeColours();
    void nodeIdColours_data();
    void nodeIdColours();
    void formatString();
    void copyPutsOutputOnClipboard();
    void hiddenAndUnknownParameters();
    void hugeSizes();
    void tooManyDataBytesTurnOutputRed();
    void emptyCatalogue();
};

void BuilderLayoutTest::initialState()
{
    Page page(QStringLiteral("editors"));
    auto *devices = page.find<QComboBox>(QStringLiteral("comboBoxApplication"));
    QCOMPARE(devices->count(), 3);
    QCOMPARE(devices->currentText(), QStringLiteral("Alpha"));
    auto *revisions = page.find<QComboBox>(QStringLiteral("comboBoxProfile"));
    QCOMPARE(revisions->count(), 2);
    QVERIFY(!revisions->isVisible());
    QCOMPARE(page.find<QLabel>(QStringLiteral("labelNodeType"))->text(), QStringLiteral("6"));

    QCOMPARE(page.tabTexts(), QStringList({"Config", "Limits", "Modes", "Motor", "Standard"}));
    QComboBox *messages = page.selector();
    QCOMPARE(messages->count(), 4); // the Slave message and the one without category are left out
    QCOMPARE(messages->currentText(), QStringLiteral("A_Example"));
    QCOMPARE(messages->toolTip(), QStringLiteral("Worked example"));

    // Defaults 10, 0, no bit, XYZ, 5: a frame of message 0x51 for node type 6.
    const FrameFields f = page.frame();
    QCOMPARE(int(f.messageId), 0x51);
    QCOMPARE(int(f.destinationNodeType), 6);
    QCOMPARE(f.sourceAddress, 1u);
    QCOMPARE(f.destinationAddress, 2u);
    QCOMPARE(f.data.toHex(), hex("0A000000" "58595A" "0500").toHex());
    QCOMPARE(page.output()->styleSheet(), kBlack);
}

void BuilderLayoutTest::workedExample()
{
    Page page(QStringLiteral("editors"));
    retype(page.editor<QLineEdit>(0), QStringLiteral("300"));
    retype(page.editor<QLineEdit>(1), QStringLiteral("-2"));
    click(page.bit(2, 0));
    click(page.bit(2, 1));
    retype(page.editor<QLineEdit>(3), QStringLiteral("AB1"));
    click(page.optionalBox(4));
    QVERIFY(!page.optionalBox(4)->isChecked());
    QVERIFY(!page.editor<QLineEdit>(4)->isEnabled());

    QCOMPARE(page.output()->text(),
             QStringLiteral("AE ED F9 FE FF FF FD FF FF D3 FE 01 F6 BE BD CE 0D 9C "));

    // Checking the optional box again brings its two bytes back.
    click(page.optionalBox(4));
    QCOMPARE(page.data().toHex(), hex("2C01FE09414231" "0500").toHex());
}

void BuilderLayoutTest::editorColours_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QByteArray>("bytes");

    // Messages B_Colours: parameter index, typed keys, resulting text and
    // colour, and the bytes the parameter then has in the frame.
    QTest::newRow("hexa full range 80") << 0 << "80" << "80" << kBlack << hex("80");
    QTest::newRow("hexa limited 80") << 1 << "80" << "80" << kRed << hex("80");
    QTest::newRow("hexa limited 0A") << 1 << "0A" << "0A" << kBlack << hex("0A");
    QTest::newRow("hexa limited lower case f6") << 1 << "f6" << "f6" << kBlack << hex("F6");
    QTest::newRow("hexa refuses other keys") << 1 << "0x1" << "01" << kBlack << hex("01");
    QTest::newRow("hexa emptied counts as 0") << 2 << "" << "" << kBlack << hex("0000");
    QTest::newRow("hexa 4 bytes -100") << 3 << "FFFFFF9C" << "FFFFFF9C" << kBlack << hex("9CFFFFFF");
    QTest::newRow("hexa 4 bytes -128") << 3 << "FFFFFF80" << "FFFFFF80" << kRed << hex("80FFFFFF");
    QTest::newRow("decimal out of range") << 4 << "200" << "200" << kRed << hex("C8");
    QTest::newRow("decimal lone minus") << 4 << "-" << "-" << kRed << hex("00");
    QTest::newRow("decimal exponent refused") << 4 << "1e2" << "12" << kBlack << hex("0C");
    QTest::newRow("decimal dot refused") << 4 << "12." << "12" << kBlack << hex("0C");
    QTest::newRow("decimal separator refused") << 4 << "1,00" << "100" << kBlack << hex("64");
    QTest::newRow("decimal plus refused") << 4 << "+5" << "5" << kBlack << hex("05");
    QTest::newRow("decimal leading zeros") << 4 << "007" << "007" << kBlack << hex("07");
    QTest::newRow("string short") << 5 << "ABC" << "ABC" << kRed << hex("414243");
    QTest::newRow("string full") << 5 << "ABCD" << "ABCD" << kBlack << hex("41424344");
    QTest::newRow("string stops at size") << 5 << "ABCDEF" << "ABCD" << kBlack << hex("41424344");
    QTest::newRow("string refuses non-ASCII") << 5 << QStringLiteral("A\u00e9B") << "AB" << kRed << hex("4142");
}

// Offset of each parameter of B_Colours in the data bytes with the defaults.
static int colourOffset(int index)
{
    static const int offsets[] = {0, 1, 2, 4, 8, 9, 13};
    return offsets[index];
}

void BuilderLayoutTest::editorColours()
{
    QFETCH(int, index);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(QString, style);
    QFETCH(QByteArray, bytes);

    Page page(QStringLiteral("editors"));
    page.selectMessage(QStringLiteral("B_Colours"));
    auto *field = page.editor<QLineEdit>(index);
    retype(field, keys);
    QCOMPARE(field->text(), text);
    QCOMPARE(field->styleSheet(), style);
    // Red or black, the frame carries what the field holds.
    QCOMPARE(page.data().mid(colourOffset(index), bytes.size()).toHex(), bytes.toHex());
}

void BuilderLayoutTest::initialEditors_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("hexa signed -1") << 0 << "FF" << kBlack << "Value in hexa\nMin:80, Max:7F";
    QTest::newRow("hexa limited") << 1 << "00" << kBlack << "Value in hexa\nMin:F6, Max:0A";
    QTest::newRow("hexa unsigned 10") << 2 << "000A" << kBlack << "Value in hexa\nMin:0000, Max:FFFF";
    QTest::newRow("decimal at its minimum") << 4 << "-128" << kBlack << "Min:-128, Max:127";
    QTest::newRow("string without default") << 5 << "----" << kBlack << "4 characters";
    QTest::newRow("string default cut") << 6 << "TOOL" << kBlack << "4 characters";
}

void BuilderLayoutTest::initialEditors()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QString, style);
    QFETCH(QString, toolTip);

    Page page(QStringLiteral("editors"));
    page.selectMessage(QStringLiteral("B_Colours"));
    auto *field = page.editor<QLineEdit>(index);
    QCOMPARE(field->text(), text);
    QCOMPARE(field->styleSheet(), style);
    QCOMPARE(field->toolTip(), toolTip);
    QCOMPARE(page.currentPage()->findChild<QLabel *>(QStringLiteral("paramLabel_%1").arg(index))->minimumHeight(), 20);
    QCOMPARE(bool(qobject_cast<QLineEditHexa *>(field)), index <= 3);

    // The named values and the bits of the same message.
    auto *mode = page.editor<QComboBox>(7);
    QCOMPARE(mode->currentIndex(), 2); // the later of two entries equal to the default
    QCOMPARE(mode->toolTip(), QStringLiteral("Working mode\nMin:0, Max:255"));
    QCOMPARE(page.bit(8, 0)->text(), QStringLiteral("Bit 0: Low"));
    QCOMPARE(page.bit(8, 1)->text(), QStringLiteral("Bit 3: Mid"));
    QVERIFY(!page.bit(8, 0)->isChecked() && !page.bit(8, 1)->isChecked());
    QCOMPARE(page.optionalBox(8)->text(), QStringLiteral("Disable optional parameter"));
    QVERIFY(!page.optionalBox(8)->isVisible()); // not optional
}

void BuilderLayoutTest::optionalChain()
{
    Page page(QStringLiteral("editors"));
    page.selectMessage(QStringLiteral("C_Optional"));
    QCOMPARE(page.data().toHex(), hex("01020004").toHex());

    click(page.optionalBox(1));
    for (int i = 1; i <= 3; ++i)
        QVERIFY2(!page.optionalBox(i)->isChecked(), qPrintable(QString::number(i)));
    QVERIFY(page.optionalBox(0)->isChecked());
    QVERIFY(!page.editor<QLineEdit>(1)->isEnabled());
    QVERIFY(!page.bit(2, 0)->isEnabled());
    QVERIFY(!page.editor<QLineEdit>(3)->isEnabled());
    QCOMPARE(page.data().toHex(), hex("01").toHex());

    // Checking the third brings the fourth along, not the second.
    click(page.optionalBox(2));
    QVERIFY(!page.optionalBox(1)->isChecked());
    QVERIFY(page.optionalBox(2)->isChecked() && page.optionalBox(3)->isChecked());
    QVERIFY(page.bit(2, 0)->isEnabled());
    QVERIFY(page.editor<QLineEdit>(3)->isEnabled());
    click(page.bit(2, 0));
    QCOMPARE(page.data().toHex(), hex("01" "02" "04").toHex());
}

void BuilderLayoutTest::tabsKeepMessagesAndValues()
{
    Page page(QStringLiteral("editors"));
    retype(page.editor<QLineEdit>(0), QStringLiteral("258"));
    page.selectTab(QStringLiteral("Limits"));
    page.selectMessage(QStringLiteral("F_Long"));
    QCOMPARE(int(page.frame().messageId), 0x56);

    page.selectTab(QStringLiteral("Config"));
    QCOMPARE(page.selector()->currentText(), QStringLiteral("A_Example"));
    QCOMPARE(page.editor<QLineEdit>(0)->text(), QStringLiteral("258"));
    QCOMPARE(int(page.frame().messageId), 0x51);
    QCOMPARE(page.data().left(2).toHex(), hex("0201").toHex());

    page.selectTab(QStringLiteral("Limits"));
    QCOMPARE(page.selector()->currentText(), QStringLiteral("F_Long"));
    QCOMPARE(int(page.frame().messageId), 0x56);

    // A second message replaces the rows of the first; the selector row stays first.
    page.selectTab(QStringLiteral("Config"));
    page.selectMessage(QStringLiteral("D_Hidden"));
    auto *area = page.currentPage()->findChild<QVBoxLayout *>(QStringLiteral("layoutTab_0"));
    QVERIFY(area->itemAt(0)->layout()->indexOf(page.selector()) >= 0);
    QVERIFY(!page.currentPage()->findChild<QCheckBox *>(QStringLiteral("paramBit_2_0")));
    QCOMPARE(area->count(), 1 + 2 * 3 + 1);
}

void BuilderLayoutTest::deviceChangeResetsTabs()
{
    Page page(QStringLiteral("editors"));
    retype(page.editor<QLineEdit>(0), QStringLiteral("99"));
    page.selectDevice(QStringLiteral("Beta"));
    QCOMPARE(page.tabTexts(), QStringList({"Misc", "Standard"}));
    QCOMPARE(page.find<QLabel>(QStringLiteral("labelNodeType"))->text(), QStringLiteral("3"));
    QCOMPARE(int(page.frame().messageId), 0x10);
    QCOMPARE(int(page.frame().destinationNodeType), 3);

    page.selectDevice(QStringLiteral("Alpha"));
    QCOMPARE(page.editor<QLineEdit>(0)->text(), QStringLiteral("10"));
    QCOMPARE(int(page.frame().messageId), 0x51);
}

void BuilderLayoutTest::deviceWithoutMessagesEmptiesOutput()
{
    Page page(QStringLiteral("editors"));
    page.selectDevice(QStringLiteral("Gamma"));
    QCOMPARE(page.tabs()->count(), 0);
    QCOMPARE(page.find<QLabel>(QStringLiteral("labelNodeType"))->text(), QStringLiteral("12"));
    QCOMPARE(page.output()->text(), QString());

    // Header edits build nothing without a message.
    retype(page.find<QLineEdit>(QStringLiteral("LineEditMasterNodeID")), QStringLiteral("00000A"));
    click(page.find<QCheckBox>(QStringLiteral("checkBoxAcknowledge")));
    QCOMPARE(page.output()->text(), QString());
    for (const char *name : {"radioButtonP2P", "radioButtonGroup", "radioButtonBroadcast"})
        QCOMPARE(page.find<QRadioButton>(QLatin1String(name))->styleSheet(), kBlack);

    page.selectDevice(QStringLiteral("Alpha"));
    QVERIFY(page.frame().ackRequested);
    QCOMPARE(page.frame().sourceAddress, 0x0Au);
}

void BuilderLayoutTest::addressingModes()
{
    Page page(QStringLiteral("editors"));
    auto *source = page.find<QLabel>(QStringLiteral("labelMasterNodeID"));
    auto *destination = page.find<QLabel>(QStringLiteral("labelSlaveNodeID"));
    auto *destinationField = page.find<QLineEdit>(QStringLiteral("LineEditSlaveNodeID"));

    click(page.find<QRadioButton>(QStringLiteral("radioButtonGroup")));
    QCOMPARE(source->text(), QStringLiteral("GroupID"));
    QCOMPARE(destination->text(), QString());
    QCOMPARE(destinationField->text(), QStringLiteral("000000"));
    QVERIFY(!destinationField->isEnabled());
    QCOMPARE(destinationField->styleSheet(), kBlack);
    QCOMPARE(page.frame().destinationAddress, 0u);

    click(page.find<QRadioButton>(QStringLiteral("radioButtonBroadcast")));
    QCOMPARE(source->text(), QStringLiteral("Source"));
    QCOMPARE(destinationField->text(), QStringLiteral("FFFFFF"));
    QCOMPARE(page.frame().destinationAddress, 0xFFFFFFu);

    click(page.find<QRadioButton>(QStringLiteral("radioButtonP2P")));
    QCOMPARE(destination->text(), QStringLiteral("Destination"));
    QVERIFY(destinationField->isEnabled());
    QCOMPARE(destinationField->styleSheet(), kRed);
    QCOMPARE(page.frame().destinationAddress, 0xFFFFFFu);
    retype(destinationField, QStringLiteral("00abcd"));
    QCOMPARE(destinationField->styleSheet(), kBlack);
    QCOMPARE(page.frame().destinationAddress, 0xABCDu);
}

void BuilderLayoutTest::addressingModeColours_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("style");

    QTest::newRow("P2P allowed") << "Alpha" << "Config" << "A_Example" << "radioButtonP2P" << kBlack;
    QTest::newRow("Group not allowed") << "Alpha" << "Config" << "A_Example" << "radioButtonGroup" << kRed;
    QTest::newRow("no restriction") << "Alpha" << "Config" << "B_Colours" << "radioButtonBroadcast" << kBlack;
    QTest::newRow("lower-case group") << "Alpha" << "Modes" << "G_Group" << "radioButtonGroup" << kBlack;
    QTest::newRow("lower-case p2p") << "Alpha" << "Modes" << "H_Direct" << "radioButtonP2P" << kBlack;
    QTest::newRow("broadcast only") << "Beta" << "Misc" << "Ping" << "radioButtonBroadcast" << kBlack;
    QTest::newRow("after device change") << "Beta" << "Misc" << "Ping" << "radioButtonP2P" << kRed;
}

void BuilderLayoutTest::addressingModeColours()
{
    QFETCH(QString, device);
    QFETCH(QString, tab);
    QFETCH(QString, message);
    QFETCH(QString, radio);
    QFETCH(QString, style);

    Page page(QStringLiteral("editors"));
    auto *button = page.find<QRadioButton>(radio);
    if (!button->isChecked())
        click(button);
    page.selectDevice(device);
    page.selectTab(tab);
    page.selectMessage(message);
    QCOMPARE(button->styleSheet(), style);
    // The check only colours: the frame follows the chosen mode regardless.
    if (radio == QLatin1String("radioButtonGroup"))
        QCOMPARE(page.frame().destinationAddress, 0u);
}

void BuilderLayoutTest::nodeIdColours_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("style");
    QTest::addColumn<uint>("address");

    QTest::newRow("source 000000") << "LineEditMasterNodeID" << "000000" << kRed << 0u;
    QTest::newRow("source ffffff") << "LineEditMasterNodeID" << "ffffff" << kRed << 0xFFFFFFu;
    QTest::newRow("source 00000A") << "LineEditMasterNodeID" << "00000A" << kBlack << 0x0Au;
    QTest::newRow("source short") << "LineEditMasterNodeID" << "1234" << kRed << 0x1234u;
    QTest::newRow("source refuses a seventh digit") << "LineEditMasterNodeID" << "1234567" << kBlack << 0x123456u;
    QTest::newRow("destination empty") << "LineEditSlaveNodeID" << "" << kRed << 0u;
    QTest::newRow("destination refuses G") << "LineEditSlaveNodeID" << "G12" << kRed << 0x12u;
}

void BuilderLayoutTest::nodeIdColours()
{
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, style);
    QFETCH(uint, address);

    Page page(QStringLiteral("editors"));
    auto *edit = page.find<QLineEdit>(field);
    retype(edit, keys);
    QCOMPARE(edit->styleSheet(), style);
    const FrameFields f = page.frame();
    QCOMPARE(field == QLatin1String("LineEditMasterNodeID") ? f.sourceAddress : f.destinationAddress,
             quint32(address));
}

void BuilderLayoutTest::formatString()
{
    Page page(QStringLiteral("editors"));
    page.selectDevice(QStringLiteral("Beta"));
    auto *format = page.find<QLineEdit>(QStringLiteral("LineEditFrameFormat"));
    QCOMPARE(format->text(), QStringLiteral("## "));

    retype(format, QStringLiteral("0x##, "));
    QCOMPARE(format->styleSheet(), kBlack);
    const QString cStyle = page.output()->text();
    QVERIFY2(cStyle.startsWith(QLatin1String("0xEF, 0xF4, 0xFC, ")), qPrintable(cStyle));
    QVERIFY(cStyle.endsWith(QLatin1String(", ")));

    QTest::keyClick(format, Qt::Key_End);
    QTest::keyClick(format, Qt::Key_Home);
    QTest::keyClick(format, Qt::Key_Right);
    QTest::keyClick(format, Qt::Key_Right);
    QTest::keyClick(format, Qt::Key_Delete); // "0x#, "
    QCOMPARE(format->text(), QStringLiteral("0x#, "));
    QCOMPARE(format->styleSheet(), kRed);
    QCOMPARE(page.output()->text(), cStyle);

    // While the field is red, new frames keep the last accepted format.
    click(page.find<QCheckBox>(QStringLiteral("checkBoxAcknowledge")));
    QVERIFY(page.output()->text().startsWith(QLatin1String("0xEF, 0x74, ")));

    QTest::keyClick(format, Qt::Key_NumberSign);
    QCOMPARE(format->text(), QStringLiteral("0x##, "));
    QCOMPARE(format->styleSheet(), kBlack);

    retype(format, QStringLiteral("[##]"));
    QVERIFY(page.output()->text().startsWith(QLatin1String("[EF][74][FC]")));
    QVERIFY(page.output()->text().endsWith(QLatin1Char(']')));
}

void BuilderLayoutTest::copyPutsOutputOnClipboard()
{
    Page page(QStringLiteral("editors"));
    QGuiApplication::clipboard()->setText(QStringLiteral("stale"));
    QTest::mouseClick(page.find<QPushButton>(QStringLiteral("buttonCopyFrame")), Qt::LeftButton);
    QVERIFY(!page.output()->text().isEmpty());
    QCOMPARE(QGuiApplication::clipboard()->text(), page.output()->text());
    QVERIFY(!page.output()->hasSelectedText());
    QCOMPARE(page.output()->cursorPosition(), 0);
}

void BuilderLayoutTest::hiddenAndUnknownParameters()
{
    Page page(QStringLiteral("editors"));
    page.selectMessage(QStringLiteral("D_Hidden"));
    QWidget *tab = page.currentPage();
    QVERIFY(!tab->findChild<QLabel *>(QStringLiteral("paramLabel_0"))->isVisible());
    QVERIFY(!page.editor<QLineEdit>(0)->isVisible());
    QVERIFY(!page.optionalBox(0)->isVisible());
    QVERIFY(!tab->findChild<QLabel *>(QStringLiteral("paramLabel_1"))); // no type: nothing at all
    QVERIFY(tab->findChild<QLabel *>(QStringLiteral("paramLabel_2"))->isVisible());
    QVERIFY(!page.editor<QWidget>(2));
    QCOMPARE(page.editor<QLineEdit>(3)->text(), QStringLiteral("7"));

    // The hidden default goes into the frame; the unknown type adds nothing.
    QCOMPARE(page.data().toHex(), hex("2A07").toHex());
    retype(page.editor<QLineEdit>(3), QStringLiteral("9"));
    QCOMPARE(page.data().toHex(), hex("2A09").toHex());
}

void BuilderLayoutTest::hugeSizes()
{
    Page page(QStringLiteral("editors"));
    page.selectTab(QStringLiteral("Limits"));
    QCOMPARE(page.selector()->currentText(), QStringLiteral("E_Huge"));

    auto *text = page.editor<QLineEdit>(0);
    QCOMPARE(text->maxLength(), int(kMaxParameterBytes));
    QCOMPARE(text->text().size(), int(kMaxParameterBytes));
    QCOMPARE(text->styleSheet(), kRed); // can never reach the declared size
    QCOMPARE(page.editor<QLineEdit>(1)->text().size(), int(2 * kMaxParameterBytes));
    QCOMPARE(page.data().size(), int(3 * kMaxParameterBytes));
    QCOMPARE(page.output()->styleSheet(), kRed);

    retype(page.editor<QLineEdit>(2), QStringLiteral("-1"));
    QCOMPARE(page.editor<QLineEdit>(2)->text(), QStringLiteral("1")); // unsigned: no minus
}

void BuilderLayoutTest::tooManyDataBytesTurnOutputRed()
{
    Page page(QStringLiteral("editors"));
    page.selectTab(QStringLiteral("Limits"));
    page.selectMessage(QStringLiteral("F_Long"));
    QCOMPARE(page.data().size(), 21);
    QCOMPARE(page.output()->styleSheet(), kRed);

    click(page.optionalBox(5));
    QCOMPARE(page.data().size(), 20);
    QCOMPARE(int(page.frame().length), 31);
    QCOMPARE(page.output()->styleSheet(), kBlack);
}

void BuilderLayoutTest::emptyCatalogue()
{
    Page page(QStringLiteral("empty"));
    QCOMPARE(page.find<QComboBox>(QStringLiteral("comboBoxApplication"))->count(), 0);
    QCOMPARE(page.tabs()->count(), 0);
    QCOMPARE(page.find<QLabel>(QStringLiteral("labelNodeType"))->text(), QStringLiteral("0"));
    QCOMPARE(page.output()->text(), QString());
    retype(page.find<QLineEdit>(QStringLiteral("LineEditMasterNodeID")), QStringLiteral("000009"));
    QCOMPARE(page.output()->text(), QString());
}

QTEST_MAIN(BuilderLayoutTest)
#include "builderlayouttest.moc"
