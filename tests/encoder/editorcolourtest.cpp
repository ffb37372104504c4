// The colour of a parameter field on the Encode page against editorTextIsValid,
// the rule by which kwn-frame encode warns: both must judge every value that
// goes into the frame alike, the default of a fresh field included.

#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "codec/valueencoding.h"
#include "encoder/builderlayout.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

class EditorColourTest : public QObject
{
    Q_OBJECT

private slots:
    void fieldColourFollowsTheRule_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<bool>("freshBlack");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("typedBlack");
        QTest::newRow("decimal, default above reversed limits") << QByteArray("size=\"1\" min=\"200\" max=\"10\" default=\"300\"") << false << "5" << false;
        QTest::newRow("signed, default below the size") << QByteArray("size=\"1\" sign=\"signed\" default=\"-129\"") << false << "-128" << true;
        QTest::newRow("hidden") << QByteArray("size=\"1\" max=\"9\" default=\"12\" display=\"no\"") << false << "9" << true;
        QTest::newRow("decimal, valid default") << QByteArray("size=\"2\" max=\"100\" default=\"7\"") << true << "300" << false;
        QTest::newRow("string, short default") << QByteArray("type=\"string\" size=\"4\" default=\"AB\"") << false << "ABCD" << true;
        QTest::newRow("hexadecimal, default too wide") << QByteArray("size=\"1\" input_format=\"hexa\" max=\"0x1FF\" default=\"0x1FF\"") << false << "1F" << true;
        // A fresh hexadecimal field is judged by its digits, an edited one by its range.
        QTest::newRow("hexadecimal, default out of range") << QByteArray("size=\"1\" input_format=\"hexa\" max=\"10\" default=\"0x20\"") << true << "20" << false;
        QTest::newRow("hexadecimal signed") << QByteArray("size=\"1\" sign=\"signed\" input_format=\"hexa\" min=\"-10\" max=\"10\"") << true << "80" << false;
    }

    void fieldColourFollowsTheRule()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(bool, freshBlack);
        QFETCH(QString, typed);
        QFETCH(bool, typedBlack);
        QTemporaryDir dir;
        const QByteArray type = attributes.contains("type=") ? QByteArray() : QByteArray("type=\"integer\" ");
        QVERIFY(writeProfile(dir.path(), "<message name=\"M\" category=\"C\" msg_id=\"0x10\"><p name=\"V\" " + type
                                             + attributes + "/></message>", "Vals"));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const ParameterDefinition parameter =
            messagesOfProfile(findProfile(loadProfiles(), QStringLiteral("Vals"), QStringLiteral("1")), true).value(QStringLiteral("M")).parameters.value(0);
        BuilderLayout *panel = new BuilderLayout;
        QWidget window;
        window.setLayout(panel->getLayout());
        window.show();
        QDir::setCurrent(previous);

        auto *field = window.findChild<QLineEdit *>(QStringLiteral("paramEditor_0"));
        QVERIFY(field);
        auto colourOf = [](bool valid) { return valid ? QStringLiteral("color: black") : QStringLiteral("color: red"); };
        QCOMPARE(editorTextIsValid(parameter, field->text(), false), freshBlack);
        QCOMPARE(field->styleSheet(), colourOf(freshBlack));
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, typed);
        QCOMPARE(field->text(), typed);
        QCOMPARE(editorTextIsValid(parameter, typed, true), typedBlack);
        QCOMPARE(field->styleSheet(), colourOf(typedBlack));
        delete panel;
    }
};

QTEST_MAIN(EditorColourTest)
#include "editorcolourtest.moc"
