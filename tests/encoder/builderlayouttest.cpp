#include "cataloguefiles.h"
#include "codec/frame.h"
#include "encoder/builderlayout.h"

#include <QtTest>
#include <QtWidgets>

namespace {

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
    // One user action: "tab=T", "message=M" or "device=D" chooses; "field=keys"
    // replaces the text of a line edit by typing; a bare name clicks that button.
    void act(const QString &step) const
    {
        if (step == QLatin1String("sendAvailable")) {
            panel->setSendAvailable(true);
            return;
        }
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

    // What a check names: a field of the output frame, the data bytes from an
    // offset on ("data@4"), the tab texts, the clipboard, "widget.property",
    // or a bare widget name for whether it exists.
    QString value(const QString &what, int size) const
    {
        // The frame in the output field (of the default format "## ").
        const QString output = find<QLineEdit>(QStringLiteral("LineEditOutputFrame"))->text().remove(QLatin1Char(' '));
        const FrameFields f = unpackFrame(hexTextToBytes(output));
        if (what.startsWith(QLatin1String("data@")))
            return QString::fromLatin1(f.data.mid(what.mid(5).toInt(), size).toHex());
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
    // The rows of tests/data/encoder/steps.txt: "## name", then the steps a
    // user takes ("> ") and what the page shows then ("= ").
    void steps_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("checks");
        const QString file = QString::fromUtf8(readFile(QStringLiteral(KWN_TEST_DATA "/encoder/steps.txt")));
        for (const QString &row : file.split(QStringLiteral("\n## ")).mid(1)) {
            QStringList lines = row.split(QLatin1Char('\n')), steps, checks;
            for (const QString &line : lines.mid(1))
                (line.startsWith(QLatin1String("> ")) ? steps : checks) << QString(line.mid(2)).replace(QLatin1String("\\n"), QLatin1String("\n"));
            checks.removeAll(QString());
            QTest::newRow(qPrintable(lines.first())) << steps << checks;
        }
    }
    void steps()
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
            const int size = check.section(QLatin1Char('='), 1).size() / 2;
            QCOMPARE(QString(key + QLatin1Char('=') + page.value(key, size)), check); // names the check when it fails
        }
    }
};

QTEST_MAIN(BuilderLayoutTest)
#include "builderlayouttest.moc"
