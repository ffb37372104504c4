// Times the Encode page as a user drives it: one keystroke in a parameter
// field until the output shows the new frame (sample catalogue), and one
// change of device on the large generated catalogue (100 profiles of 300
// messages).
// Run with QT_QPA_PLATFORM=offscreen.

#include "benchutil.h"
#include "gencatalogue.h"

#include "encoder/builderlayout.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

namespace {

struct Page
{
    explicit Page(const QString &folder)
    {
        QDir::setCurrent(folder);
        panel = new BuilderLayout(nullptr);
        window.setLayout(panel->getLayout());
        window.resize(740, 600);
        window.show();
        QCoreApplication::processEvents();
    }
    ~Page() { delete panel; }

    QWidget window;
    BuilderLayout *panel = nullptr;
};

void typeKey(QWidget *target, int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

// A decimal field of some message of the catalogue, made current.
QLineEdit *findDecimalField(Page &page)
{
    auto *tabs = page.window.findChild<QTabWidget *>(QStringLiteral("tabWidgetMessages"));
    for (int t = 0; t < tabs->count(); ++t) {
        tabs->setCurrentIndex(t);
        auto *selector = tabs->currentWidget()->findChildren<QComboBox *>(
            QRegularExpression(QStringLiteral("^comboBoxMsg_"))).value(0);
        for (int m = 0; selector && m < selector->count(); ++m) {
            selector->setCurrentIndex(m);
            for (QLineEdit *field : tabs->currentWidget()->findChildren<QLineEdit *>(
                     QRegularExpression(QStringLiteral("^paramEditor_")))) {
                if (field->inherits("QLineEditHexa") || !field->isEnabled())
                    continue;
                const QString text = field->text();
                if (!text.isEmpty() && text.at(text.size() - 1).isDigit())
                    return field;
            }
        }
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    bool ok = true;

    {
        Page page(QStringLiteral(KWN_SOURCE_DIR));
        QLineEdit *field = findDecimalField(page);
        auto *output = page.window.findChild<QLineEdit *>(QStringLiteral("LineEditOutputFrame"));
        if (!field) {
            std::printf("no decimal field in the sample catalogue at %s/xml\n", KWN_SOURCE_DIR);
            return 2;
        }
        std::printf("edit field %s, output %s\n", qPrintable(field->objectName()),
                    qPrintable(output->text()));
        field->end(false);
        bool changed = true;
        int n = 0;
        // Alternately type a digit and remove it: every keystroke changes the
        // value, so it rebuilds the frame and the output text.
        ok &= report("keystroke in a parameter field (sample)", measure(400, [&] {
                         const QString before = output->text();
                         if (n++ % 2 == 0)
                             typeKey(field, Qt::Key_5, QStringLiteral("5"));
                         else
                             typeKey(field, Qt::Key_Backspace, QString());
                         changed &= output->text() != before;
                     }), 2.0);
        if (!changed)
            std::printf("warning: some keystrokes left the output unchanged\n");
    }

    QTemporaryDir dir;
    if (!dir.isValid() || !gencatalogue::writeLargeCatalogueUnder(dir.path())) {
        std::printf("could not write the large catalogue\n");
        return 2;
    }
    {
        Page page(dir.path());
        auto *devices = page.window.findChild<QComboBox *>(QStringLiteral("comboBoxApplication"));
        auto *tabs = page.window.findChild<QTabWidget *>(QStringLiteral("tabWidgetMessages"));
        const int first = devices->findText(gencatalogue::productName(0));
        const int second = devices->findText(gencatalogue::productName(1));
        if (first < 0 || second < 0) {
            std::printf("the large catalogue's devices are not offered\n");
            return 2;
        }
        // Every sample is one change between two devices of 300 messages of
        // their own, so every sample rebuilds all tabs of a large device.
        int n = 0;
        ok &= report("device change, large catalogue (100 x 300)", measure(40, [&] {
                         devices->setCurrentIndex(n++ % 2 ? first : second);
                     }), 100.0);
        auto *selector = tabs->currentWidget()->findChildren<QComboBox *>(
            QRegularExpression(QStringLiteral("^comboBoxMsg_"))).value(0);
        std::printf("large device %s: %d tabs, %d devices, first tab offers %d messages (%s)\n",
                    qPrintable(devices->currentText()), tabs->count(), devices->count(),
                    selector ? selector->count() : 0, selector ? qPrintable(selector->currentText()) : "none");
    }
    return ok ? 0 : 1;
}
