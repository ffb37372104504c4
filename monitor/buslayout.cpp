#include "monitor/buslayout.h"

#include "bustools/logtool.h"
#include "bustools/replaytool.h"
#include "bustools/replytool.h"
#include "bustools/sendtool.h"
#include "bustools/showntrace.h"
#include "monitor/busplots.h"
#include "monitor/detailpanel.h"
#include "monitor/figurespanel.h"
#include "monitor/framelistpanel.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "monitor/logpanel.h"
#include "monitor/nodetablemodel.h"
#include "monitor/portpanel.h"
#include "monitor/replaypanel.h"
#include "monitor/replytablemodel.h"
#include "monitor/sendpanel.h"
#include "monitor/statusline.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/pagestyle.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

BusLayout::BusLayout(QObject *parent) : QObject(parent), layoutMain(new QVBoxLayout)
{
    layoutMain->setObjectName(QStringLiteral("layoutMain"));
    traceStore = named(new TraceStore(this), QStringLiteral("traceStore"));
    frameModel = named(new FrameTableModel(traceStore, this), QStringLiteral("frameModel"));
    latestModel = named(new LatestMessageModel(traceStore, this), QStringLiteral("latestModel"));
    nodeModel = named(new NodeTableModel(traceStore, this), QStringLiteral("nodeModel"));
    busSession = named(new BusSession(QStringLiteral("xml"), this), QStringLiteral("busSession"));
    // Ten batches a second: each one redraws the list, and an eye reads no faster.
    busSession->setBatchIntervalMs(100);
    shownTrace = named(new ShownTrace(busSession, traceStore, this), QStringLiteral("shownTrace"));
    // The models first: the panels draw from them as the store shown changes.
    connect(shownTrace, &ShownTrace::shownChanged, this, [this] {
        frameModel->setStore(shownTrace->store());
        latestModel->setStore(shownTrace->store());
        nodeModel->setStore(shownTrace->store());
    });
    // After the models: the Reply column is drawn once the list has the rows.
    replyTool = named(new ReplyTool(shownTrace, this), QStringLiteral("replyTool"));
    frameModel->setReplies(replyTool);
    replyModel = named(new ReplyTableModel(replyTool, this), QStringLiteral("replyModel"));
    sendTool = new SendTool(busSession, this);
    logTool = new LogTool(shownTrace, this);
    replayTool = new ReplayTool(busSession, this);

    buildPanels();
    composePanels();
    connectPanels();
    connectMessages();
    figuresPanel->followWireFormat(portPanel->serialSettings());
}

BusLayout::~BusLayout()
{
    // What the port still delivers as it closes goes nowhere: the page goes.
    busSession->blockSignals(true);
    busSession->stopRecording();
    busSession->close();
    // A layout never put on a page is still ours; delete it before the
    // panels, as its items still point at them.
    if (layoutMain && !layoutMain->parent())
        delete layoutMain;
    delete portPanel;
    delete statusLine;
    delete logPanel;
    delete listPanel;
    delete figuresPanel;
    delete sendPanel;
    delete replayPanel;
}

void BusLayout::buildPanels()
{
    portPanel = named(new PortPanel(busSession), QStringLiteral("portPanel"));
    statusLine = named(new StatusLine, QStringLiteral("statusLine"));
    logPanel = named(new LogPanel(logTool), QStringLiteral("logPanel"));
    listPanel = named(new FrameListPanel(shownTrace, frameModel, latestModel), QStringLiteral("listPanel"));
    detailPanel = new DetailPanel(busSession, nodeModel, replyModel); // named tabWidgetDetail
    figuresPanel = named(new FiguresPanel(shownTrace, nodeModel), QStringLiteral("figuresPanel"));
    sendPanel = named(new SendPanel(sendTool), QStringLiteral("sendPanel"));
    replayPanel = new ReplayPanel(replayTool); // named widgetReplay
    busPlots = named(new BusPlots(shownTrace, replyTool, listPanel, this), QStringLiteral("busPlots"));
}

void BusLayout::composePanels()
{
    layoutLog = named(new QHBoxLayout, QStringLiteral("layoutLog"));
    layoutLog->addWidget(statusLine, 1);
    layoutLog->addWidget(logPanel);
    // Under the list, a tab beside the detail pane: the Nodes table.
    listPanel->setLowerWidget(detailPanel);

    layoutMain->addWidget(portPanel);
    layoutMain->addLayout(layoutLog);
    layoutMain->addWidget(listPanel, 1);
    layoutMain->addWidget(figuresPanel);
    layoutMain->addWidget(sendPanel);
    layoutMain->addWidget(replayPanel);
    layoutMain->setContentsMargins(5, 20, 20, 20);
}

void BusLayout::connectPanels()
{
    connect(portPanel, &PortPanel::stateChanged, statusLine, &StatusLine::showConnectionState);
    connect(portPanel, &PortPanel::connectedChanged, this, &BusLayout::connectedChanged);
    connect(portPanel, &PortPanel::lineSettingsChanged, figuresPanel, &FiguresPanel::followWireFormat);
    connect(listPanel, &FrameListPanel::frameOpened, this, &BusLayout::frameOpened);
    connect(listPanel, &FrameListPanel::putInSendRequested, sendPanel, &SendPanel::putInSendField);
    connect(listPanel, &FrameListPanel::recordMenuRequested, busPlots,
            [this](QMenu *menu, const BusRecord &record) { busPlots->addPlotEntries(menu, record); });
    connect(listPanel, &FrameListPanel::currentRecordChanged, detailPanel, &DetailPanel::showRecord);
    connect(listPanel, &FrameListPanel::currentSequenceChanged, detailPanel, &DetailPanel::showReplyLinks);
    connect(detailPanel, &DetailPanel::rowRequested, listPanel, &FrameListPanel::selectSequence);
    connect(detailPanel, &DetailPanel::filterExpressionRequested, listPanel, &FrameListPanel::setFilterText);
    connect(detailPanel, &DetailPanel::replyPlotRequested, busPlots, &BusPlots::openReplyPlotOfGroup);
    // An opened log read to its end: its requests still waiting settle.
    connect(logTool, &LogTool::openingChanged, replyTool, [this](bool opening) {
        if (!opening)
            replyTool->finishLog();
    });
    // The list has chosen the records by then: Nodes counts them.
    connect(listPanel, &FrameListPanel::rowFilterChanged, nodeModel,
            [this](const std::shared_ptr<const RecordFilter> &filter) {
                nodeModel->setRowFilter(filter, &frameModel->shownSequence());
            });
    connect(detailPanel, &DetailPanel::frameOpened, this, &BusLayout::frameOpened);
    connect(detailPanel, &DetailPanel::putInSendRequested, sendPanel, &SendPanel::putInSendField);
    connect(detailPanel, &DetailPanel::parameterMenuRequested, busPlots, &BusPlots::addPlotEntries);
    connect(detailPanel, &DetailPanel::filterRequested, listPanel, &FrameListPanel::filterBy);
    connect(sendPanel, &SendPanel::replayRequested, replayPanel, &ReplayPanel::chooseAndStart);
    connect(sendTool, &SendTool::sendResult, this, &BusLayout::sendResult);
}

// Every passing message goes to the status line.
void BusLayout::connectMessages()
{
    connect(logTool, &LogTool::message, statusLine, &StatusLine::showMessage);
    auto passing = [this](const QString &text, bool error) { statusLine->showMessage(text, error); };
    connect(sendTool, &SendTool::message, statusLine, passing);
    connect(replayTool, &ReplayTool::message, statusLine, passing);
    connect(listPanel, &FrameListPanel::message, statusLine, passing);
}
