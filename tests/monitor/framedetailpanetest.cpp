#include "monitor/framedetailpane.h"

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/framereport.h"
#include "cataloguefiles.h"
#include "support/datarows.h"

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
        OneMessageCatalogue own(unescaped(row[0]).toUtf8());
        pane->showReport(own.decode(sampleFrame(QByteArray::fromHex(row[1].toLatin1()))));
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

    // The top-level rows in order: the header fields, the message with its
    // identifier, the status line, the bytes spaced with the checksum's two
    // in brackets, and whether the checksum holds (when it does not, the sum
    // it should have been), those in red that say something is wrong.
    void header_data() { addDataRows(QStringLiteral("monitor/detailheader.txt")); }
    void header()
    {
        QFETCH(QStringList, row);
        FrameReport report = files.decode(QByteArray::fromHex(row[0].toLatin1()));
        pane->showReport(report);
        QStringList shown, red;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = tree()->topLevelItem(i);
            const QString name = item->text(FrameDetailPane::ColumnField);
            shown << name + QLatin1Char('=') + item->text(FrameDetailPane::ColumnValue);
            if (item->foreground(FrameDetailPane::ColumnValue).color() == QColor(Qt::red))
                red << name;
        }
        QCOMPARE(shown, unescaped(row[1]).split(QStringLiteral("; ")));
        const QTreeWidgetItem *message = field(QStringLiteral("Message"));
        QCOMPARE(message ? message->text(FrameDetailPane::ColumnRaw) : QStringLiteral("(no row)"), row[2]);
        QCOMPARE(red.join(QLatin1Char(' ')), row[3]);

        // Time and direction first, when the report carries them.
        report.time = QStringLiteral("10:20:30.456");
        report.direction = QStringLiteral("TX");
        pane->showReport(report);
        QCOMPARE(tree()->topLevelItem(0)->text(FrameDetailPane::ColumnValue), report.time);
        QCOMPARE(tree()->topLevelItem(1)->text(FrameDetailPane::ColumnValue), report.direction);
        pane->showTime(QStringLiteral("10:20:31.000"));
        QCOMPARE(tree()->topLevelItem(0)->text(FrameDetailPane::ColumnValue), QStringLiteral("10:20:31.000"));
    }

    // In a narrow pane the bytes and the checksum's verdict wrap onto more
    // lines rather than being cut.
    void longValuesWrap()
    {
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

private:
    QTreeWidget *tree() const { return pane->findChild<QTreeWidget *>(QStringLiteral("treeWidgetDetail")); }
    // The top-level row of the field; nullptr when there is none.
    QTreeWidgetItem *field(const QString &name) const
    {
        return tree()->findItems(name, Qt::MatchExactly, FrameDetailPane::ColumnField).value(0);
    }

    std::unique_ptr<FrameDetailPane> pane{new FrameDetailPane};
    // One product of one message of one byte, for the tests of what is not a parameter.
    OneMessageCatalogue files{"<parameter name=\"P\" type=\"integer\" size=\"1\"/>"};
};

QTEST_MAIN(FrameDetailPaneTest)
#include "framedetailpanetest.moc"
