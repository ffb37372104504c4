#include "widgets/comboboxtext.h"

#include <QComboBox>
#include <QtTest>

class ComboBoxTextTest : public QObject
{
    Q_OBJECT

public:
    void record(const QString &text) { received.append(text); }

private slots:
    // Every change of index reaches the slot with the new item's text, also
    // between two items of the same text, and an emptied box sends "".
    void everyIndexChange_data()
    {
        QTest::addColumn<QList<int>>("indexes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("to an item of the same text") << QList<int>{1} << QStringList{"Fast"};
        QTest::newRow("on and back") << QList<int>{2, 0} << QStringList{"Slow", "Fast"};
        QTest::newRow("emptied") << QList<int>{-1} << QStringList{""};
    }
    void everyIndexChange()
    {
        QFETCH(QList<int>, indexes);
        QFETCH(QStringList, expected);
        QComboBox box;
        box.addItems({QStringLiteral("Fast"), QStringLiteral("Fast"), QStringLiteral("Slow")});
        connectCurrentIndexText(&box, this, &ComboBoxTextTest::record);
        received.clear();
        for (int index : indexes)
            box.setCurrentIndex(index);
        QCOMPARE(received, expected);
    }

private:
    QStringList received;
};

QTEST_MAIN(ComboBoxTextTest)
#include "comboboxtexttest.moc"
