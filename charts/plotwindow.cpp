#include "charts/plotwindow.h"

#include "charts/plotview.h"
#include "codec/busrecord.h"
#include "codec/framedecoding.h"
#include "codec/plotshape.h"
#include "insight/csvwriter.h"
#include "widgets/settingsstore.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

KWN_CHARTS_USE

namespace {

// New records are drawn together, at most this often.
constexpr int kRefreshMs = 200;
// The narrowest view: a few µs.
constexpr qint64 kMinViewUs = 10;
// A single point, or points all at one time, are shown in a second around them.
constexpr qint64 kLoneSpanUs = 1000000;

template<typename T>
T *named(T *object, const char *name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

} // namespace

PlotWindow::PlotWindow(ValueExtractor::Decoder decoder, QWidget *parent)
    : QWidget(parent, Qt::Window), extractor(std::move(decoder))
{
    setAttribute(Qt::WA_DeleteOnClose);
    layoutPlot = named(new QVBoxLayout(this), "layoutPlot");
    chartPlot = named(new QChart, "chartPlot");
    chartPlot->legend()->setAlignment(Qt::AlignBottom);
    axisTime = named(new QValueAxis, "axisTime");
    axisTime->setLabelFormat(QStringLiteral("%.3f"));
    chartPlot->addAxis(axisTime, Qt::AlignBottom);
    chartViewPlot = named(new PlotView, "chartViewPlot");
    chartViewPlot->setChart(chartPlot);
    chartViewPlot->setToolTip(QStringLiteral("Wheel or drag a span: zoom; middle button or Shift and drag, "
                                             "arrow keys: move in time"));

    layoutPlotControls = named(new QHBoxLayout, "layoutPlotControls");
    checkBoxFollow = named(new QCheckBox(QStringLiteral("Follow latest")), "checkBoxFollow");
    checkBoxFollow->setToolTip(QStringLiteral("Keep the newest point at the right edge"));
    buttonResetZoom = named(new QPushButton(QStringLiteral("Reset zoom")), "buttonResetZoom");
    buttonResetZoom->setToolTip(QStringLiteral("Show every point"));
    buttonSavePng = named(new QPushButton(QStringLiteral("Save PNG\u2026")), "buttonSavePng");
    buttonSaveCsv = named(new QPushButton(QStringLiteral("Save CSV\u2026")), "buttonSaveCsv");
    buttonSaveCsv->setToolTip(QStringLiteral("Write every point as time,series,value,name"));
    labelPlotStatus = named(new QLabel, "labelPlotStatus");
    labelPlotValue = named(new QLabel, "labelPlotValue");
    labelPlotValue->setToolTip(QStringLiteral("The point under the mouse"));
    layoutPlotControls->addWidget(checkBoxFollow);
    layoutPlotControls->addWidget(buttonResetZoom);
    layoutPlotControls->addWidget(labelPlotStatus);
    layoutPlotControls->addWidget(labelPlotValue, 1);
    layoutPlotControls->addWidget(buttonSavePng);
    layoutPlotControls->addWidget(buttonSaveCsv);
    layoutPlot->addWidget(chartViewPlot, 1);
    layoutPlot->addLayout(layoutPlotControls);

    timerRefresh = named(new QTimer(this), "timerRefresh");
    timerRefresh->setSingleShot(true);
    timerRefresh->setInterval(kRefreshMs);
    connect(timerRefresh, &QTimer::timeout, this, &PlotWindow::refresh);
    connect(checkBoxFollow, &QCheckBox::toggled, this, &PlotWindow::on_checkBoxFollow_toggled);
    connect(buttonResetZoom, &QPushButton::clicked, this, &PlotWindow::on_buttonResetZoom_clicked);
    connect(buttonSavePng, &QPushButton::clicked, this, &PlotWindow::on_buttonSavePng_clicked);
    connect(buttonSaveCsv, &QPushButton::clicked, this, &PlotWindow::on_buttonSaveCsv_clicked);
    connect(axisTime, &QValueAxis::rangeChanged, this, &PlotWindow::on_axisTime_rangeChanged);
    connect(chartViewPlot, &PlotView::zoomRequested, this, &PlotWindow::zoomBy);
    connect(chartViewPlot, &PlotView::panRequested, this, &PlotWindow::panBy);
    // A wider plot takes more points.
    connect(chartPlot, &QChart::plotAreaChanged, this, &PlotWindow::scheduleRefresh);
    resize(760, 460);
}

PlotWindow::~PlotWindow() = default;

void PlotWindow::setTitlePrefix(const QString &prefix)
{
    titlePrefix = prefix;
    updateTitle();
}

void PlotWindow::updateTitle()
{
    QStringList names;
    for (int i = 0; i < extractor.seriesCount(); ++i)
        names << extractor.series(i).key().parameter;
    setWindowTitle(titlePrefix.isEmpty() ? names.join(QStringLiteral(", "))
                                         : titlePrefix + QStringLiteral(": ") + names.join(QStringLiteral(", ")));
}

QString PlotWindow::axisGroupOf(const ValueSeries &series) const
{
    switch (series.kind()) {
    case SeriesKind::Number:
        return QStringLiteral("number");
    case SeriesKind::Bitfield:
        return QStringLiteral("bitfield");
    case SeriesKind::Named:
        break;
    }
    return QStringLiteral("named ") + series.key().title();
}

QAbstractAxis *PlotWindow::axisFor(const ValueSeries &series)
{
    const QString group = axisGroupOf(series);
    if (QAbstractAxis *axis = axisOfGroup.value(group))
        return axis;
    QAbstractAxis *axis = nullptr;
    if (series.kind() == SeriesKind::Named) {
        auto *names = new QCategoryAxis;
        names->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        names->setTitleText(series.key().parameter);
        axis = names;
    } else {
        auto *numbers = new QValueAxis;
        numbers->setLabelFormat(QStringLiteral("%g"));
        axis = numbers;
    }
    axis->setObjectName(QStringLiteral("axisValue%1").arg(axisOfGroup.size() + 1));
    // Every other axis on the right, so that two read apart.
    chartPlot->addAxis(axis, axisOfGroup.size() % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
    axisOfGroup.insert(group, axis);
    return axis;
}

int PlotWindow::addSeries(const SeriesKey &key, SeriesKind kind)
{
    const int known = extractor.indexOf(key);
    if (known >= 0)
        return known;
    // Attaching a line lets the chart fit the axes to it: the view stays ours.
    settingRange = true;
    const int index = extractor.addSeries(key);
    extractor.series(index).setKind(kind);
    Plotted entry;
    entry.axis = axisFor(extractor.series(index));
    plotted.append(entry);
    QLineSeries *line = newLine(index);
    // The legend names the parameter and its node: the device and message
    // are the window's title and each line's tool tip.
    line->setName(QStringLiteral("%1 (%2)").arg(key.parameter, nodeIdText(key.sourceAddress)));
    plotted[index].line = line;
    if (kind == SeriesKind::Named)
        entry.axis->setLinePenColor(line->color());
    settingRange = false;
    updateTitle();
    scheduleRefresh();
    return index;
}

QLineSeries *PlotWindow::newLine(int index)
{
    auto *line = new QLineSeries;
    const Plotted &entry = plotted.at(index);
    if (entry.line) {
        line->setObjectName(QStringLiteral("lineSeries%1_%2").arg(index + 1).arg(entry.more.size() + 2));
        line->setPen(entry.line->pen());
    } else {
        line->setObjectName(QStringLiteral("lineSeries%1").arg(index + 1));
    }
    chartPlot->addSeries(line);
    line->attachAxis(axisTime);
    line->attachAxis(entry.axis);
    if (entry.line) {
        for (QLegendMarker *marker : chartPlot->legend()->markers(line))
            marker->setVisible(false);
    }
    connect(line, &QLineSeries::hovered, this, [this, index](const QPointF &point, bool over) {
        labelPlotValue->setText(over ? valueTextAt(index, point.x()) : QString());
    });
    return line;
}

QVector<QLineSeries *> PlotWindow::lines(int index) const
{
    return QVector<QLineSeries *>{plotted.at(index).line} + plotted.at(index).more;
}

// One line per stretch between silences; lines left over from an earlier
// drawing are emptied, not removed, so that they can be used again.
void PlotWindow::drawLines(int index, const QVector<QPointF> &points)
{
    const ValueSeries &series = extractor.series(index);
    const double gap = series.isSorted() ? gapSeconds(series.times()) : 0;
    const QVector<QVector<QPointF>> parts = splitAtGaps(points, gap);
    Plotted &entry = plotted[index];
    while (entry.more.size() < parts.size() - 1)
        entry.more.append(newLine(index));
    for (int part = 0; part <= entry.more.size(); ++part) {
        QVector<QPointF> drawn = part < parts.size() ? parts.at(part) : QVector<QPointF>();
        if (series.kind() == SeriesKind::Named)
            drawn = stepPoints(drawn);
        (part == 0 ? entry.line : entry.more.at(part - 1))->replace(drawn);
    }
}

QString PlotWindow::valueTextAt(int index, double seconds) const
{
    const ValueSeries &series = extractor.series(index);
    if (series.isEmpty())
        return QString();
    const qint64 timeUs = origin + qint64(std::llround(seconds * 1e6));
    int nearest = 0;
    if (series.isSorted()) {
        const QVector<qint64> &times = series.times();
        const int after = int(std::lower_bound(times.begin(), times.end(), timeUs) - times.begin());
        nearest = after >= times.size() ? times.size() - 1 : after;
        if (after > 0 && (after >= times.size() || timeUs - times.at(after - 1) <= times.at(after) - timeUs))
            nearest = after - 1;
    } else {
        for (int i = 1; i < series.size(); ++i) {
            if (qAbs(series.times().at(i) - timeUs) < qAbs(series.times().at(nearest) - timeUs))
                nearest = i;
        }
    }
    const double value = series.values().at(nearest);
    QString shown = QString::number(value, 'g', 12);
    const QString name = series.names().value(qint64(value));
    if (series.kind() == SeriesKind::Named && !name.isEmpty())
        shown = QStringLiteral("%1 (%2)").arg(name, shown);
    return QStringLiteral("%1 = %2 at %3 s")
        .arg(series.key().parameter, shown, QString::number(double(series.times().at(nearest) - origin) / 1e6, 'f', 3));
}

void PlotWindow::addRecord(const BusRecord &record, int only)
{
    if (extractor.feed(record, only) > 0)
        scheduleRefresh();
}

void PlotWindow::addPoint(int index, qint64 timeUs, double value)
{
    extractor.series(index).append(timeUs, value);
    scheduleRefresh();
}

void PlotWindow::addRecords(const QVector<BusRecord> &records)
{
    if (extractor.feed(records) > 0)
        scheduleRefresh();
}

void PlotWindow::scheduleRefresh()
{
    if (!timerRefresh->isActive())
        timerRefresh->start();
}

bool PlotWindow::dataSpan(qint64 *first, qint64 *last) const
{
    qint64 low = std::numeric_limits<qint64>::max();
    qint64 high = std::numeric_limits<qint64>::min();
    for (int i = 0; i < extractor.seriesCount(); ++i) {
        const ValueSeries &series = extractor.series(i);
        if (series.isEmpty())
            continue;
        if (series.isSorted()) {
            low = qMin(low, series.times().constFirst());
            high = qMax(high, series.times().constLast());
            continue;
        }
        for (qint64 t : series.times()) {
            low = qMin(low, t);
            high = qMax(high, t);
        }
    }
    *first = low;
    *last = high;
    return low <= high;
}

void PlotWindow::placeView(qint64 first, qint64 last)
{
    if (wholeView) {
        viewFrom = first;
        viewTo = last;
        if (viewTo - viewFrom < kMinViewUs) {
            viewFrom -= kLoneSpanUs / 2;
            viewTo += kLoneSpanUs / 2;
        }
    } else if (checkBoxFollow->isChecked()) {
        const qint64 width = viewTo - viewFrom;
        viewTo = last;
        viewFrom = last - width;
    }
}

void PlotWindow::refresh()
{
    timerRefresh->stop();
    settingRange = true;
    qint64 first = 0;
    qint64 last = 0;
    const bool any = dataSpan(&first, &last);
    if (any) {
        origin = first;
        placeView(first, last);
    }
    const int columns = qMax(50, int(chartPlot->plotArea().width()));
    int drawn = 0;
    for (int i = 0; i < plotted.size(); ++i) {
        const ValueSeries &series = extractor.series(i);
        const QVector<QPointF> points = decimate(series.times(), series.values(), viewFrom, viewTo, columns, origin,
                                                 series.isSorted());
        drawn += points.size();
        Plotted &entry = plotted[i];
        entry.low = std::numeric_limits<double>::max();
        entry.high = std::numeric_limits<double>::lowest();
        for (const QPointF &p : qAsConst(points)) {
            entry.low = qMin(entry.low, p.y());
            entry.high = qMax(entry.high, p.y());
        }
        drawLines(i, points);
    }
    fitValueAxes();
    titleValueAxes();
    axisTime->setRange(double(viewFrom - origin) / 1e6, double(viewTo - origin) / 1e6);
    setTimeTicks();
    settingRange = false;
    axisTime->setTitleText(any ? QStringLiteral("Seconds since %1").arg(timeOfDayText(origin))
                               : QStringLiteral("Seconds"));
    int points = 0;
    for (int i = 0; i < extractor.seriesCount(); ++i)
        points += extractor.series(i).size();
    labelPlotStatus->setText(QStringLiteral("%1, %2 drawn").arg(countText(quint64(points), "point", "points")).arg(drawn));
}

// --- The view --------------------------------------------------------------------

void PlotWindow::setViewUs(qint64 fromUs, qint64 toUs)
{
    if (toUs - fromUs < kMinViewUs)
        toUs = fromUs + kMinViewUs;
    viewFrom = fromUs;
    viewTo = toUs;
    wholeView = false;
    scheduleRefresh();
}

void PlotWindow::zoomBy(double factor, double at)
{
    const double centre = double(viewFrom) + at * double(viewTo - viewFrom);
    const qint64 from = qint64(centre - (centre - double(viewFrom)) * factor);
    const qint64 to = qint64(centre + (double(viewTo) - centre) * factor);
    setViewUs(from, qMax(to, from + kMinViewUs));
}

void PlotWindow::panBy(double fraction)
{
    const qint64 shift = qint64(fraction * double(viewTo - viewFrom));
    if (shift == 0)
        return;
    checkBoxFollow->setChecked(false);
    setViewUs(viewFrom + shift, viewTo + shift);
}

void PlotWindow::on_axisTime_rangeChanged(qreal min, qreal max)
{
    if (settingRange)
        return;
    // The rubber band (or the chart's own zoom) set the axis: a span to look at.
    checkBoxFollow->setChecked(false);
    setViewUs(origin + qint64(min * 1e6), origin + qint64(max * 1e6));
}

void PlotWindow::on_checkBoxFollow_toggled(bool checked)
{
    if (checked)
        scheduleRefresh();
}

void PlotWindow::on_buttonResetZoom_clicked(bool checked)
{
    Q_UNUSED(checked)
    wholeView = true;
    refresh();
}

// --- Export --------------------------------------------------------------------

bool PlotWindow::saveCsv(const QString &path, QString *problem) const
{
    QVector<const ValueSeries *> all;
    for (int i = 0; i < extractor.seriesCount(); ++i)
        all << &extractor.series(i);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(CsvWriter::seriesCsv(all)) < 0
        || !file.flush()) {
        if (problem)
            *problem = file.errorString();
        return false;
    }
    return true;
}

bool PlotWindow::savePng(const QString &path) const
{
    return chartViewPlot->grab().save(path, "PNG");
}

QString PlotWindow::chooseFile(const QString &title, const QString &filter, const QString &suffix)
{
    QFileDialog dialog(this, title);
    dialog.setNameFilters({filter, QStringLiteral("All files (*)")});
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    const QString folder = lastFolder(QStringLiteral("plotExports"));
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().constFirst();
    rememberFolderOf(QStringLiteral("plotExports"), path);
    return path;
}

void PlotWindow::on_buttonSavePng_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = chooseFile(QStringLiteral("Save PNG"), QStringLiteral("PNG images (*.png)"),
                                    QStringLiteral("png"));
    if (path.isEmpty())
        return;
    labelPlotStatus->setText(savePng(path) ? QStringLiteral("Saved %1").arg(path)
                                           : QStringLiteral("Cannot write %1").arg(path));
}

void PlotWindow::on_buttonSaveCsv_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = chooseFile(QStringLiteral("Save CSV"), QStringLiteral("CSV files (*.csv)"),
                                    QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    QString problem;
    labelPlotStatus->setText(saveCsv(path, &problem) ? QStringLiteral("Saved %1").arg(path)
                                                     : QStringLiteral("Cannot write %1: %2").arg(path, problem));
}
