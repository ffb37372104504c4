#ifndef KWN_MONITOR_BUSPLOTS_H
#define KWN_MONITOR_BUSPLOTS_H

// The Bus page's plots: "Plot <parameter>" in a row's menu and in the detail
// pane opens a window with the parameter's values over time; "Add to plot"
// puts it in one already open. A plot is given every frame the list holds,
// then each batch of the session as it comes. "Plot reply time" of a
// request (in a row's menu and the Replies tab) plots how soon the requests
// of its message to its node were answered, as the reply tool paired them.

#include "codec/busrecord.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class BusSession;
class PlotWindow;
class QMenu;
class QWidget;
class ReplyTool;
class ShownTrace;
enum class SeriesKind : quint8;
struct SeriesKey;

class BusPlots : public QObject
{
    Q_OBJECT

public:
    // Of what `shown` shows, decoded by the live session; the windows go
    // with `parentOfWindows`.
    BusPlots(ShownTrace *shown, ReplyTool *replies, QWidget *parentOfWindows, QObject *parent = nullptr);

    PlotWindow *openPlot(const SeriesKey &key, SeriesKind kind);
    // The first replies' delays (ms) of the requests of a message to a node,
    // at the requests' times: a series keyed by the node as its source.
    PlotWindow *openReplyPlot(quint32 destination, const QString &device, quint8 messageId, const QString &message);
    // Of a row of the reply tool's table.
    PlotWindow *openReplyPlotOfGroup(int group);
    void addToPlot(PlotWindow *window, const SeriesKey &key, SeriesKind kind);
    QVector<PlotWindow *> plotWindows() const;

public slots:
    // "Plot <parameter>" for each numeric parameter of the record's frame (or
    // the one named), and "Add to plot" while a plot is open.
    void addPlotEntries(QMenu *menu, const BusRecord &record, const QString &onlyParameter = QString());

private:
    PlotWindow *newPlotWindow();

    ShownTrace *shownTrace = nullptr;
    ReplyTool *replyTool = nullptr;
    BusSession *busSession = nullptr; // the live one
    QWidget *windowParent = nullptr;
    QVector<QPointer<PlotWindow>> plots; // open, in the order opened
    int plotsOpened = 0;
};

#endif
