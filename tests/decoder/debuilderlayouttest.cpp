#include "codec/frame.h"
#include "decoder/debuilderlayout.h"
#include "support/datarows.h"
#include "support/widgetvalues.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

const QString kDecoded = QStringLiteral("Frame decoded successfully.");

QString frameText(quint8 messageId, quint8 sourceNodeType, const QByteArray &data = QByteArray(),
                  quint32 source = 1, quint32 destination = 2, bool ack = false)
{
    return frameToHexText(packFrame(messageId, ack, quint8(data.size() + 11), sourceNodeType, 0, source, destination, data));
}

} // namespace

// Drives the Decode page the way a user does, on the catalogue in
// tests/data/decoder/two_revisions: product Glider (node type 3) in the
// revisions 2 and 10, product Lifter (node type 5).
class DebuilderLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void typingDigitByDigit();
    void pasting_data();
    void pasting();
    void parameterRows();

private:
    template<typename T = QLineEdit> T *child(const char *name) const { return page->findChild<T *>(QLatin1String(name)); }
    QString text(const char *name) const { return child(name) ? child(name)->text() : QStringLiteral("missing"); }
    QLayout *decoded() const { return child<QLayout>("layoutDecoded"); }
    // Replaces the input as a paste does: one edit with the whole text.
    void paste(const QString &text)
    {
        child("LineEditInputFrame")->selectAll();
        QApplication::clipboard()->setText(text);
        QTest::keyClick(child("LineEditInputFrame"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(child("LineEditInputFrame")->text(), text);
    }

    std::unique_ptr<DebuilderLayout> panel;
    std::unique_ptr<QWidget> page;
};

void DebuilderLayoutTest::init()
{
    QVERIFY(QDir::setCurrent(QStringLiteral(KWN_TEST_DATA "/decoder/two_revisions")));
    page.reset(); // the widgets go with the page, before the panel that made them
    panel.reset(new DebuilderLayout(nullptr));
    page.reset(new QWidget);
    page->setLayout(panel->getLayout());
    page->resize(515, 560);
    page->show();
}

void DebuilderLayoutTest::typingDigitByDigit()
{
    const QString frame = frameText(0x40, 3);
    for (int digits = 1; digits <= frame.size(); ++digits) {
        QTest::keyClicks(child("LineEditInputFrame"), frame.mid(digits - 1, 1));
        QCOMPARE(text("LineEditStatus"), digits % 2 ? QStringLiteral("Invalid frame.")
                                         : digits <= 20 ? QStringLiteral("Invalid frame length.") : kDecoded);
        QCOMPARE(child("LineEditStatus")->styleSheet(), digits < 22 ? QStringLiteral("color: red") : QStringLiteral("color: black"));
        QCOMPARE(decoded()->count() == 0, digits < 22);
    }
    QCOMPARE(text("LineEditMessage"), QStringLiteral("GET_NODE_ADDR"));
}

void DebuilderLayoutTest::pasting_data()
{
    addDataRows(QStringLiteral("decoder/pastes.txt"));
    // Far beyond QLineEdit's default limit of 32767 characters; nothing is cut.
    QTest::newRow("a megabyte") << QStringList{frameText(0x40, 3).leftJustified(1 << 20, QLatin1Char('0')),
        QStringLiteral("LineEditStatus.text=Frame is longer than expected (%1 additional bytes).; "
                       "LineEditMessage.text=GET_NODE_ADDR").arg((1 << 19) - 11)};
}

void DebuilderLayoutTest::pasting()
{
    QFETCH(QStringList, row);
    for (const QString &frame : row[0].split(QLatin1Char(' ')))
        paste(unescaped(frame));
    const QStringList checks = row[1].split(QStringLiteral("; "));
    QCOMPARE(actualChecks(checks, [this](const QString &key) {
                 return key == QLatin1String("rows") ? QString::number(page->findChildren<QLabel *>(QStringLiteral("labelParameter")).size())
                                                     : widgetValue(page.get(), key);
             }),
             checks);
}

// The Label field shows the string as the core writes it: a control
// character escaped, the padding left out (the rule's cases:
// codec/visibletext.txt).
void DebuilderLayoutTest::parameterRows()
{
    // Speed 300, Mode Down, Label "A\r", Flags Ready and Closed, Delta -2, Spare 7.
    paste(frameText(0x51, 3, QByteArray::fromHex("2c0102") + QByteArray("A\r\0\0", 4) + QByteArray::fromHex("09fe07")));
    QCOMPARE(text("LineEditStatus"), kDecoded);
    QCOMPARE(text("LineEditMessage"), QStringLiteral("SET_POSITION"));
    QCOMPARE(child("LineEditMessage")->toolTip(), QStringLiteral("Moves to a position"));
    QStringList labels, values, toolTips, bits;
    for (QLabel *label : page->findChildren<QLabel *>(QStringLiteral("labelParameter")))
        labels << label->text();
    for (QLineEdit *value : page->findChildren<QLineEdit *>(QStringLiteral("LineEditParameterValue")))
        values << value->text(), toolTips << value->toolTip();
    for (QCheckBox *bit : page->findChildren<QCheckBox *>(QStringLiteral("checkBoxParameterBit")))
        bits << bit->text() + (bit->isChecked() ? "=1" : "=0");
    QCOMPARE(labels, (QStringList{"Speed:", "Mode:", "Label:", "Flags:", ":", "Delta:", "Spare:"}));
    QCOMPARE(values, (QStringList{"300", "Down", "A\\x0D", "FE", "7"}));
    QCOMPARE(toolTips, (QStringList{"Target speed", "", "", "Offset\nValue in hexa", ""}));
    QCOMPARE(bits, (QStringList{"Bit 0: Ready=1", "Bit 3: Closed=1"}));
}

QTEST_MAIN(DebuilderLayoutTest)
#include "debuilderlayouttest.moc"
