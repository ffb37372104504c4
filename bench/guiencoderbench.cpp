// Times the Encode page as a user drives it: one keystroke in a parameter
// field until the output shows the new frame (sample catalogue), and one
// change of device on a large generated catalogue.
// Run with QT_QPA_PLATFORM=offscreen.

#include "benchutil.h"

#include "encoder/builderlayout.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
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

// One product with `messages` messages over ten categories, each with a mix
// of editors, and a small product to switch from.
bool writeLargeCatalogue(const QString &folder, int messages)
{
    if (!QDir().mkpath(folder))
        return false;
    QString xml = QStringLiteral("<?xml version=\"1.0\"?>\n<profiles_def>\n"
                                 "<profile product=\"Large\" revision=\"1\" node_type=\"5\"/>\n"
                                 "<message_def>\n");
    for (int i = 0; i < messages; ++i) {
        xml += QStringLiteral("<message name=\"Msg%1\" category=\"Cat%2\" msg_id=\"0x%3\" "
                              "addressingMode=\"P2P GROUP\" description=\"Message %1\">\n")
                   .arg(i, 3, 10, QLatin1Char('0'))
                   .arg(i % 10)
                   .arg(i % 256, 2, 16, QLatin1Char('0'));
        xml += QStringLiteral("<p name=\"Speed\" type=\"integer\" size=\"2\" min=\"0\" max=\"1000\" default=\"10\"/>\n"
                              "<p name=\"Offset\" type=\"integer\" size=\"1\" sign=\"signed\" input_format=\"hexa\"/>\n"
                              "<p name=\"Mode\" type=\"integer\" size=\"1\"><v value=\"0\" description=\"Off\"/>"
                              "<v value=\"1\" description=\"On\"/><v value=\"2\" description=\"Auto\"/></p>\n"
                              "<p name=\"Flags\" type=\"bitfield\" size=\"1\" optional=\"yes\"><v value=\"0\" description=\"A\"/>"
                              "<v value=\"1\" description=\"B\"/><v value=\"7\" description=\"C\"/></p>\n"
                              "<p name=\"Tag\" type=\"string\" size=\"4\" optional=\"yes\"/>\n"
                              "</message>\n");
    }
    xml += QStringLiteral("</message_def>\n</profiles_def>\n");

    QFile large(folder + QStringLiteral("/large.xml"));
    QFile small(folder + QStringLiteral("/small.xml"));
    if (!large.open(QIODevice::WriteOnly) || !small.open(QIODevice::WriteOnly))
        return false;
    large.write(xml.toUtf8());
    small.write("<?xml version=\"1.0\"?>\n<profiles_def><profile product=\"Small\" revision=\"1\" node_type=\"2\"/>"
                "<message_def><message name=\"Ping\" category=\"Misc\" msg_id=\"0x10\"/></message_def>"
                "</profiles_def>\n");
    return true;
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
    if (!dir.isValid() || !writeLargeCatalogue(dir.path() + QStringLiteral("/xml"), 300)) {
        std::printf("could not write the large catalogue\n");
        return 2;
    }
    {
        Page page(dir.path());
        auto *devices = page.window.findChild<QComboBox *>(QStringLiteral("comboBoxApplication"));
        auto *tabs = page.window.findChild<QTabWidget *>(QStringLiteral("tabWidgetMessages"));
        const int large = devices->findText(QStringLiteral("Large"));
        const int small = devices->findText(QStringLiteral("Small"));
        devices->setCurrentIndex(small);
        ok &= report("device change to 300 messages and back", measure(40, [&] {
                         devices->setCurrentIndex(large);
                         devices->setCurrentIndex(small);
                     }), 100.0);
        devices->setCurrentIndex(large);
        std::printf("large device: %d tabs\n", tabs->count());
    }
    return ok ? 0 : 1;
}
