// The Bus page's replies: the list's Reply column, the links of the detail
// pane, the Replies tab and its filter, the timeout and a reply time plot,
// over an opened log. (The pairing over the store: replytooltest.)
#include "buspage.h"

#include "bustools/replytool.h"
#include "charts/plotwindow.h"
#include "monitor/busplots.h"

namespace {

// From 000001 to the drive 3A0C51: Get Motor Status, then Get Motor Position.
const QByteArray kAskStatus = QByteArray::fromHex("F1F4FDFEFFFFAEF3C50844");
const QByteArray kAskPosition = QByteArray::fromHex("F3F4FDFEFFFFAEF3C50846");
// The drive's status, to 000001.
const QByteArray kStatus = QByteArray::fromHex("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");

} // namespace

class BusPageRepliesTest : public BusPageFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void repliesShown()
    {
        const qint64 base = QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC).toMSecsSinceEpoch() * 1000;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("replies.log"));
        QVERIFY(writeLog(path, {logged(kAskStatus, base, BusRecord::Sent), logged(kStatus, base + 12500),
                                logged(kAskPosition, base + 100000, BusRecord::Sent)}));
        QVERIFY(bus->logs()->open(path));
        QTRY_VERIFY(!bus->logs()->isOpening());

        // The column: a request's delay, a reply's in grey, "no reply" in red.
        const int column = FrameTableModel::ColumnReply;
        QCOMPARE(shownColumn(column), QStringList({"12.500", "12.500", "no reply"}));
        QVector<QColor> colours;
        for (int row = 0; row < 3; ++row)
            colours << model()->index(row, column).data(Qt::ForegroundRole).value<QBrush>().color();
        QCOMPARE(colours, QVector<QColor>({QColor(Qt::black), QColor(Qt::gray), QColor(Qt::red)}));

        // The reply links to its request, which is selected when followed.
        clickRow(1);
        auto *links = find<QLabel>(QStringLiteral("labelReplyLinks"));
        QVERIFY(links->isVisible());
        QVERIFY2(links->text().contains(QStringLiteral("Reply to Get Motor Status")), qPrintable(links->text()));
        const QString href = links->text().section(QLatin1Char('"'), 1, 1);
        emit links->linkActivated(href);
        QCOMPARE(listView()->currentIndex().row(), 0);
        QVERIFY2(links->text().contains(QStringLiteral("Reply Post Motor Status")), qPrintable(links->text()));

        // Replies: a row per node and message; double-click filters the list.
        auto *table = find<QTableView>(QStringLiteral("tableViewReplies"));
        QAbstractItemModel *replies = table->model();
        QCOMPARE(replies->rowCount(), 2);
        auto rowText = [replies](int row) {
            QStringList cells;
            for (int c = 0; c < replies->columnCount(); ++c)
                cells << replies->index(row, c).data().toString();
            return cells.join(QLatin1Char('|'));
        };
        QCOMPARE(rowText(0), QStringLiteral("3A0C51|QX-Drive 40|Get Motor Status|1|1|0|12.500|12.500|12.500"));
        QCOMPARE(rowText(1), QStringLiteral("3A0C51|QX-Drive 40|Get Motor Position|1|0|1|||"));
        auto red = [replies](int row) {
            return replies->index(row, ReplyTool::Unanswered).data(Qt::ForegroundRole).value<QBrush>().color()
                == QColor(Qt::red);
        };
        QVERIFY(red(1) && !red(0));
        find<QTabWidget>(QStringLiteral("tabWidgetDetail"))->setCurrentWidget(table);
        const QModelIndex position = replies->index(1, ReplyTool::Message);
        const QPoint at = table->visualRect(position).center();
        // As a mouse does it: press and release, then the second press.
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(field(QStringLiteral("LineEditFilter"))->text(),
                 QStringLiteral("destination == \"3A0C51\" and message == \"Get Motor Position\""));
        QCOMPARE(model()->rowCount(), 1);

        // A reply time plot of the status requests.
        PlotWindow *plot = bus->plots()->openReplyPlotOfGroup(0);
        QVERIFY(plot);
        QCOMPARE(plot->seriesData(0).values(), QVector<double>({12.5}));
        delete plot;

        // A shorter timeout pairs the log again, and is there next time.
        find<QSpinBox>(QStringLiteral("spinBoxReplyTimeout"))->setValue(10);
        field(QStringLiteral("LineEditFilter"))->clear();
        // The last request unanswered too: the log was read to its end.
        QCOMPARE(shownColumn(column), QStringList({"no reply", "unsolicited", "no reply"}));
        BusLayout other;
        QCOMPARE(other.replies()->timeoutMs(), 10);
    }
};

QTEST_MAIN(BusPageRepliesTest)
#include "buspagerepliestest.moc"
