// The colour of a parameter field on the Encode page against editorTextIsValid,
// the rule by which kwn-frame encode warns: both must judge every value that
// goes into the frame alike, the default of a fresh field included.

#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "codec/valueencoding.h"
#include "encoder/builderlayout.h"
#include "support/datarows.h"

#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

class EditorColourTest : public QObject
{
    Q_OBJECT

private slots:
    void fieldColourFollowsTheRule_data() { addDataRows(QStringLiteral("encoder/editorcolours.txt")); }
    void fieldColourFollowsTheRule()
    {
        QFETCH(QStringList, row);
        const QByteArray attributes = row[0].toUtf8();
        const bool freshBlack = row[1] == "true", typedBlack = row[3] == "true";
        const QString typed = row[2];
        QTemporaryDir dir;
        const QByteArray type = attributes.contains("type=") ? QByteArray() : QByteArray("type=\"integer\" ");
        QVERIFY(writeProfile(dir.path(), "<message name=\"M\" category=\"C\" msg_id=\"0x10\"><p name=\"V\" " + type
                                             + attributes + "/></message>", "Vals"));
        QDir::setCurrent(dir.path());
        const ParameterDefinition parameter =
            messagesOfProfile(findProfile(loadProfiles(), QStringLiteral("Vals"), QStringLiteral("1")), true).value(QStringLiteral("M")).parameters.value(0);
        BuilderLayout *panel = new BuilderLayout;
        QWidget window;
        window.setLayout(panel->getLayout());
        window.show();

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
