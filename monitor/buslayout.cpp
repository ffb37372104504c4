#include "monitor/buslayout.h"

#include "codec/frame.h"
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
#include "monitor/sendpanel.h"
#include "monitor/showntrace.h"
#include "monitor/statusline.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/pagestyle.h"

#include <QCoreApplication>
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
    busSession->setHoldLimit(traceStore->capacity());
    // Ten batches a second: each one redraws the list, and an eye reads no faster.
    busSession->setBatchIntervalMs(100);
    shownTrace = named(new ShownTrace(busSession, traceStore, this), QStringLiteral("shownTrace"));

    buildPanels();
    composePanels();
    connectPanels();
    connectMessages();
    figuresPanel->followWireFormat(portPanel->serialSettings());
    figuresPanel->showCounters();
}

BusLayout::~BusLayout()
{
    if (listPanel)
        listPanel->saveHeaderStates();
    if (replayPanel)
        replayPanel->stop();
    // What the port still delivers as it closes goes nowhere: the page goes.
    disconnect(busSession, nullptr, this, nullptr);
    busSession->stopRecording();
    busSession->close();
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
    logPanel = named(new LogPanel(shownTrace), QStringLiteral("logPanel"));
    listPanel = named(new FrameListPanel(busSession, frameModel, latestModel), QStringLiteral("listPanel"));
    detailPanel = new DetailPanel(busSession, nodeModel); // named tabWidgetDetail
    figuresPanel = named(new FiguresPanel(shownTrace, frameModel, latestModel, nodeModel),
                         QStringLiteral("figuresPanel"));
    sendPanel = named(new SendPanel(busSession), QStringLiteral("sendPanel"));
    replayPanel = new ReplayPanel(busSession); // named widgetReplay
    busPlots = named(new BusPlots(shownTrace, listPanel, this), QStringLiteral("busPlots"));
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
    connect(busSession, &BusSession::recordsReady, this, &BusLayout::on_busSession_recordsReady);
    connect(shownTrace, &ShownTrace::fileRecordsReady, this,
            [this](const QVector<BusRecord> &batch) { appendToList(shownTrace->fileStore(), batch); });
    connect(shownTrace, &ShownTrace::shownChanged, this, &BusLayout::followShownTrace);
    connect(portPanel, &PortPanel::stateChanged, statusLine, &StatusLine::showConnectionState);
    connect(portPanel, &PortPanel::connectedChanged, this, [this](bool connected) {
        if (connected) {
            showLiveBus();
            figuresPanel->showOfLog(false); // live from here on
        }
        emit connectedChanged(connected);
    });
    connect(portPanel, &PortPanel::lineSettingsChanged, figuresPanel, &FiguresPanel::followWireFormat);
    connect(logPanel, &LogPanel::logOpening, this, [this] { figuresPanel->showOfLog(true); });
    connect(listPanel, &FrameListPanel::clearRequested, this, &BusLayout::clear);
    connect(listPanel, &FrameListPanel::frameOpened, this, &BusLayout::frameOpened);
    connect(listPanel, &FrameListPanel::putInSendRequested, sendPanel, &SendPanel::putInSendField);
    connect(listPanel, &FrameListPanel::recordMenuRequested, busPlots,
            [this](QMenu *menu, const BusRecord &record) { busPlots->addPlotEntries(menu, record); });
    connect(listPanel, &FrameListPanel::currentRecordChanged, detailPanel, &DetailPanel::showRecord);
    // The list has chosen the records by then: Nodes counts them.
    connect(listPanel, &FrameListPanel::rowFilterChanged, nodeModel,
            [this](const std::shared_ptr<const RecordFilter> &filter) {
                nodeModel->setRowFilter(filter, &frameModel->shownSequence());
            });
    connect(detailPanel, &DetailPanel::frameOpened, this, &BusLayout::frameOpened);
    connect(detailPanel, &DetailPanel::putInSendRequested, sendPanel, &SendPanel::putInSendField);
    connect(detailPanel, &DetailPanel::parameterMenuRequested, busPlots, &BusPlots::addPlotEntries);
    connect(detailPanel, &DetailPanel::filterRequested, listPanel, &FrameListPanel::filterBy);
    connect(sendPanel, &SendPanel::sendRequested, this, &BusLayout::sendFrame);
    connect(sendPanel, &SendPanel::replayRequested, replayPanel, &ReplayPanel::chooseAndStart);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &BusLayout::on_application_aboutToQuit);
}

// Every panel's passing messages go to the status line.
void BusLayout::connectMessages()
{
    connect(logPanel, &LogPanel::message, statusLine, &StatusLine::showMessage);
    auto passing = [this](const QString &text, bool error) { statusLine->showMessage(text, error); };
    connect(sendPanel, &SendPanel::message, statusLine, passing);
    connect(replayPanel, &ReplayPanel::message, statusLine, passing);
    connect(listPanel, &FrameListPanel::message, statusLine, passing);
}

QVBoxLayout *BusLayout::getLayout()
{
    return layoutMain;
}

bool BusLayout::isConnected() const
{
    return busSession->isOpen();
}

void BusLayout::setCapacity(int frames)
{
    traceStore->setCapacity(frames);
    busSession->setHoldLimit(traceStore->capacity());
    figuresPanel->showCounters();
}

void BusLayout::on_application_aboutToQuit()
{
    if (busSession->isOpen() && portPanel)
        portPanel->disconnectPort();
    busSession->stopRecording();
}

void BusLayout::on_busSession_recordsReady(const QVector<BusRecord> &batch)
{
    appendToList(traceStore, batch);
}

void BusLayout::appendToList(TraceStore *store, const QVector<BusRecord> &batch)
{
    if (store != shownTrace->store()) {
        store->append(batch);
        return;
    }
    listPanel->beginAppend();
    store->append(batch);
    listPanel->endAppend();
}

void BusLayout::clear()
{
    showLiveBus();
    busSession->clear();
    traceStore->clear();
    figuresPanel->clearInsight();
    figuresPanel->showCounters();
}

// --- The live bus or an opened log -----------------------------------------------------

void BusLayout::showLiveBus()
{
    logPanel->cancelOpening();
    shownTrace->showLiveBus();
}

void BusLayout::followShownTrace()
{
    TraceStore *store = shownTrace->store();
    frameModel->setStore(store);
    latestModel->setStore(store);
    nodeModel->setStore(store);
    if (!shownTrace->isShowingOpenedLog()) {
        figuresPanel->showOfLog(false);
        figuresPanel->showInsight();
    }
    figuresPanel->showCounters();
}

bool BusLayout::isShowingOpenedLog() const
{
    return shownTrace->isShowingOpenedLog();
}

// --- What the panels do, asked from outside ------------------------------------------

bool BusLayout::saveLog(const QString &path)
{
    return logPanel->saveLog(path);
}

bool BusLayout::openLog(const QString &path)
{
    return logPanel->openLog(path);
}

bool BusLayout::isOpeningLog() const
{
    return logPanel->isOpeningLog();
}

bool BusLayout::startRecording(const QString &path)
{
    return logPanel->startRecording(path);
}

void BusLayout::stopRecording()
{
    logPanel->stopRecording();
}

bool BusLayout::startReplay(const QString &path)
{
    return replayPanel->startReplay(path);
}

void BusLayout::putInSendField(const QByteArray &frame)
{
    sendPanel->putInSendField(frame);
}

QMenu *BusLayout::frameMenu(const QModelIndex &index)
{
    return listPanel->frameMenu(index);
}

QMenu *BusLayout::columnMenu()
{
    return listPanel->columnMenu();
}

PlotWindow *BusLayout::openPlot(const SeriesKey &key, SeriesKind kind)
{
    return busPlots->openPlot(key, kind);
}

void BusLayout::addToPlot(PlotWindow *window, const SeriesKey &key, SeriesKind kind)
{
    busPlots->addToPlot(window, key, kind);
}

QVector<PlotWindow *> BusLayout::plotWindows() const
{
    return busPlots->plotWindows();
}

void BusLayout::sendFrame(const QByteArray &frame)
{
    const QString problem = busSession->send(frame);
    if (!problem.isEmpty()) {
        statusLine->showMessage(problem, true);
        emit sendResult(problem, true);
        return;
    }
    emit sendResult(QStringLiteral("Sent %1").arg(frameToHexText(frame)), false);
}
