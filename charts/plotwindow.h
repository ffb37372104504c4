#ifndef KWN_CHARTS_PLOTWINDOW_H
#define KWN_CHARTS_PLOTWINDOW_H

// A window of its own with one chart: parameter values over time, one line
// per series, each kind of number on a value axis of its own (a named-value
// series on one with its names, drawn in steps). Records are taken as they
// come and drawn together on a timer; each drawing takes a few points per
// pixel column of the part in view, so a whole log shows at once and zooming
// draws it again in detail.

#include "charts/chartsqt.h"
#include "codec/busrecord.h"
#include "codec/valueseries.h"

#include <QMap>
#include <QVector>
#include <QWidget>

KWN_CHARTS_BEGIN
class QAbstractAxis;
class QChart;
class QLineSeries;
class QValueAxis;
KWN_CHARTS_END

class PlotView;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTimer;
class QVBoxLayout;

class PlotWindow : public QWidget
{
    Q_OBJECT

public:
    // Frames are decoded with `decoder` (once per distinct frame).
    explicit PlotWindow(ValueExtractor::Decoder decoder, QWidget *parent = nullptr);
    ~PlotWindow() override;

    // The series of `key`, added (with its axis) when new: its index.
    int addSeries(const SeriesKey &key, SeriesKind kind);
    int seriesCount() const { return extractor.seriesCount(); }
    const ValueSeries &seriesData(int index) const { return extractor.series(index); }
    bool hasSeries(const SeriesKey &key) const { return extractor.indexOf(key) >= 0; }
    // "Plot 2": the window's title is this and the parameters' names.
    void setTitlePrefix(const QString &prefix);

    // A record of the past, for one series or (-1) all; drawn at the next refresh.
    void addRecord(const BusRecord &record, int only = -1);
    // A point worked out elsewhere (a reply's delay), for a series that no
    // frame gives points to; drawn at the next refresh.
    void addPoint(int index, qint64 timeUs, double value);

    // Drawing: what the series hold, for the part in view, now (the timer
    // does it after new records and each change of the view).
    void refresh();
    // The part in view, in µs since the epoch, as last drawn.
    qint64 viewFromUs() const { return viewFrom; }
    qint64 viewToUs() const { return viewTo; }
    // The time axis counts seconds from this time (the first point's).
    qint64 originUs() const { return origin; }
    // Shows this part; Follow latest keeps its width from now on.
    void setViewUs(qint64 fromUs, qint64 toUs);
    // `factor` < 1 zooms in around `at` (a fraction of the width).
    void zoomBy(double factor, double at);
    // Moves the view by this fraction of its width (> 0: later).
    void panBy(double fraction);

    KWN_CHARTS_QUALIFIED(QChart) *chart() const { return chartPlot; }
    KWN_CHARTS_QUALIFIED(QValueAxis) *timeAxis() const { return axisTime; }
    KWN_CHARTS_QUALIFIED(QLineSeries) *line(int index) const { return plotted.at(index).line; }
    KWN_CHARTS_QUALIFIED(QAbstractAxis) *valueAxis(int index) const { return plotted.at(index).axis; }

    // The lines of a series: one per stretch without a silence, so that a
    // gap in the bus shows as a gap. line(index) is the first.
    QVector<KWN_CHARTS_QUALIFIED(QLineSeries) *> lines(int index) const;
    // What the status line says of the series' point nearest `seconds` (on
    // the time axis): "Position = 75 at 12.300 s"; empty for a series with none.
    QString valueTextAt(int index, double seconds) const;

    bool saveCsv(const QString &path, QString *problem = nullptr) const;
    bool savePng(const QString &path) const;

public slots:
    // A batch of the bus session.
    void addRecords(const QVector<BusRecord> &records);

private slots:
    void on_checkBoxFollow_toggled(bool checked);
    void on_buttonResetZoom_clicked(bool checked);
    void on_buttonSavePng_clicked(bool checked);
    void on_buttonSaveCsv_clicked(bool checked);
    void on_axisTime_rangeChanged(qreal min, qreal max);

private:
    struct Plotted
    {
        KWN_CHARTS_QUALIFIED(QLineSeries) *line = nullptr;
        // The stretches after the first, drawn alike and left out of the legend.
        QVector<KWN_CHARTS_QUALIFIED(QLineSeries) *> more;
        KWN_CHARTS_QUALIFIED(QAbstractAxis) *axis = nullptr;
        // The values drawn last, for the value axis.
        double low = 0;
        double high = -1;
    };
    // The axes: numbers share one, bitfields another, each named-value
    // series has its own.
    QString axisGroupOf(const ValueSeries &series) const;
    KWN_CHARTS_QUALIFIED(QAbstractAxis) *axisFor(const ValueSeries &series);
    void scheduleRefresh();
    // The span of all points; false when there is none.
    bool dataSpan(qint64 *first, qint64 *last) const;
    void placeView(qint64 first, qint64 last);
    void fitValueAxes();
    void titleValueAxes();
    void showNames(KWN_CHARTS_QUALIFIED(QAbstractAxis) *axis, const ValueSeries &series, double low, double high);
    void updateTitle();
    void drawLines(int index, const QVector<QPointF> &points);
    KWN_CHARTS_QUALIFIED(QLineSeries) *newLine(int index);
    void setTimeTicks();
    QString chooseFile(const QString &title, const QString &filter, const QString &suffix);

    QVBoxLayout *layoutPlot = nullptr;
    QHBoxLayout *layoutPlotControls = nullptr;
    PlotView *chartViewPlot = nullptr;
    KWN_CHARTS_QUALIFIED(QChart) *chartPlot = nullptr;
    KWN_CHARTS_QUALIFIED(QValueAxis) *axisTime = nullptr;
    QCheckBox *checkBoxFollow = nullptr;
    QPushButton *buttonResetZoom = nullptr;
    QPushButton *buttonSavePng = nullptr;
    QPushButton *buttonSaveCsv = nullptr;
    QLabel *labelPlotStatus = nullptr;
    QLabel *labelPlotValue = nullptr;
    QTimer *timerRefresh = nullptr;

    ValueExtractor extractor;
    QVector<Plotted> plotted; // by series index
    QMap<QString, KWN_CHARTS_QUALIFIED(QAbstractAxis) *> axisOfGroup;
    QString titlePrefix;
    qint64 origin = 0;
    qint64 viewFrom = 0;
    qint64 viewTo = 0;
    bool wholeView = true;   // the view shows every point (until zoomed or panned)
    bool settingRange = false; // the time axis is being set here, not by the user
};

#endif
