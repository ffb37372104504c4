#ifndef KWN_MONITOR_BUSPLOTS_H
#define KWN_MONITOR_BUSPLOTS_H

// The Bus page's plots: "Plot <parameter>" in a row's menu and in the detail
// pane opens a window with the parameter's values over time; "Add to plot"
// puts it in one already open. A plot is given every frame the list holds,
// then each batch of the session as it comes.

#include "codec/busrecord.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class BusSession;
class PlotWindow;
class QMenu;
class QWidget;
class ShownTrace;
enum class SeriesKind : quint8;
struct SeriesKey;

class BusPlots : public QObject
{
    Q_OBJECT

public:
    // Of what `shown` shows, decoded by the live session; the windows go
    // with `parentOfWindows`.
    BusPlots(ShownTrace *shown, QWidget *parentOfWindows, QObject *parent = nullptr);

    PlotWindow *openPlot(const SeriesKey &key, SeriesKind kind);
    void addToPlot(PlotWindow *window, const SeriesKey &key, SeriesKind kind);
    QVector<PlotWindow *> plotWindows() const;

public slots:
    // "Plot <parameter>" for each numeric parameter of the record's frame (or
    // the one named), and "Add to plot" while a plot is open.
    void addPlotEntries(QMenu *menu, const BusRecord &record, const QString &onlyParameter = QString());

private:
    ShownTrace *shownTrace = nullptr;
    BusSession *busSession = nullptr; // the live one
    QWidget *windowParent = nullptr;
    QVector<QPointer<PlotWindow>> plots; // open, in the order opened
    int plotsOpened = 0;
};

#endif
