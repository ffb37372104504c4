#include "monitor/busplots.h"

#include "charts/plotwindow.h"
#include "codec/valueseries.h"
#include "bustools/replytool.h"
#include "bustools/showntrace.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"

#include <QAction>
#include <QMenu>

namespace {

const QString kReplyTimeName = QStringLiteral("Reply time ms");

} // namespace

BusPlots::BusPlots(ShownTrace *shown, ReplyTool *replies, QWidget *parentOfWindows, QObject *parent)
    : QObject(parent), shownTrace(shown), replyTool(replies), busSession(shown->liveSession()),
      windowParent(parentOfWindows)
{
}

PlotWindow *BusPlots::openPlot(const SeriesKey &key, SeriesKind kind)
{
    PlotWindow *window = newPlotWindow();
    addToPlot(window, key, kind);
    window->show();
    return window;
}

PlotWindow *BusPlots::openReplyPlotOfGroup(int group)
{
    if (group < 0 || group >= replyTool->tableRows())
        return nullptr;
    const ReplyGroup &row = replyTool->statistics().group(group);
    return openReplyPlot(row.destination, row.device, row.messageId, row.message);
}

PlotWindow *BusPlots::openReplyPlot(quint32 destination, const QString &device, quint8 messageId,
                                    const QString &message)
{
    PlotWindow *window = newPlotWindow();
    const SeriesKey key{destination, device, messageId, message, kReplyTimeName};
    const int index = window->addSeries(key, SeriesKind::Number);
    auto addPoints = [this, window, index, key](quint64 first, quint64 end, const QVector<quint64> *only) {
        const TraceStore *held = shownTrace->store();
        for (quint64 i = first; i < end; ++i) {
            const quint64 seq = only ? only->at(int(i)) : i;
            const BusRecord *record = held->record(seq);
            const ReplyTool::RowReply reply = replyTool->rowReply(seq);
            if (record && reply.kind == ReplyTool::RowKind::Answered && record->destinationAddress == key.sourceAddress
                && record->messageId == key.messageId && record->device == key.device && record->message == key.message)
                window->addPoint(index, record->timeUs, double(reply.delayUs) / 1000.0);
        }
    };
    const TraceStore *held = shownTrace->store();
    addPoints(held->firstSeq(), held->endSeq(), nullptr);
    connect(replyTool, &ReplyTool::requestsAnswered, window,
            [addPoints](const QVector<quint64> &sequences) { addPoints(0, quint64(sequences.size()), &sequences); });
    window->refresh();
    window->show();
    return window;
}

PlotWindow *BusPlots::newPlotWindow()
{
    // A window of its own that goes with the page; the session decodes for it.
    auto *window = new PlotWindow([session = busSession](const QByteArray &bytes) { return session->decode(bytes); },
                                  windowParent);
    window->setObjectName(QStringLiteral("plotWindow%1").arg(++plotsOpened));
    window->setTitlePrefix(QStringLiteral("Plot %1").arg(plotsOpened));
    plots.append(window);
    connect(shownTrace->session(), &BusSession::recordsReady, window, &PlotWindow::addRecords);
    return window;
}

void BusPlots::addToPlot(PlotWindow *window, const SeriesKey &key, SeriesKind kind)
{
    if (!window || window->hasSeries(key))
        return;
    const int index = window->addSeries(key, kind);
    const TraceStore *held = shownTrace->store();
    for (int i = 0; i < held->heldCount(); ++i)
        window->addRecord(held->heldRecord(i), index);
    window->refresh();
}

QVector<PlotWindow *> BusPlots::plotWindows() const
{
    QVector<PlotWindow *> open;
    for (const QPointer<PlotWindow> &window : plots) {
        if (window)
            open << window.data();
    }
    return open;
}

void BusPlots::addPlotEntries(QMenu *menu, const BusRecord &record, const QString &onlyParameter)
{
    if ((record.kind != BusRecord::Received && record.kind != BusRecord::Sent) || !record.checksumOk)
        return;
    if (onlyParameter.isEmpty() && frameRole(record) == FrameRole::Request) {
        menu->addSeparator();
        QAction *action = menu->addAction(QStringLiteral("Plot reply time"));
        action->setObjectName(QStringLiteral("actionPlotReplyTime"));
        connect(action, &QAction::triggered, this,
                [this, to = record.destinationAddress, device = record.device, id = record.messageId,
                 message = record.message] { openReplyPlot(to, device, id, message); });
    }
    QVector<QPair<SeriesKey, SeriesKind>> plottable;
    for (const PlottableParameter &parameter : plottableParameters(busSession->decode(record.bytes))) {
        if (onlyParameter.isEmpty() || parameter.key.parameter == onlyParameter)
            plottable.append({parameter.key, parameter.kind});
    }
    if (plottable.isEmpty())
        return;
    menu->addSeparator();
    for (const auto &entry : qAsConst(plottable)) {
        QAction *action = menu->addAction(QStringLiteral("Plot %1").arg(entry.first.parameter));
        action->setObjectName(QStringLiteral("actionPlot ") + entry.first.parameter);
        connect(action, &QAction::triggered, this, [this, entry] { openPlot(entry.first, entry.second); });
    }
    const QVector<PlotWindow *> open = plotWindows();
    if (open.isEmpty())
        return;
    QMenu *add = menu->addMenu(QStringLiteral("Add to plot"));
    add->setObjectName(QStringLiteral("menuAddToPlot"));
    for (const auto &entry : qAsConst(plottable)) {
        // One parameter: the plots straight away; several: a menu of plots each.
        QMenu *into = add;
        if (plottable.size() > 1) {
            into = add->addMenu(entry.first.parameter);
            into->setObjectName(QStringLiteral("menuAddToPlot ") + entry.first.parameter);
        }
        for (PlotWindow *window : open) {
            QAction *action = into->addAction(window->windowTitle());
            action->setObjectName(QStringLiteral("actionAddTo ") + window->objectName());
            action->setEnabled(!window->hasSeries(entry.first));
            connect(action, &QAction::triggered, this, [this, window = QPointer<PlotWindow>(window), entry] {
                addToPlot(window, entry.first, entry.second);
                if (window)
                    window->raise();
            });
        }
    }
}
