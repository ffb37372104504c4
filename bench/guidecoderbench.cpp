// The Decode page under the offscreen platform: time from an edit of the
// input field until the page has been rebuilt and laid out, on the bundled
// sample catalogue and on a generated profile of 300 messages, and for a
// megabyte of pasted text.

#include "benchutil.h"

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "decoder/debuilderlayout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>

// Same shape as the generated catalogue of decodebench: a profile of
// `messageCount` messages with six parameters each, two standard files.
static void writeLargeCatalogue(const QString &root, int messageCount)
{
    QDir(root).mkpath(QStringLiteral("xml/messages"));
    auto messages = [](int first, int count) {
        QByteArray xml;
        for (int i = first; i < first + count; ++i) {
            xml += "  <message name=\"MESSAGE_" + QByteArray::number(i) + "\" msg_id=\"0x"
                + QByteArray::number(i % 256, 16) + "\" description=\"Generated message\">\n"
                  "    <parameter name=\"Speed\" type=\"integer\" size=\"2\"/>\n"
                  "    <parameter name=\"Delta\" type=\"integer\" size=\"2\" sign=\"signed\" input_format=\"hexa\"/>\n"
                  "    <parameter name=\"Mode\" type=\"integer\" size=\"1\">\n";
            for (int v = 0; v < 8; ++v)
                xml += "      <value value=\"" + QByteArray::number(v) + "\" description=\"Mode "
                    + QByteArray::number(v) + "\"/>\n";
            xml += "    </parameter>\n    <parameter name=\"Flags\" type=\"bitfield\" size=\"1\">\n";
            for (int b = 0; b < 8; ++b)
                xml += "      <value value=\"" + QByteArray::number(b) + "\" description=\"Flag "
                    + QByteArray::number(b) + "\"/>\n";
            xml += "    </parameter>\n    <parameter name=\"Label\" type=\"string\" size=\"8\"/>\n"
                   "    <parameter name=\"Spare\" type=\"integer\" size=\"1\" optional=\"yes\"/>\n"
                   "  </message>\n";
        }
        return xml;
    };
    auto write = [&](const QString &path, const QByteArray &body) {
        QFile file(root + QStringLiteral("/xml/") + path);
        if (file.open(QIODevice::WriteOnly))
            file.write(body);
    };
    write(QStringLiteral("messages/standard.xml"),
          "<?xml version=\"1.0\"?>\n<message_def>\n" + messages(1000, 40) + "</message_def>\n");
    write(QStringLiteral("messages/motor.xml"),
          "<?xml version=\"1.0\"?>\n<message_def>\n" + messages(2000, 40) + "</message_def>\n");
    write(QStringLiteral("large.xml"),
          "<?xml version=\"1.0\"?>\n<profiles_def>\n  <profile product=\"Large\" revision=\"1\" node_type=\"7\""
          " standard_msg=\"/messages/standard.xml\" standard_motor_msg=\"/messages/motor.xml\"/>\n"
              + messages(0, messageCount) + "</profiles_def>\n");
}

// A frame of the message with the most parameters among the folder's profiles.
static QString busiestFrame(const QString &folder)
{
    MessageDefinition best;
    quint8 nodeType = 0;
    for (const ProfileDefinition &profile : loadProfiles(folder)) {
        if (profile.product.isEmpty() || profile.nodeType > 15)
            continue;
        for (const MessageDefinition &m : messagesOfProfile(profile, false)) {
            if (best.name.isEmpty() || m.parameters.size() > best.parameters.size()) {
                best = m;
                nodeType = quint8(profile.nodeType);
            }
        }
    }
    if (best.name.isEmpty())
        return QString();
    const QByteArray data(kMaxDataBytes, '\x01');
    return frameToHexText(packFrame(best.msgId, false, quint8(data.size() + 11), nodeType, 0, 1, 2, data));
}

struct Page
{
    explicit Page(const QString &workingDir)
    {
        QDir::setCurrent(workingDir);
        panel = new DebuilderLayout(nullptr);
        widget.setLayout(panel->getLayout());
        widget.resize(515, 560);
        widget.show();
        input = widget.findChild<QLineEdit *>(QStringLiteral("LineEditInputFrame"));
        status = widget.findChild<QLineEdit *>(QStringLiteral("LineEditStatus"));
        QApplication::processEvents();
    }
    ~Page() { delete panel; }

    // Replaces the text as a paste does (one edit), then lets the page lay
    // itself out and paint. Includes what QLineEdit itself does with the text.
    void edit(const QString &text)
    {
        input->selectAll();
        input->insert(text);
        QApplication::processEvents();
    }

    // Only the page's own work for one edit: the slot that the edit runs.
    void decode(const QString &text)
    {
        QMetaObject::invokeMethod(panel, "on_LineEditInputFrame_Edited", Q_ARG(QString, text));
    }

    QWidget widget;
    DebuilderLayout *panel = nullptr;
    QLineEdit *input = nullptr;
    QLineEdit *status = nullptr;
};

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bool ok = true;

    const QString sampleRoot = QStringLiteral(KWN_SOURCE_DIR);
    const QString sampleFrame = busiestFrame(sampleRoot + QStringLiteral("/xml"));
    if (sampleFrame.isEmpty()) {
        std::printf("sample catalogue: nothing to decode, skipped\n");
    } else {
        Page page(sampleRoot);
        // Alternate two texts so that every edit really changes the input.
        int i = 0;
        ok &= report("page decode per edit, sample catalogue", measure(100, [&] {
                         page.decode(i++ % 2 ? sampleFrame : sampleFrame.toLower());
                     }),
                     2.0);
        report("  with QLineEdit, layout and paint", measure(100, [&] {
                   page.edit(i++ % 2 ? sampleFrame : sampleFrame.toLower());
               }),
               16.0);
        std::printf("  status: %s\n", qPrintable(page.status->text()));
    }

    QTemporaryDir dir;
    writeLargeCatalogue(dir.path(), 300);
    const QString largeFrame = busiestFrame(dir.path() + QStringLiteral("/xml"));
    {
        Page page(dir.path());
        int i = 0;
        ok &= report("page decode per edit, profile of 300 messages", measure(50, [&] {
                         page.decode(i++ % 2 ? largeFrame : largeFrame.toLower());
                     }),
                     16.0);
        report("  with QLineEdit, layout and paint", measure(50, [&] {
                   page.edit(i++ % 2 ? largeFrame : largeFrame.toLower());
               }),
               16.0);
        std::printf("  status: %s\n", qPrintable(page.status->text()));

        QString megabyte = largeFrame;
        megabyte += QString((1 << 20) - megabyte.size(), QLatin1Char('5'));
        QString noise(1 << 20, Qt::Uninitialized);
        for (int k = 0; k < noise.size(); ++k)
            noise[k] = QChar(ushort((k * 40503u) & 0xFFFF));
        ok &= report("page decode of 1 MB of frame text", measure(10, [&] { page.decode(megabyte); }),
                     100.0);
        std::printf("  status: %s\n", qPrintable(page.status->text()));
        ok &= report("page decode of 1 MB of arbitrary UTF-16", measure(10, [&] { page.decode(noise); }),
                     100.0);
        std::printf("  status: %s\n", qPrintable(page.status->text()));
        // QLineEdit lays out (shapes) the whole pasted line before it reports the
        // edit; that part is Qt's and is shown for information.
        int j = 0;
        report("  paste of 1 MB of frame text, whole", measure(5, [&] {
                   page.edit(j++ % 2 ? megabyte : megabyte.toLower());
               }),
               100.0);
        std::printf("  input holds %d characters\n", page.input->text().size());
        report("  paste of 1 MB of arbitrary UTF-16, whole", measure(3, [&] { page.edit(noise); }), 100.0);
    }
    return ok ? 0 : 1;
}
