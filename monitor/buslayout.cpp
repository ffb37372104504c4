#include "monitor/buslayout.h"

#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "serial/buslogloader.h"
#include "serial/bussession.h"
#include "serial/replayer.h"
#include "trace/tracestore.h"
#include "widgets/elidedlabel.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// How long a passing message stays; an error a little longer.
const int kMessageMs = 5000;
const int kErrorMessageMs = 12000;

} // namespace

BusLayout::BusLayout(QObject *parent) : QObject(parent), layoutMain(new QVBoxLayout)
{
    layoutMain->setObjectName(QStringLiteral("layoutMain"));
    traceStore = named(new TraceStore(this), QStringLiteral("traceStore"));
    frameModel = named(new FrameTableModel(traceStore, this), QStringLiteral("frameModel"));
    latestModel = named(new LatestMessageModel(traceStore, this), QStringLiteral("latestModel"));
    buildLatestSorting();
    busSession = named(new BusSession(QStringLiteral("xml"), this), QStringLiteral("busSession"));
    busSession->setHoldLimit(traceStore->capacity());
    // Ten batches a second: each one redraws the list, and an eye reads no faster.
    busSession->setBatchIntervalMs(100);
    logLoader = named(new BusLogLoader(QStringLiteral("xml"), this), QStringLiteral("logLoader"));
    timerMessage = named(new QTimer(this), QStringLiteral("timerMessage"));
    timerMessage->setSingleShot(true);

    buildWidgets();
    // Listing the serial ports reads thousands of small system files; that
    // waits until the Bus page is first shown (eventFilter).
    comboBoxPort->installEventFilter(this);
    loadSettings();
    showCounters();
    makeConnections();
    connectDetailPane();
    connectInsight();
    connectReplay();
}

BusLayout::~BusLayout()
{
    saveHeaderStates();
    replayer->stop();
    busSession->stopRecording();
    busSession->close();
}

QVBoxLayout *BusLayout::getLayout()
{
    return layoutMain;
}

void BusLayout::buildPortRows()
{
    // Port row.
    layoutPort = named(new QHBoxLayout, QStringLiteral("layoutPort"));
    labelPort = named(new QLabel(QStringLiteral("Port:")), QStringLiteral("labelPort"));
    comboBoxPort = named(new QComboBox, QStringLiteral("comboBoxPort"));
    comboBoxPort->setEditable(true);
    comboBoxPort->setInsertPolicy(QComboBox::NoInsert);
    comboBoxPort->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    comboBoxPort->setMinimumContentsLength(12);
    comboBoxPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    comboBoxPort->setToolTip(QStringLiteral("Serial port: pick one or type its name or full path"));
    buttonRefreshPorts = named(new QPushButton(QStringLiteral("Refresh")), QStringLiteral("buttonRefreshPorts"));
    buttonRefreshPorts->setToolTip(QStringLiteral("List the serial ports again"));
    buttonConnect = named(new QPushButton(QStringLiteral("Connect")), QStringLiteral("buttonConnect"));
    buttonConnect->setMinimumWidth(90);
    layoutPort->addWidget(labelPort);
    layoutPort->addWidget(comboBoxPort, 1);
    layoutPort->addWidget(buttonRefreshPorts);
    layoutPort->addWidget(buttonConnect);

    // Line settings.
    layoutSerial = named(new QHBoxLayout, QStringLiteral("layoutSerial"));
    labelBaud = named(new QLabel(QStringLiteral("Baud:")), QStringLiteral("labelBaud"));
    comboBoxBaud = named(new QComboBox, QStringLiteral("comboBoxBaud"));
    comboBoxBaud->setEditable(true);
    comboBoxBaud->setInsertPolicy(QComboBox::NoInsert);
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
        comboBoxBaud->addItem(QString::number(baud));
    comboBoxBaud->setValidator(new QIntValidator(1, 100000000, comboBoxBaud));
    comboBoxBaud->setToolTip(QStringLiteral("Baud rate"));
    comboBoxBaud->setFixedWidth(86); // room for 921600
    layoutSerial->setSpacing(4);
    labelDataBits = named(new QLabel(QStringLiteral("Bits:")), QStringLiteral("labelDataBits"));
    comboBoxDataBits = named(new QComboBox, QStringLiteral("comboBoxDataBits"));
    comboBoxDataBits->addItems({QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")});
    comboBoxDataBits->setToolTip(QStringLiteral("Data bits"));
    labelParity = named(new QLabel(QStringLiteral("Parity:")), QStringLiteral("labelParity"));
    comboBoxParity = named(new QComboBox, QStringLiteral("comboBoxParity"));
    comboBoxParity->addItems({QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd"),
                              QStringLiteral("mark"), QStringLiteral("space")});
    labelStopBits = named(new QLabel(QStringLiteral("Stop:")), QStringLiteral("labelStopBits"));
    comboBoxStopBits = named(new QComboBox, QStringLiteral("comboBoxStopBits"));
    comboBoxStopBits->addItems({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    comboBoxStopBits->setToolTip(QStringLiteral("Stop bits"));
    layoutSerial->addWidget(labelBaud);
    layoutSerial->addWidget(comboBoxBaud);
    layoutSerial->addWidget(labelDataBits);
    layoutSerial->addWidget(comboBoxDataBits);
    layoutSerial->addWidget(labelParity);
    layoutSerial->addWidget(comboBoxParity);
    layoutSerial->addWidget(labelStopBits);
    layoutSerial->addWidget(comboBoxStopBits);
    layoutSerial->addStretch(1);

}

void BusLayout::buildWidgets()
{
    buildPortRows();
    // The page is as wide as the window leaves it: long texts are elided,
    // whole in their tool tips.
    labelStatus = named(new ElidedLabel, QStringLiteral("labelStatus"));
    labelStatus->setStyleSheet(kBlack);
    labelStatus->setFullText(QStringLiteral("Not connected"));
    labelMessage = named(new ElidedLabel, QStringLiteral("labelMessage"));
    labelMessage->hide();

    // Filter and view.
    layoutTools = named(new QHBoxLayout, QStringLiteral("layoutTools"));
    LineEditFilter = named(new QLineEdit, QStringLiteral("LineEditFilter"));
    LineEditFilter->setPlaceholderText(QStringLiteral("Filter"));
    LineEditFilter->setClearButtonEnabled(true);
    LineEditFilter->setToolTip(QStringLiteral("Show the frames with all these words in their columns; "
                                              "-word leaves out, \"a phrase\" is one word"));
    checkBoxLatest = named(new QCheckBox(QStringLiteral("Latest")), QStringLiteral("checkBoxLatest"));
    checkBoxLatest->setToolTip(QStringLiteral("Latest per message: one row per source and message, with its count and rate"));
    buttonPause = named(new QPushButton(QStringLiteral("Pause")), QStringLiteral("buttonPause"));
    buttonPause->setCheckable(true);
    buttonPause->setToolTip(QStringLiteral("Freeze the list; frames are still received and counted"));
    buttonClear = named(new QPushButton(QStringLiteral("Clear")), QStringLiteral("buttonClear"));
    layoutTools->addWidget(LineEditFilter, 1);
    layoutTools->addWidget(checkBoxLatest);
    layoutTools->addWidget(buttonPause);
    layoutTools->addWidget(buttonClear);
    buildFilterCount();

    tableViewFrames = named(new QTableView, QStringLiteral("tableViewFrames"));
    tableViewFrames->setModel(frameModel);
    tableViewFrames->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableViewFrames->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableViewFrames->setWordWrap(false);
    tableViewFrames->verticalHeader()->hide();
    // Fixed row heights and column widths: the view never measures rows.
    tableViewFrames->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableViewFrames->verticalHeader()->setDefaultSectionSize(20);
    setUpFrameView();

    labelCounters = named(new ElidedLabel, QStringLiteral("labelCounters"));
    buildLogAndSendRows();
    buildRecordingIndicator();
    buildTimeControls();
    buildLoadLine();
    buildReplayRow();

    layoutMain->addLayout(layoutPort);
    layoutMain->addLayout(layoutSerial);
    layoutMain->addLayout(layoutLog);
    layoutMain->addLayout(layoutTools);
    layoutMain->addWidget(buildDetailPane(), 1);
    layoutMain->addWidget(labelLoad);
    layoutMain->addWidget(labelCounters);
    layoutMain->addLayout(layoutSend);
    layoutMain->addWidget(widgetReplay);
    layoutMain->setContentsMargins(5, 20, 20, 20);
}

void BusLayout::buildLogAndSendRows()
{
    // Logs.
    layoutLog = named(new QHBoxLayout, QStringLiteral("layoutLog"));
    buttonSave = named(new QPushButton(QStringLiteral("Save")), QStringLiteral("buttonSave"));
    buttonSave->setToolTip(QStringLiteral("Write every frame of the list to a log file"));
    buttonOpen = named(new QPushButton(QStringLiteral("Open")), QStringLiteral("buttonOpen"));
    buttonOpen->setToolTip(QStringLiteral("Read a log file or frame lines into the list"));
    buttonRecord = named(new QPushButton(QStringLiteral("Record")), QStringLiteral("buttonRecord"));
    buttonRecord->setCheckable(true);
    buttonRecord->setToolTip(QStringLiteral("Write every frame to a log file as it arrives; press again to stop"));
    layoutLog->addWidget(labelStatus, 2);
    layoutLog->addWidget(labelMessage, 3);
    progressBarOpen = named(new QProgressBar, QStringLiteral("progressBarOpen"));
    progressBarOpen->setRange(0, 1000);
    progressBarOpen->setTextVisible(false);
    progressBarOpen->setMaximumWidth(120);
    progressBarOpen->setVisible(false);
    buttonCancelOpen = named(new QPushButton(QStringLiteral("Cancel")), QStringLiteral("buttonCancelOpen"));
    buttonCancelOpen->setToolTip(QStringLiteral("Stop reading the log; what was read stays in the list"));
    buttonCancelOpen->setVisible(false);
    layoutLog->addWidget(progressBarOpen);
    layoutLog->addWidget(buttonCancelOpen);
    layoutLog->addWidget(buttonSave);
    layoutLog->addWidget(buttonOpen);
    layoutLog->addWidget(buttonRecord);

    // Sending.
    layoutSend = named(new QHBoxLayout, QStringLiteral("layoutSend"));
    LineEditSendFrame = named(new QLineEdit, QStringLiteral("LineEditSendFrame"));
    LineEditSendFrame->setPlaceholderText(QStringLiteral("Frame to send"));
    buttonSend = named(new QPushButton(QStringLiteral("Send")), QStringLiteral("buttonSend"));
    checkBoxRepeat = named(new QCheckBox(QStringLiteral("every")), QStringLiteral("checkBoxRepeat"));
    checkBoxRepeat->setToolTip(QStringLiteral("Repeat the sending at this interval"));
    spinBoxRepeatMs = named(new QSpinBox, QStringLiteral("spinBoxRepeatMs"));
    spinBoxRepeatMs->setRange(1, 3600000);
    spinBoxRepeatMs->setValue(1000);
    spinBoxRepeatMs->setSuffix(QStringLiteral(" ms"));
    spinBoxRepeatMs->setToolTip(QStringLiteral("Interval of the repeated sending"));
    layoutSend->addWidget(LineEditSendFrame, 1);
    layoutSend->addWidget(buttonSend);
    layoutSend->addWidget(checkBoxRepeat);
    layoutSend->addWidget(spinBoxRepeatMs);
}

void BusLayout::makeConnections()
{
    connect(buttonConnect, &QPushButton::clicked, this, &BusLayout::on_buttonConnect_clicked);
    connect(buttonRefreshPorts, &QPushButton::clicked, this, &BusLayout::on_buttonRefreshPorts_clicked);
    connect(LineEditFilter, &QLineEdit::textChanged, this, &BusLayout::on_LineEditFilter_textChanged);
    connect(checkBoxLatest, &QCheckBox::toggled, this, &BusLayout::on_checkBoxLatest_toggled);
    connect(buttonPause, &QPushButton::toggled, this, &BusLayout::on_buttonPause_toggled);
    connect(buttonClear, &QPushButton::clicked, this, &BusLayout::on_buttonClear_clicked);
    connect(buttonSave, &QPushButton::clicked, this, &BusLayout::on_buttonSave_clicked);
    connect(buttonOpen, &QPushButton::clicked, this, &BusLayout::on_buttonOpen_clicked);
    connect(buttonRecord, &QPushButton::clicked, this, &BusLayout::on_buttonRecord_clicked);
    connect(buttonCancelOpen, &QPushButton::clicked, this, &BusLayout::on_buttonCancelOpen_clicked);
    connect(logLoader, &BusLogLoader::batchRead, this, &BusLayout::on_logLoader_batchRead);
    connect(logLoader, &BusLogLoader::finished, this, &BusLayout::on_logLoader_finished);
    connect(buttonSend, &QPushButton::clicked, this, &BusLayout::on_buttonSend_clicked);
    connect(LineEditSendFrame, &QLineEdit::returnPressed, buttonSend, &QPushButton::click);
    connect(checkBoxRepeat, &QCheckBox::toggled, this, &BusLayout::on_checkBoxRepeat_toggled);
    // Enter gives activated; a double click gives both, and showing the
    // same frame twice is harmless.
    connect(tableViewFrames, &QTableView::activated, this, &BusLayout::on_tableViewFrames_activated);
    connect(tableViewFrames, &QTableView::doubleClicked, this, &BusLayout::on_tableViewFrames_activated);
    connect(busSession, &BusSession::recordsReady, this, &BusLayout::on_busSession_recordsReady);
    connect(busSession, &BusSession::countersChanged, this, &BusLayout::showCounters);
    connect(busSession, &BusSession::connectionLost, this, &BusLayout::on_busSession_connectionLost);
    connect(busSession, &BusSession::recordingChanged, this, &BusLayout::on_busSession_recordingChanged);
    connect(busSession, &BusSession::repeatingChanged, this, &BusLayout::on_busSession_repeatingChanged);
    connect(timerMessage, &QTimer::timeout, labelMessage, [this] {
        labelMessage->setFullText(QString());
        labelMessage->hide();
    });
    // Rows the ring drops off the top while the list is scrolled up.
    connect(frameModel, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        if (first == 0)
            rowsDroppedFromTop += last + 1;
    });
    // The list follows new rows while it sits at the bottom, also when the
    // view's room changes under it (a scroll bar coming, the window resized).
    QScrollBar *bar = tableViewFrames->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!updatingList)
            listFollowing = value >= bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (listFollowing && !updatingList && !checkBoxLatest->isChecked())
            bar->setValue(maximum);
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &BusLayout::on_application_aboutToQuit);
}

bool BusLayout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == comboBoxPort && event->type() == QEvent::Show && !portsListed)
        fillPorts();
    return QObject::eventFilter(watched, event);
}

void BusLayout::fillPorts()
{
    portsListed = true;
    const QString typed = comboBoxPort->currentText();
    comboBoxPort->clear();
    comboBoxPort->addItems(SerialConnection::availablePorts());
    comboBoxPort->setEditText(typed);
}

void BusLayout::loadSettings()
{
    QSettings settings = settingsStore();
    settings.beginGroup(QStringLiteral("bus"));
    comboBoxPort->setEditText(settings.value(QStringLiteral("port")).toString());
    comboBoxBaud->setEditText(settings.value(QStringLiteral("baudRate"), 9600).toString());
    comboBoxDataBits->setCurrentText(settings.value(QStringLiteral("dataBits"), 8).toString());
    comboBoxParity->setCurrentText(settings.value(QStringLiteral("parity"), QStringLiteral("none")).toString());
    comboBoxStopBits->setCurrentText(settings.value(QStringLiteral("stopBits"), QStringLiteral("1")).toString());
    spinBoxRepeatMs->setValue(settings.value(QStringLiteral("repeatMs"), 1000).toInt());
}

void BusLayout::saveSettings() const
{
    QSettings settings = settingsStore();
    settings.beginGroup(QStringLiteral("bus"));
    settings.setValue(QStringLiteral("port"), comboBoxPort->currentText());
    settings.setValue(QStringLiteral("baudRate"), comboBoxBaud->currentText().toInt());
    settings.setValue(QStringLiteral("dataBits"), comboBoxDataBits->currentText().toInt());
    settings.setValue(QStringLiteral("parity"), comboBoxParity->currentText());
    settings.setValue(QStringLiteral("stopBits"), comboBoxStopBits->currentText());
    settings.setValue(QStringLiteral("repeatMs"), spinBoxRepeatMs->value());
}

bool BusLayout::isConnected() const
{
    return busSession->isOpen();
}

void BusLayout::setCapacity(int frames)
{
    traceStore->setCapacity(frames);
    busSession->setHoldLimit(traceStore->capacity());
    showCounters();
}

void BusLayout::showConnectionState(const QString &text, bool error)
{
    labelStatus->setFullText(text);
    labelStatus->setStyleSheet(error ? kRed : kBlack);
}

void BusLayout::showMessage(const QString &text, bool error)
{
    labelMessage->setFullText(text);
    labelMessage->setStyleSheet(error ? kRed : kBlack);
    // The connection state has the whole row while there is no message.
    labelMessage->setVisible(!text.isEmpty());
    timerMessage->start(error ? kErrorMessageMs : kMessageMs);
}

void BusLayout::showCounters()
{
    const BusCounters counters = shownSession()->counters();
    QString text = QStringLiteral("%1 received, %2 sent, %3, %4 of noise")
                       .arg(counters.received)
                       .arg(counters.sent)
                       .arg(countText(counters.badChecksums, "bad checksum", "bad checksums"),
                            countText(counters.noiseBytes, "byte", "bytes"));
    const quint64 dropped = frameModel->droppedCount() + counters.droppedWhilePaused + counters.droppedUnread;
    if (dropped > 0)
        text += QStringLiteral(", %1 older dropped").arg(dropped);
    if (latestModel->droppedCount() > 0)
        text += QStringLiteral(", %1 dropped from Latest").arg(latestModel->droppedCount());
    if (busSession->isPaused())
        text += QStringLiteral(" (paused, %1 waiting)").arg(busSession->heldCount());
    labelCounters->setFullText(text);
}

// --- The port -----------------------------------------------------------------

void BusLayout::on_buttonConnect_clicked(bool checked)
{
    Q_UNUSED(checked)
    if (busSession->isOpen()) {
        disconnectPort();
        showConnectionState(QStringLiteral("Not connected"), false);
        return;
    }
    const SerialSettings settings = serialSettings();
    if (!busSession->open(settings)) {
        showConnectionState(busSession->errorText(), true);
        return;
    }
    saveSettings();
    showLiveBus();
    insightOfLog = false; // live from here on
    showConnectionState(QStringLiteral("Connected to %1").arg(settings.port), false);
    buttonConnect->setText(QStringLiteral("Disconnect"));
    emit connectedChanged(true);
}

SerialSettings BusLayout::serialSettings() const
{
    SerialSettings settings;
    settings.port = comboBoxPort->currentText().trimmed();
    settings.baudRate = comboBoxBaud->currentText().toInt();
    settings.dataBits = comboBoxDataBits->currentText().toInt();
    settings.parity = comboBoxParity->currentText();
    settings.stopBits = comboBoxStopBits->currentText();
    return settings;
}

void BusLayout::disconnectPort()
{
    busSession->close();
    checkBoxRepeat->setChecked(false);
    buttonConnect->setText(QStringLiteral("Connect"));
    emit connectedChanged(false);
}

void BusLayout::on_busSession_connectionLost(const QString &text)
{
    checkBoxRepeat->setChecked(false);
    buttonConnect->setText(QStringLiteral("Connect"));
    showConnectionState(text, true);
    emit connectedChanged(false);
}

void BusLayout::on_buttonRefreshPorts_clicked(bool checked)
{
    Q_UNUSED(checked)
    fillPorts();
}

void BusLayout::on_application_aboutToQuit()
{
    if (busSession->isOpen())
        disconnectPort();
    busSession->stopRecording();
}

// --- The list -------------------------------------------------------------------

void BusLayout::on_busSession_recordsReady(const QVector<BusRecord> &batch)
{
    appendToList(traceStore, batch);
}

void BusLayout::appendToList(TraceStore *store, const QVector<BusRecord> &batch)
{
    if (store != shownStore()) {
        store->append(batch);
        return;
    }
    QScrollBar *bar = tableViewFrames->verticalScrollBar();
    const bool listShown = !checkBoxLatest->isChecked();
    const bool atBottom = listFollowing || bar->value() >= bar->maximum();
    const int before = bar->value();
    rowsDroppedFromTop = 0;
    updatingList = true;
    store->append(batch);
    updatingList = false;
    if (!listShown)
        return;
    if (atBottom)
        tableViewFrames->scrollToBottom();
    else if (rowsDroppedFromTop > 0)
        // The rows on screen stay there until they themselves are dropped.
        bar->setValue(qMax(0, before - rowsDroppedFromTop));
}

void BusLayout::on_buttonPause_toggled(bool checked)
{
    busSession->setPaused(checked);
}

void BusLayout::on_buttonClear_clicked(bool checked)
{
    Q_UNUSED(checked)
    showLiveBus();
    busSession->clear();
    traceStore->clear();
    clearInsight();
    showCounters();
}

void BusLayout::on_LineEditFilter_textChanged(const QString &text)
{
    frameModel->setFilterText(text);
    latestModel->setFilterText(text);
    if (!checkBoxLatest->isChecked())
        tableViewFrames->scrollToBottom();
}

void BusLayout::on_checkBoxLatest_toggled(bool checked)
{
    keepHeaderState();
    showLatest(checked);
    showHeaderState();
    if (!checked)
        tableViewFrames->scrollToBottom();
}

void BusLayout::on_tableViewFrames_activated(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const BusRecord *record = recordOfIndex(index);
    if (record && (record->kind == BusRecord::Received || record->kind == BusRecord::Sent))
        emit frameOpened(frameToHexText(record->bytes));
}

void BusLayout::buildFilterCount()
{
    labelFilterCount = named(new QLabel, QStringLiteral("labelFilterCount"));
    labelFilterCount->setToolTip(QStringLiteral("Rows shown of the rows held"));
    labelFilterCount->setVisible(false);
    layoutTools->insertWidget(layoutTools->indexOf(LineEditFilter) + 1, labelFilterCount);
    connect(frameModel, &FrameTableModel::countsChanged, this, &BusLayout::showFilterCount);
}

void BusLayout::showFilterCount()
{
    labelFilterCount->setVisible(frameModel->isFiltering());
    if (frameModel->isFiltering())
        labelFilterCount->setText(QStringLiteral("%1 of %2").arg(frameModel->shownCount()).arg(frameModel->heldCount()));
}

void BusLayout::buildLatestSorting()
{
    latestSorted = named(new QSortFilterProxyModel(this), QStringLiteral("latestSorted"));
    latestSorted->setSourceModel(latestModel);
    latestSorted->setSortRole(LatestMessageModel::SortRole);
    latestSorted->setSortCaseSensitivity(Qt::CaseInsensitive);
}

void BusLayout::showLatest(bool latest)
{
    // Sorting off first: the list is never sorted, only the Latest view.
    if (!latest)
        tableViewFrames->setSortingEnabled(false);
    tableViewFrames->setModel(latest ? static_cast<QAbstractItemModel *>(latestSorted) : frameModel);
    if (latest) {
        // The order last chosen, or none (order of first appearance).
        tableViewFrames->horizontalHeader()->setSortIndicator(latestSorted->sortColumn(), latestSorted->sortOrder());
        tableViewFrames->setSortingEnabled(true);
    }
}

// --- Sending ----------------------------------------------------------------------

void BusLayout::sendFrame(const QByteArray &frame)
{
    const QString problem = busSession->send(frame);
    if (!problem.isEmpty()) {
        showMessage(problem, true);
        emit sendResult(problem, true);
        return;
    }
    emit sendResult(QStringLiteral("Sent %1").arg(frameToHexText(frame)), false);
}

QByteArray BusLayout::frameToSend()
{
    const ParsedFrame parsed = parseFrameText(LineEditSendFrame->text());
    if (!parsed.ok()) {
        LineEditSendFrame->setStyleSheet(kRed);
        showMessage(parsed.statusText, true);
        return QByteArray();
    }
    LineEditSendFrame->setStyleSheet(kBlack);
    return parsed.bytes;
}

void BusLayout::on_buttonSend_clicked(bool checked)
{
    Q_UNUSED(checked)
    // While repeating, the button stops it.
    if (busSession->isRepeating()) {
        checkBoxRepeat->setChecked(false);
        return;
    }
    const QByteArray frame = frameToSend();
    if (frame.isEmpty())
        return;
    if (!checkBoxRepeat->isChecked()) {
        sendFrame(frame);
        return;
    }
    const QString problem = busSession->startRepeat(frame, spinBoxRepeatMs->value());
    if (!problem.isEmpty())
        showMessage(problem, true);
    saveSettings();
}

void BusLayout::on_checkBoxRepeat_toggled(bool checked)
{
    if (!checked) {
        busSession->stopRepeat();
        return;
    }
    // Ticked with a frame in the field: it starts at once.
    if (!busSession->isOpen() || LineEditSendFrame->text().trimmed().isEmpty())
        return;
    const QByteArray frame = frameToSend();
    if (frame.isEmpty())
        return;
    const QString problem = busSession->startRepeat(frame, spinBoxRepeatMs->value());
    if (!problem.isEmpty())
        showMessage(problem, true);
}

void BusLayout::on_busSession_repeatingChanged(bool repeating)
{
    buttonSend->setText(repeating ? QStringLiteral("Stop") : QStringLiteral("Send"));
    buttonSend->setToolTip(repeating ? QStringLiteral("Stop the repeated sending")
                                     : QStringLiteral("Send the frame of the field"));
    if (repeating)
        showMessage(QStringLiteral("Sending %1 every %2 ms")
                        .arg(frameToHexText(busSession->repeatedFrame()))
                        .arg(spinBoxRepeatMs->value()),
                    false);
    else if (checkBoxRepeat->isChecked())
        checkBoxRepeat->setChecked(false);
}
