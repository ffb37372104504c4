// Plots of the Bus page: opened from a row's menu or the detail pane, what
// they draw, live batches, the view, and the export.

#include "charts/plotwindow.h"
#include "charts/chartsqt.h"
#include "monitor/busplots.h"
#include "monitor/framedetailpane.h"
#include "codec/buslog.h"
#include "buspage.h"

#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

KWN_CHARTS_USE

namespace {

const quint32 kSource = 0x000A1B;
const qint64 kStartUs = 1765000000000000; // some day in 2025, in µs

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
    const QList<QAction *> actions = menu->actions();
    const auto found = std::find_if(actions.begin(), actions.end(), [&text](QAction *a) { return a->text() == text; });
    return found == actions.end() ? nullptr : *found;
}

} // namespace

class BusPlotsTest : public BusPageFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpCase();
        // Message "Sample" (0x30) of product "Ranger" (node type 3): a
        // position, a mode of two names, a bitfield and a string.
        const QByteArray messages = readFile(QStringLiteral(KWN_TEST_DATA "/charts/sample.xml"));
        QVERIFY(writeProfile(catalogueDir.path(), messages, "Ranger"));
        // The page reads the catalogue of "xml" in the current folder.
        QDir::setCurrent(catalogueDir.path());
    }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // A row's menu offers a plot of each parameter with a number, none for a
    // frame whose values cannot be read, nor for noise.
    void rowMenu()
    {
        const struct { QByteArray frame; BusRecord::Kind kind; QStringList entries; } rows[] = {
            {sampleFrame(5, 1), BusRecord::Sent, {"Plot reply time", "Plot Position", "Plot Mode", "Plot Flags"}},
            {withBadChecksum(sampleFrame(5, 1)), BusRecord::Received, {}},
            {packFrame(0x30, false, 13, 9, 0, kSource, 1, QByteArray(2, 0)), BusRecord::Received, {}},
            {sampleFrame(5, 1), BusRecord::Noise, {}}};
        for (const auto &row : rows) {
            clearList();
            BusRecord record = bus->session()->prepare(row.frame, kStartUs, row.kind);
            record.bytes = row.frame;
            bus->session()->load({record});
            std::unique_ptr<QMenu> menu(listPanel()->frameMenu(model()->index(0, 0)));
            QCOMPARE(plotTexts(menu.get()), row.entries);
            QVERIFY(menu->findChild<QAction *>(QStringLiteral("actionCopyFrame"))); // what was there stays
        }
    }

    // The plot shows the values of the row's source and message, and no
    // other, a silence as a gap between two lines (the second kept out of
    // the legend); each opens a window of its own. The time axis ticks on
    // round seconds: 154 s in about five ticks, every 50 s. The status names
    // the point nearest the mouse. Its export: time,series,value,name, every
    // point in time order (the writer's rules: csvwritertest); a picture too.
    void plotFromRowMenu()
    {
        clearList();
        loadFrames({10, -20, 30, 45, -5});
        loadFrames({40, 50, 60}, kStartUs + 152000000);
        PlotWindow *window = plotFromMenu(0, QStringLiteral("Position"));
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Plot 1: Position"));
        QCOMPARE(window->originUs(), kStartUs);
        QCOMPARE(pointsOf(window->line(0)), (QVector<QPointF>{{0, 10}, {1, -20}, {2, 30}, {3, 45}, {4, -5}}));
        QCOMPARE(window->line(0)->name(), QStringLiteral("Position (000A1B)"));
        const QVector<QLineSeries *> lines = window->lines(0);
        QCOMPARE(lines.size(), 2);
        const auto markers = window->chart()->legend()->markers();
        QVERIFY(std::count_if(markers.begin(), markers.end(), [](QLegendMarker *m) { return m->isVisible(); }) == 1);
        QCOMPARE(window->timeAxis()->tickType(), QValueAxis::TicksDynamic);
        QCOMPARE(window->timeAxis()->tickInterval(), 50.0);
        emit lines.at(1)->hovered(QPointF(153.4, 52), true);
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("labelPlotValue"))->text(),
                 QStringLiteral("Position = 50 at 153.000 s"));
        auto *values = qobject_cast<QValueAxis *>(window->valueAxis(0));
        QVERIFY(values);
        // Named after the parameter, with the unit of its description.
        QCOMPARE(values->titleText(), QStringLiteral("Position (steps)"));
        // The values from -20 to 60 with a little room, on round ticks.
        QVERIFY(values->min() <= -20 && values->min() >= -40 && values->max() >= 60 && values->max() <= 80);
        QCOMPARE(std::fmod(values->min(), 10.0), 0.0);
        PlotWindow *second = plotFromMenu(0, QStringLiteral("Flags"));
        QCOMPARE(second->windowTitle(), QStringLiteral("Plot 2: Flags"));
        QCOMPARE(second->valueAxis(0)->titleText(), QStringLiteral("Flags (field as a number)"));

        const QString path = settingsDir.filePath(QStringLiteral("plot.csv"));
        QVERIFY(window->saveCsv(path));
        const QByteArray last = busLogTimeUs(kStartUs + 154000000, true).toLatin1();
        QVERIFY(readFile(path).endsWith(QByteArray(last + ",\"Position (Ranger 000A1B, Sample)\",60,\r\n")));
        const QString png = settingsDir.filePath(QStringLiteral("plot.png"));
        QVERIFY(window->savePng(png) && !QImage(png).isNull());

        // Batches that come while the plot is open are drawn on its timer;
        // Follow latest keeps the view's width and its right edge on the
        // newest point, until the view is moved back; Reset zoom shows
        // everything, and the minus key zooms out. (Which points are drawn:
        // valueseriestest.)
        window->setViewUs(kStartUs + 1000000, kStartUs + 3000000);
        auto *follow = window->findChild<QCheckBox *>(QStringLiteral("checkBoxFollow"));
        follow->setChecked(true);
        loadFrames({7, 8}, kStartUs + 200000000);
        QCOMPARE(window->seriesData(0).size(), 10);
        QTRY_COMPARE(window->timeAxis()->max(), 201.0);
        QCOMPARE(window->timeAxis()->min(), 199.0);
        QCOMPARE(pointsOf(window->lines(0).constLast()).constLast(), QPointF(201, 8));
        QTest::keyClick(window->findChild<QWidget *>(QStringLiteral("chartViewPlot")), Qt::Key_Left);
        QVERIFY(!follow->isChecked());
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("buttonResetZoom")), Qt::LeftButton);
        QCOMPARE(window->timeAxis()->min(), 0.0);
        QCOMPARE(window->timeAxis()->max(), 201.0);
        window->setViewUs(kStartUs, kStartUs + 40000);
        QTest::keyClick(window->findChild<QWidget *>(QStringLiteral("chartViewPlot")), Qt::Key_Minus);
        QVERIFY(window->viewToUs() - window->viewFromUs() > 40000);
    }

    // The detail pane's parameter rows have the row menu's entries (a string
    // none). "Add to plot": a named value joins on an axis of its own, its
    // names as labels, drawn in steps.
    void detailPaneMenu()
    {
        clearList();
        loadFrames({2, 3, 3, 4});
        clickRow(0);
        auto *pane = find<FrameDetailPane>(QStringLiteral("frameDetailPane"));
        QVERIFY(!pane->parameterItem(QStringLiteral("Label")));
        const auto menuOf = [pane](const char *parameter) {
            return std::unique_ptr<QMenu>(pane->parameterMenu(pane->parameterItem(QLatin1String(parameter))));
        };
        std::unique_ptr<QMenu> menu = menuOf("Position");
        QCOMPARE(plotTexts(menu.get()), QStringList{QStringLiteral("Plot Position")});
        actionOf(menu.get(), QStringLiteral("Plot Position"))->trigger();
        PlotWindow *window = bus->plots()->plotWindows().value(0);
        QVERIFY(window);
        menu = menuOf("Mode");
        QCOMPARE(plotTexts(menu.get()), (QStringList{"Plot Mode", "Add to plot"}));
        auto *add = menu->findChild<QMenu *>(QStringLiteral("menuAddToPlot"));
        QCOMPARE(actionTexts(add), QStringList{QStringLiteral("Plot 1: Position")});
        add->actions().constFirst()->trigger();
        QCOMPARE(bus->plots()->plotWindows().size(), 1);
        QCOMPARE(window->windowTitle(), QStringLiteral("Plot 1: Position, Mode"));
        auto *names = qobject_cast<QCategoryAxis *>(window->valueAxis(1));
        QVERIFY(names && window->valueAxis(0) != names);
        QCOMPARE(names->categoriesLabels(), (QStringList{"Off", "On"}));
        QCOMPARE(names->endValue(QStringLiteral("On")), 1.0);
        QCOMPARE(pointsOf(window->line(1)), (QVector<QPointF>{{0, 0}, {1, 0}, {1, 1}, {2, 1}, {3, 1}, {3, 0}}));
    }

private:
    // Frames of the sample message at `kStartUs` + i s, positions as given
    // (mode 1 for odd positions), then a bad one and one of another source.
    void loadFrames(const QVector<qint16> &positions, qint64 fromUs = kStartUs)
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

    PlotWindow *plotFromMenu(int row, const QString &parameter)
    {
        const int before = bus->plots()->plotWindows().size();
        std::unique_ptr<QMenu> menu(listPanel()->frameMenu(model()->index(row, 0)));
        if (QAction *action = actionOf(menu.get(), QStringLiteral("Plot ") + parameter))
            action->trigger();
        return bus->plots()->plotWindows().value(before);
    }

    QTemporaryDir catalogueDir;
};

QTEST_MAIN(BusPlotsTest)
#include "busplotstest.moc"
