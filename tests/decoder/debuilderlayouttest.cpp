#include "codec/frame.h"
#include "decoder/debuilderlayout.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

// Drives the Decode page the way a user does, on the catalogue in
// tests/data/decoder/two_revisions: product Glider (node type 3) in the
// revisions 2 and 10, product Lifter (node type 5).
class DebuilderLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void initialPage();
    void typingDigitByDigit();
    void deletingTheInput_data();
    void deletingTheInput();
    void unknownNodeTypeKeepsDevice();
    void firstRevisionInCodeUnitOrder();
    void header_data();
    void header();
    void parameterRows();
    void incompleteFrame();
    void longerFrame();
    void unknownMessage();
    void pastingAMegabyte();

private:
    template<typename T> T *child(const char *name) const
    {
        return page->findChild<T *>(QLatin1String(name));
    }
    QLineEdit *input() const { return child<QLineEdit>("LineEditInputFrame"); }
    QLineEdit *status() const { return child<QLineEdit>("LineEditStatus"); }
    QLineEdit *device() const { return child<QLineEdit>("LineEditApplication"); }
    QLayout *decoded() const { return child<QLayout>("layoutDecoded"); }
    void typeFrame(const QString &text);

    QString previousDir;
    std::unique_ptr<DebuilderLayout> panel;
    std::unique_ptr<QWidget> page;
};

static QString frameText(quint8 messageId, quint8 sourceNodeType, const QByteArray &data = QByteArray(),
                         quint32 source = 1, quint32 destination = 2, bool ack = false)
{
    return frameToHexText(packFrame(messageId, ack, quint8(data.size() + 11), sourceNodeType, 0, source,
                                    destination, data));
}

void DebuilderLayoutTest::init()
{
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QStringLiteral(KWN_TEST_DATA "/decoder/two_revisions")));
    panel.reset(new DebuilderLayout(nullptr));
    page.reset(new QWidget);
    page->setLayout(panel->getLayout());
    page->resize(515, 560);
    page->show();
}

void DebuilderLayoutTest::cleanup()
{
    page.reset();
    panel.reset();
    QDir::setCurrent(previousDir);
}

// Replaces the input as a paste does: one edit with the whole text.
void DebuilderLayoutTest::typeFrame(const QString &text)
{
    input()->selectAll();
    QApplication::clipboard()->setText(text);
    QTest::keyClick(input(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(input()->text(), text);
}

void DebuilderLayoutTest::initialPage()
{
    QVERIFY(input());
    QVERIFY(input()->validator() == nullptr);
    QCOMPARE(input()->toolTip(), QStringLiteral("Paste frame to decode here."));
    QVERIFY(status()->text().isEmpty());
    QVERIFY(!status()->isEnabled());
    QVERIFY(!device()->isEnabled());
    QCOMPARE(device()->styleSheet(), QStringLiteral("color: black"));
    QVERIFY(device()->text().isEmpty());
    QVERIFY(child<QComboBox>("comboBoxProfile")->isHidden());
    QVERIFY(child<QLabel>("labelProfile")->isHidden());
    QCOMPARE(decoded()->count(), 0);
}

void DebuilderLayoutTest::typingDigitByDigit()
{
    const QString frame = frameText(0x40, 3);
    QCOMPARE(frame.size(), 22);
    for (int i = 0; i < frame.size(); ++i) {
        QTest::keyClicks(input(), frame.mid(i, 1));
        const int digits = i + 1;
        QString expected;
        if (digits % 2)
            expected = QStringLiteral("Invalid frame.");
        else if (digits <= 20)
            expected = QStringLiteral("Invalid frame length.");
        else
            expected = QStringLiteral("Frame decoded successfully.");
        QCOMPARE(status()->text(), expected);
        QCOMPARE(status()->styleSheet(), digits < 22 ? QStringLiteral("color: red") : QStringLiteral("color: black"));
        QCOMPARE(decoded()->count() == 0, digits < 22);
    }
    QCOMPARE(device()->text(), QStringLiteral("Glider"));
    QCOMPARE(child<QLineEdit>("LineEditMessage")->text(), QStringLiteral("GET_NODE_ADDR"));
}

void DebuilderLayoutTest::deletingTheInput_data()
{
    QTest::addColumn<bool>("selectAll");
    QTest::newRow("backspace after each digit") << false;
    QTest::newRow("select all and delete") << true;
}

void DebuilderLayoutTest::deletingTheInput()
{
    QFETCH(bool, selectAll);
    typeFrame(frameText(0x40, 3));
    QVERIFY(decoded()->count() > 0);

    if (selectAll) {
        QTest::keyClick(input(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(input(), Qt::Key_Delete);
    } else {
        QTest::keyClick(input(), Qt::Key_End);
        while (!input()->text().isEmpty())
            QTest::keyClick(input(), Qt::Key_Backspace);
    }
    QVERIFY(input()->text().isEmpty());
    QCOMPARE(decoded()->count(), 0);
    QVERIFY(!child<QGroupBox>("groupBoxAddressing"));
    QVERIFY(!child<QLineEdit>("LineEditMessage"));
    QCOMPARE(device()->text(), QStringLiteral("Glider"));
    // The last status is the one of the last non-empty text.
    QCOMPARE(status()->text(), selectAll ? QStringLiteral("Frame decoded successfully.")
                                         : QStringLiteral("Invalid frame."));
}

void DebuilderLayoutTest::unknownNodeTypeKeepsDevice()
{
    typeFrame(frameText(0x40, 5));
    QCOMPARE(device()->text(), QStringLiteral("Lifter"));
    typeFrame(frameText(0x40, 9));
    QCOMPARE(status()->text(), QStringLiteral("No product found for the node type set in this frame."));
    QCOMPARE(status()->styleSheet(), QStringLiteral("color: red"));
    QCOMPARE(device()->text(), QStringLiteral("Lifter"));
    QCOMPARE(decoded()->count(), 0);
}

void DebuilderLayoutTest::firstRevisionInCodeUnitOrder()
{
    typeFrame(frameText(0x60, 3, QByteArray(1, '\x07')));
    auto *revisions = child<QComboBox>("comboBoxProfile");
    QCOMPARE(revisions->count(), 2);
    QCOMPARE(revisions->itemText(0), QStringLiteral("10"));
    QCOMPARE(revisions->currentText(), QStringLiteral("10"));
    QCOMPARE(child<QLineEdit>("LineEditMessage")->text(), QStringLiteral("CONFIG_REV10"));
    QCOMPARE(status()->text(), QStringLiteral("Frame decoded successfully."));
}

void DebuilderLayoutTest::header_data()
{
    QTest::addColumn<uint>("source");
    QTest::addColumn<uint>("destination");
    QTest::addColumn<bool>("ack");
    QTest::addColumn<int>("nodeType");
    QTest::addColumn<QString>("checkedMode");
    QTest::addColumn<QString>("sourceText");
    QTest::addColumn<QString>("destinationText");

    QTest::newRow("point to point") << 1u << 2u << false << 3 << "radioButtonP2P" << "000001" << "000002";
    QTest::newRow("group") << 171u << 0u << true << 3 << "radioButtonGroup" << "0000AB" << "000000";
    QTest::newRow("broadcast") << 0x12AB34u << 0xFFFFFFu << false << 5 << "radioButtonBroadcast"
                               << "12AB34" << "FFFFFF";
}

void DebuilderLayoutTest::header()
{
    QFETCH(uint, source);
    QFETCH(uint, destination);
    QFETCH(bool, ack);
    QFETCH(int, nodeType);
    QFETCH(QString, checkedMode);
    QFETCH(QString, sourceText);
    QFETCH(QString, destinationText);

    typeFrame(frameText(0x40, quint8(nodeType), QByteArray(), source, destination, ack));
    for (const char *name : {"radioButtonP2P", "radioButtonGroup", "radioButtonBroadcast"}) {
        auto *button = child<QRadioButton>(name);
        QVERIFY(button);
        QCOMPARE(button->isChecked(), checkedMode == QLatin1String(name));
    }
    auto *addressing = child<QGroupBox>("groupBoxAddressing");
    QVERIFY(!addressing->isEnabled());
    QCOMPARE(addressing->styleSheet(), QStringLiteral("color: black"));
    QCOMPARE(child<QLineEdit>("LineEditSource")->text(), sourceText);
    QCOMPARE(child<QLineEdit>("LineEditDestination")->text(), destinationText);
    QCOMPARE(child<QCheckBox>("checkBoxAcknowledge")->isChecked(), ack);
    QVERIFY(!child<QCheckBox>("checkBoxAcknowledge")->isEnabled());
    QCOMPARE(child<QLabel>("labelNodeType")->text(), QString::number(nodeType));
    QCOMPARE(status()->text(), QStringLiteral("Frame decoded successfully."));
}

void DebuilderLayoutTest::parameterRows()
{
    // Speed 300, Mode Down, Label ABCD, Flags Ready and Closed, Delta -2, Spare 7.
    typeFrame(frameText(0x51, 3, QByteArray::fromHex("2c01024142434409fe07")));
    QCOMPARE(child<QLineEdit>("LineEditMessage")->text(), QStringLiteral("SET_POSITION"));
    QCOMPARE(child<QLineEdit>("LineEditMessage")->toolTip(), QStringLiteral("Moves to a position"));

    QStringList labels;
    for (QLabel *label : page->findChildren<QLabel *>(QStringLiteral("labelParameter")))
        labels << label->text();
    QCOMPARE(labels, (QStringList{"Speed:", "Mode:", "Label:", "Flags:", ":", "Delta:", "Spare:"}));

    QStringList values, toolTips;
    for (QLineEdit *value : page->findChildren<QLineEdit *>(QStringLiteral("LineEditParameterValue"))) {
        values << value->text();
        toolTips << value->toolTip();
        QVERIFY(!value->isEnabled());
        QCOMPARE(value->styleSheet(), QStringLiteral("color: black"));
    }
    QCOMPARE(values, (QStringList{"300", "Down", "ABCD", "FE", "7"}));
    QCOMPARE(toolTips, (QStringList{"Target speed", "", "", "Offset\nValue in hexa", ""}));

    QStringList bits;
    for (QCheckBox *bit : page->findChildren<QCheckBox *>(QStringLiteral("checkBoxParameterBit"))) {
        bits << bit->text() + (bit->isChecked() ? "=1" : "=0");
        QVERIFY(!bit->isEnabled());
        QVERIFY(bit->minimumHeight() >= 14);
    }
    QCOMPARE(bits, (QStringList{"Bit 0: Ready=1", "Bit 3: Closed=1"}));
    QCOMPARE(status()->text(), QStringLiteral("Frame decoded successfully."));
}

void DebuilderLayoutTest::incompleteFrame()
{
    typeFrame(frameText(0x51, 3, QByteArray::fromHex("2c01")));
    QCOMPARE(status()->text(), QStringLiteral("Frame is uncomplete."));
    QCOMPARE(status()->styleSheet(), QStringLiteral("color: red"));
    const auto labels = page->findChildren<QLabel *>(QStringLiteral("labelParameter"));
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first()->text(), QStringLiteral("Speed:"));
}

void DebuilderLayoutTest::longerFrame()
{
    typeFrame(frameText(0x40, 3) + QStringLiteral(" 01 02"));
    QCOMPARE(status()->text(), QStringLiteral("Frame is longer than expected (2 additional bytes)."));
    QCOMPARE(status()->styleSheet(), QStringLiteral("color: black"));
    QCOMPARE(child<QLineEdit>("LineEditMessage")->text(), QStringLiteral("GET_NODE_ADDR"));
}

void DebuilderLayoutTest::unknownMessage()
{
    typeFrame(frameText(0x7E, 3, QByteArray(), 1, 0xFFFFFF));
    QVERIFY(child<QGroupBox>("groupBoxAddressing"));
    QVERIFY(child<QRadioButton>("radioButtonBroadcast")->isChecked());
    QCOMPARE(child<QLineEdit>("LineEditMessage")->text(), QStringLiteral("Unknown message"));
    QVERIFY(page->findChildren<QLabel *>(QStringLiteral("labelParameter")).isEmpty());
    QCOMPARE(status()->text(), QStringLiteral("Frame not decoded because message is unknown."));
    QCOMPARE(status()->styleSheet(), QStringLiteral("color: red"));
    QCOMPARE(device()->text(), QStringLiteral("Glider"));
}

void DebuilderLayoutTest::pastingAMegabyte()
{
    // Far beyond QLineEdit's default limit of 32767 characters; nothing is cut.
    const QString frame = frameText(0x40, 3);
    QString text = frame;
    text += QString((1 << 20) - frame.size(), QLatin1Char('0'));
    typeFrame(text);
    QCOMPARE(status()->text(), QStringLiteral("Frame is longer than expected (%1 additional bytes).")
                                   .arg((1 << 19) - 11));
    QCOMPARE(child<QLineEdit>("LineEditMessage")->text(), QStringLiteral("GET_NODE_ADDR"));
}

QTEST_MAIN(DebuilderLayoutTest)
#include "debuilderlayouttest.moc"
