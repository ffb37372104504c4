#include "codec/frame.h"
#include "decoder/debuilderlayout.h"
#include "support/datarows.h"
#include "support/widgetvalues.h"

#include <QtTest>
#include <QtWidgets>

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
    void init()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(KWN_TEST_DATA "/decoder/two_revisions")));
        page.reset(); // the widgets go with the page, before the panel that made them
        panel.reset(new DebuilderLayout(nullptr));
        page.reset(new QWidget);
        page->setLayout(panel->getLayout());
        page->resize(515, 560);
        page->show();
    }
    void typingDigitByDigit()
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
    void pasting_data()
    {
        addDataRows(QStringLiteral("decoder/pastes.txt"));
        // Far beyond QLineEdit's default limit of 32767 characters; nothing is cut.
        QTest::newRow("a megabyte") << QStringList{frameText(0x40, 3).leftJustified(1 << 20, QLatin1Char('0')),
            QStringLiteral("LineEditStatus.text=Frame is longer than expected (%1 additional bytes).; "
                           "LineEditMessage.text=GET_NODE_ADDR").arg((1 << 19) - 11)};
    }
    void pasting()
    {
        QFETCH(QStringList, row);
        for (const QString &frame : row[0].split(QLatin1Char(' ')))
            paste(unescaped(frame));
        const QStringList checks = unescaped(row[1]).split(QStringLiteral("; "));
        QCOMPARE(actualChecks(checks, [this](const QString &key) {
                     if (key == QLatin1String("rows"))
                         return QString::number(page->findChildren<QLabel *>(QStringLiteral("labelParameter")).size());
                     if (!key.contains(QLatin1Char('*')))
                         return widgetValue(page.get(), key);
                     QStringList every; // "name*property": of every child so named
                     for (const QObject *child : page->findChildren<QObject *>(key.section(QLatin1Char('*'), 0, 0)))
                         every << child->property(key.section(QLatin1Char('*'), 1).toLatin1().constData()).toString();
                     return every.join(QLatin1Char(','));
                 }),
                 checks);
    }

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

QTEST_MAIN(DebuilderLayoutTest)
#include "debuilderlayouttest.moc"
