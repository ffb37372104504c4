// A walk through both pages as a user would take it: every message of every
// device of the bundled catalogue is built on the Encode page, once with its
// defaults and once with edited values; the frame is copied with "Copy" and
// pasted into the Decode page, which must show what was set. (Both pages and
// the command line render the core's frames and reports, which the encode
// and decode transcripts pin.)

#include "encoder/parametervalidators.h"
#include "pages.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// What the Decode page should show for one parameter.
struct Expected
{
    QString name;
    bool isBits = false;
    bool isHexa = false;
    QString value;
    QList<bool> bits;
};

// Hexadecimal texts are compared as numbers: the editor pads with zeros and
// writes upper case, the decoded unsigned value is lower case.
QString hexNumber(const QString &text)
{
    return text.toUpper().remove(QRegularExpression(QStringLiteral("^0+(?=.)")));
}

// The parameters of the message shown on `page`, edited when asked, as the
// Decode page should show them.
QList<Expected> readEditors(QWidget *page, bool edit)
{
    QList<Expected> expected;
    for (int i = 0;; ++i) {
        auto *label = page->findChild<QLabel *>(QStringLiteral("paramLabel_%1").arg(i));
        if (!label)
            break;
        if (!label->isVisibleTo(page))
            continue; // hidden parameters get no row on the Decode page
        Expected e;
        e.name = label->text();
        QWidget *editor = page->findChild<QWidget *>(QStringLiteral("paramEditor_%1").arg(i));
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            if (edit)
                combo->setCurrentIndex(combo->count() - 1);
            e.value = combo->currentText();
        } else if (auto *field = qobject_cast<QLineEdit *>(editor)) {
            e.isHexa = editor->inherits("QLineEditHexa");
            if (edit) {
                // Typed as a user would; "12" is out of range for some
                // parameters, so red fields are walked too.
                const bool isString = dynamic_cast<const StringValidator *>(field->validator());
                field->setFocus();
                field->selectAll();
                QTest::keyClick(field, Qt::Key_Delete);
                QTest::keyClicks(field, e.isHexa   ? QStringLiteral("1F")
                                        : isString ? QStringLiteral("Kq7-").repeated(8).left(field->maxLength())
                                                   : QStringLiteral("12"));
            }
            e.value = e.isHexa ? hexNumber(field->text()) : field->text();
        } else {
            e.isBits = true;
            for (int k = 0;; ++k) {
                auto *box = page->findChild<QCheckBox *>(QStringLiteral("paramBit_%1_%2").arg(i).arg(k));
                if (!box)
                    break;
                if (edit && k % 2 == 0)
                    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
                e.bits << box->isChecked();
            }
        }
        expected << e;
    }
    return expected;
}

} // namespace

class EncodeDecodeWalkTest : public QObject
{
    Q_OBJECT

private slots:
    void everyMessageReadsBack_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::newRow("defaults") << false;
        QTest::newRow("edited values") << true;
    }
    void everyMessageReadsBack()
    {
        QFETCH(bool, edit);
        QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR));
        if (!pages)
            pages.reset(new Pages);
        int walked = 0;
        auto *devices = pages->encodePage->findChild<QComboBox *>(QStringLiteral("comboBoxApplication"));
        auto *tabs = pages->encodePage->findChild<QTabWidget *>(QStringLiteral("tabWidgetMessages"));
        auto *copy = pages->encodePage->findChild<QPushButton *>(QStringLiteral("buttonCopyFrame"));
        auto *output = pages->encodePage->findChild<QLineEdit *>(QStringLiteral("LineEditOutputFrame"));
        auto *input = pages->decodePage->findChild<QLineEdit *>(QStringLiteral("LineEditInputFrame"));
        QVERIFY(devices && tabs && copy && output && input);

        for (int d = 0; d < devices->count(); ++d) {
            devices->setCurrentIndex(d);
            for (int t = 0; t < tabs->count(); ++t) {
                tabs->setCurrentIndex(t);
                QWidget *page = tabs->currentWidget();
                auto *selector =
                    page->findChildren<QComboBox *>(QRegularExpression(QStringLiteral("^comboBoxMsg_"))).value(0);
                QVERIFY(selector);
                for (int m = 0; m < selector->count(); ++m) {
                    selector->setCurrentIndex(m);
                    QCoreApplication::processEvents(); // new editors are shown from the event loop
                    const QString where = devices->currentText() + QStringLiteral(" / ") + selector->currentText();
                    const QList<Expected> expected = readEditors(page, edit);

                    // Copy on the Encode page, paste into the Decode page.
                    QTest::mouseClick(copy, Qt::LeftButton);
                    const QString frame = QGuiApplication::clipboard()->text();
                    QCOMPARE(frame, output->text());
                    input->setFocus();
                    input->selectAll();
                    QTest::keyClick(input, Qt::Key_V, Qt::ControlModifier);
                    QCOMPARE(input->text(), frame);

                    const auto text = [this](const char *name) {
                        return pages->decodePage->findChild<QLineEdit *>(QLatin1String(name))->text();
                    };
                    QVERIFY2(text("LineEditStatus") == QLatin1String("Frame decoded successfully."),
                             qPrintable(where + QStringLiteral(": ") + text("LineEditStatus")));
                    QCOMPARE(text("LineEditApplication"), devices->currentText());
                    QCOMPARE(text("LineEditMessage"), selector->currentText());
                    QCOMPARE(text("LineEditSource"), QStringLiteral("000001"));
                    QCOMPARE(text("LineEditDestination"), QStringLiteral("000002"));

                    const QList<QLabel *> labels = pages->decodePage->findChildren<QLabel *>(QStringLiteral("labelParameter"));
                    const QList<QLineEdit *> values =
                        pages->decodePage->findChildren<QLineEdit *>(QStringLiteral("LineEditParameterValue"));
                    const QList<QCheckBox *> bits =
                        pages->decodePage->findChildren<QCheckBox *>(QStringLiteral("checkBoxParameterBit"));
                    QCOMPARE(labels.size(), expected.size());
                    int valueIndex = 0;
                    int bitIndex = 0;
                    for (int r = 0; r < expected.size(); ++r) {
                        const Expected &e = expected.at(r);
                        QCOMPARE(labels.at(r)->text(), e.name);
                        if (e.isBits) {
                            for (bool checked : e.bits)
                                QVERIFY2(bits.at(bitIndex++)->isChecked() == checked, qPrintable(where + e.name));
                        } else {
                            const QString shown = values.at(valueIndex++)->text();
                            QVERIFY2((e.isHexa ? hexNumber(shown) : shown) == e.value,
                                     qPrintable(QStringLiteral("%1 %2 set %3, shown %4").arg(where, e.name, e.value, shown)));
                        }
                    }
                    QCOMPARE(valueIndex, values.size());
                    QCOMPARE(bitIndex, bits.size());

                    ++walked;
                }
            }
        }
        QVERIFY(walked >= 60);
    }

private:
    std::unique_ptr<Pages> pages;
};

QTEST_MAIN(EncodeDecodeWalkTest)
#include "encodedecodewalktest.moc"
