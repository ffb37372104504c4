#include "monitor/framedetailpane.h"

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/framereport.h"
#include "cataloguefiles.h"
#include "support/datarows.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

// A catalogue of one product "Ranger" (node type 3) with one message
// "Sample" (0x30) of the given parameters.
struct OneMessageCatalogue
{
    QTemporaryDir dir;
    std::unique_ptr<DecodeCatalogue> catalogue;

    explicit OneMessageCatalogue(const QByteArray &parameters)
    {
        writeProfile(dir.path(), "<message name=\"Sample\" category=\"C\" msg_id=\"0x30\" description=\"A sample.\">"
                                     + parameters + "</message>",
                     "Ranger");
        catalogue.reset(new DecodeCatalogue(dir.filePath(QStringLiteral("xml"))));
    }
    FrameReport decode(const QByteArray &frame) { return catalogue->decodeBytes(frame); }
};

// The frame that device 3 (000A1B) sends to 000001 with message 0x30 and these data bytes.
QByteArray sampleFrame(const QByteArray &data, quint8 messageId = 0x30)
{
    return packFrame(messageId, false, quint8(data.size() + kFrameOverheadBytes), 3, 0, 0x000A1B, 0x000001, data);
}

// "F0 EF DF" by another way than the pane's.
QString spaced(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

class FrameDetailPaneTest : public QObject
{
    Q_OBJECT

private slots:
    // The Parameters rows, each with its children.
    void parameters_data() { addDataRows(QStringLiteral("monitor/detailparameters.txt")); }
    void parameters()
    {
        QFETCH(QStringList, row);
        OneMessageCatalogue files(unescaped(row[0]).toUtf8());
        pane->showReport(files.decode(sampleFrame(QByteArray::fromHex(row[1].toLatin1()))));
        const auto text = [](const QTreeWidgetItem *item) -> QString {
            const QString raw = item->text(FrameDetailPane::ColumnRaw);
            return item->text(FrameDetailPane::ColumnField) + QLatin1Char('=') + item->text(FrameDetailPane::ColumnValue)
                + (raw.isEmpty() ? QString() : QStringLiteral(" [") + raw + QLatin1Char(']'));
        };
        QStringList shown;
        QTreeWidgetItem *parameters = field(QStringLiteral("Parameters"));
        QVERIFY(parameters);
        for (int i = 0; i < parameters->childCount(); ++i) {
            const QTreeWidgetItem *item = parameters->child(i);
            shown << text(item);
            QVERIFY(item->isExpanded());
            for (int k = 0; k < item->childCount(); ++k)
                shown << QLatin1Char('-') + text(item->child(k));
        }
        QCOMPARE(shown.join(QLatin1Char('\n')), unescaped(row[2]));
    }

    // The header fields in order, the message with its identifier, and the
    // status line, red when it is an error.
    void header_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QStringList>("fields"); // "field=value", in order
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<bool>("statusRed");
        const QByteArray one = QByteArray::fromHex("01");
        QTest::newRow("point to point, acknowledge")
            << packFrame(0x30, true, 12, 3, 5, 0x000A1B, 0x123456, one)
            << QStringList{"Device=Ranger", "Message=Sample", "Addressing=Point to point",
                           "Source \u2192 destination=000A1B \u2192 123456", "Acknowledge request=yes", "Node type=3",
                           "Status=Frame decoded successfully.", "Parameters=", "Bytes=", "Checksum="}
            << "0x30 (48)" << false;
        QTest::newRow("group, unknown message") << packFrame(0xA7, false, 11, 3, 0, 0x000002, 0x000000, QByteArray())
                                                << QStringList{"Device=Ranger", "Message=Unknown message", "Addressing=Group",
                                                               "Source \u2192 destination=000002 \u2192 000000",
                                                               "Acknowledge request=no", "Node type=3",
                                                               "Status=Frame not decoded because message is unknown.",
                                                               "Bytes=", "Checksum="}
                                                << "0xA7 (167)" << true;
        QTest::newRow("no product") << packFrame(0x30, false, 12, 9, 9, 0x000003, 0x000004, one)
                                    << QStringList{"Message=", "Addressing=Point to point",
                                                   "Source \u2192 destination=000003 \u2192 000004",
                                                   "Acknowledge request=no", "Node type=9",
                                                   "Status=No product found for the node type set in this frame.",
                                                   "Bytes=", "Checksum="}
                                    << "0x30 (48)" << true;
    }

    void header()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QStringList, fields);
        QFETCH(QString, identifier);
        QFETCH(bool, statusRed);
        OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
        FrameReport report = files.decode(frame);
        pane->showReport(report);
        QStringList shown;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = tree()->topLevelItem(i);
            const QString name = item->text(FrameDetailPane::ColumnField);
            // The bytes and the parameters have tests of their own.
            const bool skipValue = name == QLatin1String("Bytes") || name == QLatin1String("Checksum");
            shown << name + QLatin1Char('=') + (skipValue ? QString() : item->text(FrameDetailPane::ColumnValue));
        }
        QCOMPARE(shown, fields);
        QCOMPARE(field(QStringLiteral("Message"))->text(FrameDetailPane::ColumnRaw), identifier);
        QCOMPARE(isRed(QStringLiteral("Status")), statusRed);

        // Time and direction first, when the report carries them.
        report.time = QStringLiteral("10:20:30.456");
        report.direction = QStringLiteral("TX");
        pane->showReport(report);
        QCOMPARE(tree()->topLevelItem(0)->text(FrameDetailPane::ColumnValue), report.time);
        QCOMPARE(tree()->topLevelItem(1)->text(FrameDetailPane::ColumnValue), report.direction);
        pane->showTime(QStringLiteral("10:20:31.000"));
        QCOMPARE(value(QStringLiteral("Time")), QStringLiteral("10:20:31.000"));
    }

    // The bytes spaced, the checksum's two in brackets, and whether it holds;
    // when it does not, the sum it should have been.
    void checksum_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("verdict");
        const QByteArray good = sampleFrame(QByteArray::fromHex("05"));
        QTest::newRow("right") << good << "checksum ok";
        // The sum expected is that of the bytes as read.
        QByteArray changed = good;
        changed[9] = char(quint8(changed.at(9)) ^ 0x01);
        QTest::newRow("data byte changed") << changed << "checksum wrong, expected 0960";
    }

    void checksum()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, verdict);
        OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
        pane->showReport(files.decode(frame));
        const int body = frame.size() - 2;
        QCOMPARE(value(QStringLiteral("Bytes")),
                 spaced(frame.left(body)) + QStringLiteral(" [") + spaced(frame.mid(body)) + QLatin1Char(']'));
        QCOMPARE(value(QStringLiteral("Checksum")), verdict);
        const bool bad = verdict != QLatin1String("checksum ok");
        QCOMPARE(isRed(QStringLiteral("Checksum")), bad);
        // The status says it first, in red, as the Values cell does.
        QCOMPARE(value(QStringLiteral("Status")),
                 QLatin1String(bad ? "bad checksum | " : "") + QStringLiteral("Frame decoded successfully."));
        QCOMPARE(isRed(QStringLiteral("Status")), bad);
        // Decoded all the same.
        QCOMPARE(parameter(QStringLiteral("P"))->text(FrameDetailPane::ColumnValue), QString::number(quint8(frame.at(9)) ^ 0xFF));
    }

    // In a narrow pane the bytes and the checksum's verdict wrap onto more
    // lines rather than being cut.
    void longValuesWrap()
    {
        OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
        pane->resize(480, 600);
        pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(pane.get()));
        QByteArray frame = sampleFrame(QByteArray(20, '\x05'));
        frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 1);
        pane->showReport(files.decode(frame));
        const int line = tree()->fontMetrics().height();
        for (const char *name : {"Bytes", "Checksum"}) {
            const QRect shown = tree()->visualItemRect(field(QLatin1String(name)));
            QVERIFY2(shown.height() >= 2 * line, name);
        }
        // Wider, the verdict takes one line again.
        pane->resize(1400, 600);
        QTRY_VERIFY(tree()->visualItemRect(field(QStringLiteral("Checksum"))).height() < 2 * line);
    }

    // Bytes that are no frame: the reason in red, the bytes without a checksum.
    void notAFrame()
    {
        OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
        const QByteArray bytes = QByteArray::fromHex("0102030405");
        pane->showReport(files.decode(bytes));
        QCOMPARE(value(QStringLiteral("Status")), QStringLiteral("Invalid frame length."));
        QVERIFY(isRed(QStringLiteral("Status")));
        QCOMPARE(value(QStringLiteral("Bytes")), QStringLiteral("01 02 03 04 05"));
        QVERIFY(!field(QStringLiteral("Checksum")));
        QVERIFY(!field(QStringLiteral("Message")));
    }

    // The buttons hand over the frame shown; with noise shown they are
    // disabled.
    void buttons()
    {
        OneMessageCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
        const QByteArray frame = sampleFrame(QByteArray::fromHex("09"));
        pane->showReport(files.decode(frame));
        QVERIFY(button("buttonOpenOnDecode")->isEnabled());
        QVERIFY(button("buttonPutInSend")->isEnabled());
        QSignalSpy opened(pane.get(), &FrameDetailPane::openRequested);
        QSignalSpy put(pane.get(), &FrameDetailPane::putInSendRequested);
        QTest::mouseClick(button("buttonOpenOnDecode"), Qt::LeftButton);
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toByteArray(), frame);
        QTest::mouseClick(button("buttonPutInSend"), Qt::LeftButton);
        QCOMPARE(put.count(), 1);
        QCOMPARE(put.at(0).at(0).toByteArray(), frame);

        // A noise run: its bytes and "noise", and nothing to open or send.
        pane->showNoise(QByteArray::fromHex("A5FF00"), QStringLiteral("08:00:00.001"));
        QStringList shown;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            shown << tree()->topLevelItem(i)->text(FrameDetailPane::ColumnField) + QLatin1Char('=')
                         + tree()->topLevelItem(i)->text(FrameDetailPane::ColumnValue);
        QCOMPARE(shown, (QStringList{"Time=08:00:00.001", "Status=noise", "Bytes=A5 FF 00"}));
        QCOMPARE(field(QStringLiteral("Status"))->text(FrameDetailPane::ColumnRaw), QStringLiteral("3 bytes"));
        QVERIFY(!button("buttonOpenOnDecode")->isEnabled());
        QVERIFY(!button("buttonPutInSend")->isEnabled());
        pane->clear();
        QCOMPARE(tree()->topLevelItemCount(), 0);
    }

private:
    QTreeWidget *tree() const { return pane->findChild<QTreeWidget *>(QStringLiteral("treeWidgetDetail")); }
    QPushButton *button(const char *name) const { return pane->findChild<QPushButton *>(QLatin1String(name)); }
    // The top-level row of the field; nullptr when there is none.
    QTreeWidgetItem *field(const QString &name) const
    {
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            if (tree()->topLevelItem(i)->text(FrameDetailPane::ColumnField) == name)
                return tree()->topLevelItem(i);
        return nullptr;
    }
    // The row of a parameter; nullptr when there is none.
    QTreeWidgetItem *parameter(const QString &name) const
    {
        QTreeWidgetItem *parameters = field(QStringLiteral("Parameters"));
        for (int i = 0; parameters && i < parameters->childCount(); ++i)
            if (parameters->child(i)->text(FrameDetailPane::ColumnField) == name)
                return parameters->child(i);
        return nullptr;
    }
    QString value(const QString &name) const
    {
        QTreeWidgetItem *item = field(name);
        return item ? item->text(FrameDetailPane::ColumnValue) : QStringLiteral("(no row)");
    }
    bool isRed(const QString &name) const
    {
        QTreeWidgetItem *item = field(name);
        return item && item->foreground(FrameDetailPane::ColumnValue).color() == QColor(Qt::red);
    }

    std::unique_ptr<FrameDetailPane> pane{new FrameDetailPane};
};

QTEST_MAIN(FrameDetailPaneTest)
#include "framedetailpanetest.moc"
