// Plots of the Bus page: opened from a row's menu or the detail pane, what
// they draw, live batches, the view, and the export.

#include "charts/plotwindow.h"
#include "charts/chartsqt.h"
#include "monitor/framedetailpane.h"
#include "codec/buslog.h"
#include "buspage.h"

#include <QImage>
#include <QRegularExpression>

#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

KWN_CHARTS_USE

namespace {

const quint32 kSource = 0x000A1B;
const qint64 kStartUs = 1765000000000000; // some day in 2025, in µs

// Message "Sample" (0x30) of product "Ranger" (node type 3): a position, a
// mode of two names, a bitfield and a string.
const QByteArray kMessages =
    "<message name=\"Sample\" category=\"C\" msg_id=\"0x30\">"
    "<parameter name=\"Position\" type=\"integer\" size=\"2\" sign=\"signed\" description=\"Position in steps.\"/>"
    "<parameter name=\"Mode\" type=\"integer\" size=\"1\"><value value=\"0\" description=\"Off\"/>"
    "<value value=\"1\" description=\"On\"/></parameter>"
    "<parameter name=\"Flags\" type=\"bitfield\" size=\"1\"><value value=\"0\" description=\"Ready\"/></parameter>"
    "<parameter name=\"Label\" type=\"string\" size=\"2\"/>"
    "</message>";

QByteArray sampleFrame(qint16 position, quint8 mode, quint8 flags = 1, quint32 source = kSource)
{
    QByteArray data;
    data.append(char(quint16(position) & 0xFF)).append(char(quint16(position) >> 8));
    data.append(char(mode)).append(char(flags)).append("AB");
    return packFrame(0x30, false, quint8(data.size() + kFrameOverheadBytes), 3, 0, source, 0x000001, data);
}

// The points a line draws (Qt 6 gives them as a list, which is its vector).
QVector<QPointF> pointsOf(const QXYSeries *series)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return series->points();
#else
    return series->pointsVector();
#endif
}

QStringList actionTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    return texts;
}

QStringList plotTexts(const QMenu *menu)
{
    return actionTexts(menu).filter(QRegularExpression(QStringLiteral("^(Plot |Add to plot)")));
}

QAction *actionOf(const QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class BusPlotsTest : public BusPageFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rowMenu_data();
    void rowMenu();
    void plotFromRowMenu();
    void secondParameterAdded();
    void livePointsAfterABatch();
    void followLatestMovesTheAxis();
    void zoomAndPanDrawAgain();
    void silenceHoverAndTicks();
    void detailPaneMenu();
    void csvExport();

private:
    // Frames of the sample message at `kStartUs` + i s, positions as given
    // (mode 1 for odd positions), then a bad one and one of another source.
    void loadFrames(const QVector<qint16> &positions, qint64 fromUs = kStartUs);
    PlotWindow *plotFromMenu(int row, const QString &parameter);
    QVector<QPointF> expectedPoints(const QVector<qint16> &positions, qint64 originUs, qint64 fromUs = kStartUs) const;

    QTemporaryDir catalogueDir;
};

void BusPlotsTest::initTestCase()
{
    setUpCase();
    QVERIFY(writeProfile(catalogueDir.path(), kMessages, "Ranger"));
    // The page reads the catalogue of "xml" in the current folder.
    QDir::setCurrent(catalogueDir.path());
}

void BusPlotsTest::init()
{
    setUp();
}

void BusPlotsTest::cleanup()
{
    tearDown();
}

void BusPlotsTest::loadFrames(const QVector<qint16> &positions, qint64 fromUs)
{
    QVector<BusRecord> records;
    BusSession *session = bus->session();
    for (int i = 0; i < positions.size(); ++i)
        records << session->prepare(sampleFrame(positions.at(i), quint8(positions.at(i) & 1)),
                                    fromUs + i * 1000000, BusRecord::Received);
    // Neither of these is drawn: a bad checksum, another node.
    records << session->prepare(withBadChecksum(sampleFrame(999, 0)), fromUs + 500000, BusRecord::Received);
    records << session->prepare(sampleFrame(-999, 0, 0, 0x000A1C), fromUs + 700000, BusRecord::Received);
    session->load(records);
}

QVector<QPointF> BusPlotsTest::expectedPoints(const QVector<qint16> &positions, qint64 originUs, qint64 fromUs) const
{
    QVector<QPointF> points;
    for (int i = 0; i < positions.size(); ++i)
        points << QPointF(double(fromUs + i * 1000000 - originUs) / 1e6, positions.at(i));
    return points;
}

PlotWindow *BusPlotsTest::plotFromMenu(int row, const QString &parameter)
{
    const int before = bus->plots()->plotWindows().size();
    std::unique_ptr<QMenu> menu(listPanel()->frameMenu(model()->index(row, 0)));
    QAction *action = actionOf(menu.get(), QStringLiteral("Plot ") + parameter);
    if (!action)
        return nullptr;
    action->trigger();
    const QVector<PlotWindow *> windows = bus->plots()->plotWindows();
    return windows.size() == before + 1 ? windows.constLast() : nullptr;
}

void BusPlotsTest::rowMenu_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("numbers, a name and bits; no string")
        << sampleFrame(5, 1) << int(BusRecord::Received)
        << QStringList{QStringLiteral("Plot reply time"), QStringLiteral("Plot Position"), QStringLiteral("Plot Mode"),
                       QStringLiteral("Plot Flags")};
    QTest::newRow("sent") << sampleFrame(5, 1) << int(BusRecord::Sent)
                          << QStringList{QStringLiteral("Plot reply time"), QStringLiteral("Plot Position"),
                                         QStringLiteral("Plot Mode"), QStringLiteral("Plot Flags")};
    QTest::newRow("cut short") << sampleFrame(5, 1).left(14) << int(BusRecord::Received) << QStringList{};
    QTest::newRow("bad checksum") << withBadChecksum(sampleFrame(5, 1)) << int(BusRecord::Received) << QStringList{};
    QTest::newRow("unknown device") << packFrame(0x30, false, 13, 9, 0, kSource, 1, QByteArray(2, 0))
                                    << int(BusRecord::Received) << QStringList{};
    QTest::newRow("noise") << sampleFrame(5, 1) << int(BusRecord::Noise) << QStringList{};
}

// A row's menu offers a plot of each parameter with a number.
void BusPlotsTest::rowMenu()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, kind);
    QFETCH(QStringList, entries);
    clearList();
    BusRecord record = bus->session()->prepare(frame, kStartUs, BusRecord::Kind(kind));
    if (kind == BusRecord::Noise)
        record.bytes = frame;
    bus->session()->load({record});
    QCOMPARE(model()->rowCount(), 1);
    std::unique_ptr<QMenu> menu(listPanel()->frameMenu(model()->index(0, 0)));
    QCOMPARE(plotTexts(menu.get()), entries);
    // What was there stays.
    QVERIFY(menu->findChild<QAction *>(QStringLiteral("actionCopyFrame")));
}

// The plot shows the values of the row's source and message, and no other.
void BusPlotsTest::plotFromRowMenu()
{
    clearList();
    const QVector<qint16> positions{10, -20, 30, 45, -5};
    loadFrames(positions);
    PlotWindow *window = plotFromMenu(0, QStringLiteral("Position"));
    QVERIFY(window);
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowTitle(), QStringLiteral("Plot 1: Position"));
    QCOMPARE(window->seriesCount(), 1);
    QCOMPARE(window->originUs(), kStartUs);
    QCOMPARE(pointsOf(window->line(0)), expectedPoints(positions, kStartUs));
    QCOMPARE(window->line(0)->name(), QStringLiteral("Position (000A1B)"));
    auto *values = qobject_cast<QValueAxis *>(window->valueAxis(0));
    QVERIFY(values);
    // Named after the parameter, with the unit of its description.
    QCOMPARE(values->titleText(), QStringLiteral("Position (steps)"));
    // The values from -20 to 45 with a little room, on round ticks.
    QVERIFY2(values->min() <= -20 && values->min() >= -40, qPrintable(QString::number(values->min())));
    QVERIFY2(values->max() >= 45 && values->max() <= 60, qPrintable(QString::number(values->max())));
    QCOMPARE(std::fmod(values->min(), 10.0), 0.0);
    QCOMPARE(window->timeAxis()->min(), 0.0);
    QCOMPARE(window->timeAxis()->max(), 4.0);
    QVERIFY(window->timeAxis()->titleText().startsWith(QStringLiteral("Seconds since ")));
    // Each opens a window of its own.
    PlotWindow *second = plotFromMenu(0, QStringLiteral("Flags"));
    QVERIFY(second && second != window);
    QCOMPARE(second->windowTitle(), QStringLiteral("Plot 2: Flags"));
    QCOMPARE(second->seriesData(0).kind(), SeriesKind::Bitfield);
    QCOMPARE(second->valueAxis(0)->titleText(), QStringLiteral("Flags (field as a number)"));
}

// "Add to plot": a named-value parameter joins on an axis of its own, with
// its names as labels, drawn in steps.
void BusPlotsTest::secondParameterAdded()
{
    clearList();
    loadFrames({2, 3, 3, 4});
    PlotWindow *window = plotFromMenu(0, QStringLiteral("Position"));
    QVERIFY(window);
    std::unique_ptr<QMenu> menu(listPanel()->frameMenu(model()->index(0, 0)));
    auto *add = menu->findChild<QMenu *>(QStringLiteral("menuAddToPlot"));
    QVERIFY(add);
    auto *mode = add->findChild<QMenu *>(QStringLiteral("menuAddToPlot Mode"));
    QVERIFY(mode);
    QCOMPARE(actionTexts(mode), QStringList{QStringLiteral("Plot 1: Position")});
    // Position is in it already.
    auto *position = add->findChild<QMenu *>(QStringLiteral("menuAddToPlot Position"));
    QVERIFY(position && !position->actions().constFirst()->isEnabled());
    mode->actions().constFirst()->trigger();
    QCOMPARE(bus->plots()->plotWindows().size(), 1);
    QCOMPARE(window->seriesCount(), 2);
    QCOMPARE(window->windowTitle(), QStringLiteral("Plot 1: Position, Mode"));
    QCOMPARE(window->seriesData(1).kind(), SeriesKind::Named);
    auto *names = qobject_cast<QCategoryAxis *>(window->valueAxis(1));
    QVERIFY(names);
    QVERIFY(window->valueAxis(0) != window->valueAxis(1));
    QCOMPARE(names->categoriesLabels(), (QStringList{QStringLiteral("Off"), QStringLiteral("On")}));
    QCOMPARE(names->endValue(QStringLiteral("Off")), 0.0);
    QCOMPARE(names->endValue(QStringLiteral("On")), 1.0);
    // Modes 0, 1, 1, 0 a second apart, in steps.
    QCOMPARE(pointsOf(window->line(1)),
             (QVector<QPointF>{{0, 0}, {1, 0}, {1, 1}, {2, 1}, {3, 1}, {3, 0}}));
}

// A silence of 150 s is a gap between two lines, the second kept out of the
// legend; the status names the point nearest the mouse; the time axis ticks
// on round seconds.
void BusPlotsTest::silenceHoverAndTicks()
{
    clearList();
    loadFrames({10, 20, 30});
    loadFrames({40, 50, 60}, kStartUs + 152000000);
    PlotWindow *window = plotFromMenu(0, QStringLiteral("Position"));
    QVERIFY(window);
    const QVector<QLineSeries *> lines = window->lines(0);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(pointsOf(lines.at(0)), (QVector<QPointF>{{0, 10}, {1, 20}, {2, 30}}));
    QCOMPARE(pointsOf(lines.at(1)), (QVector<QPointF>{{152, 40}, {153, 50}, {154, 60}}));
    QCOMPARE(lines.at(1)->pen().color(), lines.at(0)->pen().color());
    int legendEntries = 0;
    for (const QLegendMarker *marker : window->chart()->legend()->markers())
        legendEntries += marker->isVisible() ? 1 : 0;
    QCOMPARE(legendEntries, 1);

    QCOMPARE(window->valueTextAt(0, 1.2), QStringLiteral("Position = 20 at 1.000 s"));
    QCOMPARE(window->valueTextAt(0, 100), QStringLiteral("Position = 40 at 152.000 s"));
    emit lines.at(1)->hovered(QPointF(153.4, 52), true);
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("labelPlotValue"))->text(),
             QStringLiteral("Position = 50 at 153.000 s"));

    // 154 s in about five ticks: every 50 s, whole seconds.
    QCOMPARE(window->timeAxis()->tickType(), QValueAxis::TicksDynamic);
    QCOMPARE(window->timeAxis()->tickInterval(), 50.0);
    QCOMPARE(window->timeAxis()->tickAnchor(), 0.0);
    QCOMPARE(window->timeAxis()->labelFormat(), QStringLiteral("%.0f"));
}

// Batches that come while the plot is open are drawn on its timer.
void BusPlotsTest::livePointsAfterABatch()
{
    clearList();
    loadFrames({1, 2});
    PlotWindow *window = plotFromMenu(0, QStringLiteral("Position"));
    QVERIFY(window);
    QCOMPARE(window->line(0)->count(), 2);
    loadFrames({7, 8, 9}, kStartUs + 10000000);
    QCOMPARE(window->seriesData(0).size(), 5);
    QTRY_COMPARE(window->line(0)->count(), 5);
    QCOMPARE(pointsOf(window->line(0)).constLast(), QPointF(12, 9));
    QCOMPARE(window->timeAxis()->max(), 12.0);
}

// Follow latest keeps the width of the view and its right edge on the newest point.
void BusPlotsTest::followLatestMovesTheAxis()
{
    clearList();
    loadFrames({1, 2, 3, 4, 5, 6});
    PlotWindow *window = plotFromMenu(0, QStringLiteral("Position"));
    QVERIFY(window);
    window->setViewUs(kStartUs + 1000000, kStartUs + 3000000);
    window->refresh();
    QCOMPARE(window->timeAxis()->min(), 1.0);
    QCOMPARE(window->timeAxis()->max(), 3.0);
    window->findChild<QCheckBox *>(QStringLiteral("checkBoxFollow"))->setChecked(true);
    loadFrames({7, 8}, kStartUs + 20000000);
    QTRY_COMPARE(window->timeAxis()->max(), 21.0);
    QCOMPARE(window->timeAxis()->min(), 19.0);
    // After 15 s of silence, on a line of its own.
    QCOMPARE(pointsOf(window->lines(0).constLast()).constLast(), QPointF(21, 8));
    // Moving back in time stops following.
    QTest::keyClick(window->findChild<QWidget *>(QStringLiteral("chartViewPlot")), Qt::Key_Left);
    QVERIFY(!window->findChild<QCheckBox *>(QStringLiteral("checkBoxFollow"))->isChecked());
    window->refresh();
    QCOMPARE(window->timeAxis()->max(), 20.8);
    // Reset zoom shows everything.
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("buttonResetZoom")), Qt::LeftButton);
    QCOMPARE(window->timeAxis()->min(), 0.0);
    QCOMPARE(window->timeAxis()->max(), 21.0);
}

// Many points are drawn a few per pixel column; zooming in draws the
// points of the narrower span, all of them once few enough.
void BusPlotsTest::zoomAndPanDrawAgain()
{
    clearList();
    QVector<qint16> positions;
    for (int i = 0; i < 4000; ++i)
        positions << qint16(i % 7 == 0 ? 1000 + i % 13 : i % 50);
    QVector<BusRecord> records;
    for (int i = 0; i < positions.size(); ++i)
        records << bus->session()->prepare(sampleFrame(positions.at(i), 0), kStartUs + i * 1000, BusRecord::Received);
    bus->session()->load(records);
    PlotWindow *window = plotFromMenu(0, QStringLiteral("Position"));
    QVERIFY(window);
    const int columns = qMax(50, int(window->chart()->plotArea().width()));
    QCOMPARE(window->seriesData(0).size(), 4000);
    QVERIFY(window->line(0)->count() <= 4 * columns + 2);
    QVERIFY(window->line(0)->count() < 4000);
    // Every column's largest value stays: the peaks above 1000 show.
    double highest = 0;
    for (const QPointF &p : pointsOf(window->line(0)))
        highest = qMax(highest, p.y());
    QCOMPARE(highest, 1012.0);
    // Zoom in on the first tenth: fewer points than columns, all drawn.
    window->setViewUs(kStartUs, kStartUs + 40000);
    window->refresh();
    QVector<QPointF> expected;
    for (int i = 0; i <= 41; ++i)
        expected << QPointF(i * 0.001, positions.at(i));
    QCOMPARE(pointsOf(window->line(0)), expected);
    // The wheel zooms out around the middle.
    QTest::keyClick(window->findChild<QWidget *>(QStringLiteral("chartViewPlot")), Qt::Key_Minus);
    QVERIFY(window->viewToUs() - window->viewFromUs() > 40000);
}

// The detail pane's parameter rows have the same entries.
void BusPlotsTest::detailPaneMenu()
{
    clearList();
    loadFrames({4, 5});
    clickRow(0);
    auto *pane = page->findChild<FrameDetailPane *>(QStringLiteral("frameDetailPane"));
    QVERIFY(pane->parameterItem(QStringLiteral("Position")));
    QVERIFY(!pane->parameterItem(QStringLiteral("Label")));
    QVERIFY(!pane->parameterMenu(pane->parameterItem(QStringLiteral("Label"))));
    std::unique_ptr<QMenu> menu(pane->parameterMenu(pane->parameterItem(QStringLiteral("Mode"))));
    QVERIFY(menu);
    QCOMPARE(plotTexts(menu.get()), QStringList{QStringLiteral("Plot Mode")});
    actionOf(menu.get(), QStringLiteral("Plot Mode"))->trigger();
    QCOMPARE(bus->plots()->plotWindows().size(), 1);
    PlotWindow *window = bus->plots()->plotWindows().constFirst();
    QCOMPARE(window->seriesData(0).values(), (QVector<double>{0, 1}));
    // Then "Add to plot" for another parameter.
    menu.reset(pane->parameterMenu(pane->parameterItem(QStringLiteral("Flags"))));
    QCOMPARE(plotTexts(menu.get()), (QStringList{QStringLiteral("Plot Flags"), QStringLiteral("Add to plot")}));
    auto *add = menu->findChild<QMenu *>(QStringLiteral("menuAddToPlot"));
    QCOMPARE(actionTexts(add), QStringList{QStringLiteral("Plot 1: Mode")});
    add->actions().constFirst()->trigger();
    QCOMPARE(window->seriesCount(), 2);
    QCOMPARE(window->seriesData(1).key().parameter, QStringLiteral("Flags"));
}

// time,series,value,name, every point in time order, series names quoted where
// they hold a comma, a named value's name beside its number.
void BusPlotsTest::csvExport()
{
    clearList();
    loadFrames({3, -4});
    PlotWindow *window = plotFromMenu(0, QStringLiteral("Position"));
    QVERIFY(window);
    std::unique_ptr<QMenu> menu(listPanel()->frameMenu(model()->index(0, 0)));
    menu->findChild<QMenu *>(QStringLiteral("menuAddToPlot Mode"))->actions().constFirst()->trigger();
    const QString path = settingsDir.filePath(QStringLiteral("plot.csv"));
    QVERIFY(window->saveCsv(path));
    const QByteArray t0 = busLogTimeUs(kStartUs, true).toLatin1();
    const QByteArray t1 = busLogTimeUs(kStartUs + 1000000, true).toLatin1();
    QCOMPARE(readFile(path), "time,series,value,name\r\n"
                             + t0 + ",\"Position (Ranger 000A1B, Sample)\",3,\r\n"
                             + t0 + ",\"Mode (Ranger 000A1B, Sample)\",1,On\r\n"
                             + t1 + ",\"Position (Ranger 000A1B, Sample)\",-4,\r\n"
                             + t1 + ",\"Mode (Ranger 000A1B, Sample)\",0,Off\r\n");
    QVERIFY(!window->saveCsv(settingsDir.filePath(QStringLiteral("no/such/folder/plot.csv"))));
    const QString png = settingsDir.filePath(QStringLiteral("plot.png"));
    QVERIFY(window->savePng(png));
    QVERIFY(!QImage(png).isNull());
}

QTEST_MAIN(BusPlotsTest)
#include "busplotstest.moc"
