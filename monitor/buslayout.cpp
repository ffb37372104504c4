#include "monitor/buslayout.h"

#include "codec/buslog.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "serial/serialconnection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kRed = QStringLiteral("color: red");
const QString kBlack = QStringLiteral("color: black");

// How often arrivals move into the list.
const int kArrivalIntervalMs = 40;
// A received frame equal to one we wrote this recently is its echo.
const qint64 kEchoWindowMs = 200;
const qint64 kKeepSentMs = 1000;
// Decoded texts kept per distinct frame; a bus repeats itself a lot.
const int kDecodedCacheSize = 4096;

template<typename T>
T *named(T *object, const QString &name)
{
    object->setObjectName(name);
    return object;
}

QSettings settingsStore()
{
    return QSettings(QStringLiteral("Quorvex"), QStringLiteral("KWN Frame Builder"));
}

QByteArray logLineOf(const BusRecord &record)
{
    const QString line = record.kind == BusRecord::Noise
        ? busLogNoiseLine(record.timeMs, record.bytes)
        : busLogFrameLine(record.timeMs, directionText(record.kind), record.bytes);
    return line.toUtf8() + '\n';
}

} // namespace

BusLayout::BusLayout(QObject *parent)
    : QObject(parent), layoutMain(new QVBoxLayout), catalogue(QStringLiteral("xml"))
{
    layoutMain->setObjectName(QStringLiteral("layoutMain"));
    frameModel = named(new FrameTableModel(this), QStringLiteral("frameModel"));
    latestModel = named(new LatestMessageModel(this), QStringLiteral("latestModel"));
    connection = new SerialConnection(this);
    connection->setObjectName(QStringLiteral("connection"));
    timerArrivals = named(new QTimer(this), QStringLiteral("timerArrivals"));
    timerArrivals->setInterval(kArrivalIntervalMs);
    timerRepeat = named(new QTimer(this), QStringLiteral("timerRepeat"));
    timerRepeat->setTimerType(Qt::PreciseTimer);

    buildWidgets();
    // Listing the serial ports reads thousands of small system files; that
    // waits until the Bus page is first shown (eventFilter).
    comboBoxPort->installEventFilter(this);
    loadSettings();
    showCounters();
    makeConnections();
}

BusLayout::~BusLayout()
{
    stopRecording();
    connection->close();
}

QVBoxLayout *BusLayout::getLayout()
{
    return layoutMain;
}

void BusLayout::buildWidgets()
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

    labelStatus = named(new QLabel(QStringLiteral("Not connected")), QStringLiteral("labelStatus"));
    labelStatus->setStyleSheet(kBlack);
    labelStatus->setWordWrap(true);
    // The page is as wide as the window leaves it: long texts wrap.
    labelStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    // Filter and view.
    layoutTools = named(new QHBoxLayout, QStringLiteral("layoutTools"));
    LineEditFilter = named(new QLineEdit, QStringLiteral("LineEditFilter"));
    LineEditFilter->setPlaceholderText(QStringLiteral("Filter"));
    LineEditFilter->setClearButtonEnabled(true);
    LineEditFilter->setToolTip(QStringLiteral("Show the frames with this text in any column"));
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

    tableViewFrames = named(new QTableView, QStringLiteral("tableViewFrames"));
    tableViewFrames->setModel(frameModel);
    tableViewFrames->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableViewFrames->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableViewFrames->setWordWrap(false);
    tableViewFrames->verticalHeader()->hide();
    // Fixed row heights and column widths: the view never measures rows.
    tableViewFrames->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableViewFrames->verticalHeader()->setDefaultSectionSize(20);
    tableViewFrames->horizontalHeader()->setStretchLastSection(true);
    setColumnWidths();

    labelCounters = named(new QLabel, QStringLiteral("labelCounters"));
    labelCounters->setWordWrap(true);
    labelCounters->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    // Logs.
    layoutLog = named(new QHBoxLayout, QStringLiteral("layoutLog"));
    buttonSave = named(new QPushButton(QStringLiteral("Save")), QStringLiteral("buttonSave"));
    buttonSave->setToolTip(QStringLiteral("Write every frame of the list to a log file"));
    buttonOpen = named(new QPushButton(QStringLiteral("Open")), QStringLiteral("buttonOpen"));
    buttonOpen->setToolTip(QStringLiteral("Read a log file or frame lines into the list"));
    buttonRecord = named(new QPushButton(QStringLiteral("Record")), QStringLiteral("buttonRecord"));
    buttonRecord->setCheckable(true);
    buttonRecord->setToolTip(QStringLiteral("Write every frame to a log file as it arrives"));
    layoutLog->addWidget(labelStatus, 1);
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

    layoutMain->addLayout(layoutPort);
    layoutMain->addLayout(layoutSerial);
    layoutMain->addLayout(layoutLog);
    layoutMain->addLayout(layoutTools);
    layoutMain->addWidget(tableViewFrames, 1);
    layoutMain->addWidget(labelCounters);
    layoutMain->addLayout(layoutSend);
    layoutMain->setContentsMargins(5, 20, 20, 20);
}

void BusLayout::setColumnWidths()
{
    // Sized by sample texts in the view's font, so that times and addresses
    // show whole; the rest can be widened by hand.
    const QFontMetrics metrics(tableViewFrames->font());
    auto fit = [&](const char *sample) {
        return metrics.horizontalAdvance(QString::fromUtf8(sample)) + 14;
    };
    const bool latest = checkBoxLatest->isChecked();
    const QVector<int> widths = latest
        ? QVector<int>{fit("00:00:00.000"), fit("QX-Drive 40"), fit("Get Motor Status"),
                       fit("000000 \u2192 Broadcast"), fit("Frame decoded successfully. | QX-Drive 40"),
                       fit("Count"), fit("Rate /s")}
        : QVector<int>{fit("00:00:00.000"), fit("99999"), fit("RX"), fit("QX-Drive 40"),
                       fit("Get Motor Status"), fit("000000 \u2192 Broadcast"),
                       fit("Frame decoded successfully. | QX-Drive 40"), fit("00112233445566778899AABB"),
                       fit("Checksum")};
    for (int column = 0; column < widths.size(); ++column)
        tableViewFrames->setColumnWidth(column, widths.at(column));
}

void BusLayout::makeConnections()
{
    connect(buttonConnect, SIGNAL(clicked(bool)), this, SLOT(on_buttonConnect_clicked(bool)));
    connect(buttonRefreshPorts, SIGNAL(clicked(bool)), this, SLOT(on_buttonRefreshPorts_clicked(bool)));
    connect(LineEditFilter, SIGNAL(textChanged(const QString&)), this,
            SLOT(on_LineEditFilter_Edited(const QString&)));
    connect(checkBoxLatest, SIGNAL(toggled(bool)), this, SLOT(on_checkBoxLatest_toggled(bool)));
    connect(buttonPause, SIGNAL(toggled(bool)), this, SLOT(on_buttonPause_toggled(bool)));
    connect(buttonClear, SIGNAL(clicked(bool)), this, SLOT(on_buttonClear_clicked(bool)));
    connect(buttonSave, SIGNAL(clicked(bool)), this, SLOT(on_buttonSave_clicked(bool)));
    connect(buttonOpen, SIGNAL(clicked(bool)), this, SLOT(on_buttonOpen_clicked(bool)));
    connect(buttonRecord, SIGNAL(toggled(bool)), this, SLOT(on_buttonRecord_toggled(bool)));
    connect(buttonSend, SIGNAL(clicked(bool)), this, SLOT(on_buttonSend_clicked(bool)));
    connect(LineEditSendFrame, SIGNAL(returnPressed()), buttonSend, SLOT(click()));
    connect(checkBoxRepeat, SIGNAL(toggled(bool)), this, SLOT(on_checkBoxRepeat_toggled(bool)));
    // Enter gives activated; a double click gives both, and showing the
    // same frame twice is harmless.
    connect(tableViewFrames, SIGNAL(activated(const QModelIndex&)), this,
            SLOT(on_tableViewFrames_activated(const QModelIndex&)));
    connect(tableViewFrames, SIGNAL(doubleClicked(const QModelIndex&)), this,
            SLOT(on_tableViewFrames_activated(const QModelIndex&)));
    connect(connection, SIGNAL(sent(const QByteArray&, qint64)), this,
            SLOT(on_connection_sent(const QByteArray&, qint64)));
    connect(connection, SIGNAL(errorOccurred(const QString&)), this,
            SLOT(on_connection_errorOccurred(const QString&)));
    connect(timerArrivals, SIGNAL(timeout()), this, SLOT(takeArrivals()));
    connect(timerRepeat, SIGNAL(timeout()), this, SLOT(on_timerRepeat_timeout()));
    connect(QCoreApplication::instance(), SIGNAL(aboutToQuit()), this,
            SLOT(on_application_aboutToQuit()));
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
    return connection->isOpen();
}

void BusLayout::setCapacity(int frames)
{
    frameModel->setCapacity(frames);
    showCounters();
}

void BusLayout::showStatus(const QString &text, bool error)
{
    labelStatus->setText(text);
    labelStatus->setStyleSheet(error ? kRed : kBlack);
}

void BusLayout::showCounters()
{
    QString text = QStringLiteral("%1 received, %2 sent, %3 noise bytes, %4 bad checksums")
                       .arg(framesReceived)
                       .arg(framesSent)
                       .arg(noiseBytes)
                       .arg(badChecksums);
    const quint64 dropped = frameModel->droppedCount() + droppedWhilePaused + connection->droppedCount();
    if (dropped > 0)
        text += QStringLiteral(", %1 older dropped").arg(dropped);
    if (buttonPause->isChecked())
        text += QStringLiteral(" (paused, %1 waiting)").arg(heldWhilePaused.size());
    labelCounters->setText(text);
}

void BusLayout::on_buttonConnect_clicked(bool checked)
{
    Q_UNUSED(checked)
    if (connection->isOpen()) {
        disconnectPort();
        showStatus(QStringLiteral("Not connected"), false);
        return;
    }
    SerialSettings settings;
    settings.port = comboBoxPort->currentText().trimmed();
    settings.baudRate = comboBoxBaud->currentText().toInt();
    settings.dataBits = comboBoxDataBits->currentText().toInt();
    settings.parity = comboBoxParity->currentText();
    settings.stopBits = comboBoxStopBits->currentText();
    if (!connection->open(settings)) {
        showStatus(connection->errorText(), true);
        return;
    }
    saveSettings();
    showStatus(QStringLiteral("Connected to %1").arg(settings.port), false);
    buttonConnect->setText(QStringLiteral("Disconnect"));
    timerArrivals->start();
    emit connectedChanged(true);
}

void BusLayout::disconnectPort()
{
    timerRepeat->stop();
    checkBoxRepeat->setChecked(false);
    // What arrived before the port closed still goes into the list.
    takeArrivals();
    connection->close();
    timerArrivals->stop();
    takeArrivals();
    stopRecording();
    sentRecently.clear();
    buttonConnect->setText(QStringLiteral("Connect"));
    emit connectedChanged(false);
}

void BusLayout::on_connection_errorOccurred(const QString &text)
{
    if (timerArrivals->isActive())
        disconnectPort();
    showStatus(text, true);
}

void BusLayout::on_buttonRefreshPorts_clicked(bool checked)
{
    Q_UNUSED(checked)
    fillPorts();
}

void BusLayout::on_application_aboutToQuit()
{
    if (connection->isOpen())
        disconnectPort();
    stopRecording();
}

// --- Arrivals -------------------------------------------------------------

BusRecord BusLayout::recordOf(const QByteArray &bytes, qint64 timeMs, BusRecord::Kind kind)
{
    auto cached = decodedCache.constFind(bytes);
    if (cached == decodedCache.constEnd()) {
        const FrameReport report = catalogue.decodeBytes(bytes);
        BusRecord decoded;
        decoded.bytes = bytes;
        decoded.parsed = report.parsed;
        decoded.checksumOk = report.parsed && report.checksumOk;
        if (report.parsed) {
            const FrameFields &fields = report.frame.fields;
            decoded.messageId = fields.messageId;
            decoded.sourceAddress = fields.sourceAddress;
            decoded.destinationAddress = fields.destinationAddress;
        }
        decoded.device = report.device;
        decoded.message = report.productFound ? report.message.messageName : QString();
        decoded.values = singleLineText(report);
        if (decodedCache.size() >= kDecodedCacheSize)
            decodedCache.clear();
        cached = decodedCache.insert(bytes, decoded);
    }
    BusRecord record = cached.value();
    record.timeMs = timeMs;
    record.kind = kind;
    return record;
}

BusRecord BusLayout::noiseRecord(const QByteArray &bytes, qint64 timeMs) const
{
    BusRecord record;
    record.kind = BusRecord::Noise;
    record.bytes = bytes;
    record.timeMs = timeMs;
    return record;
}

bool BusLayout::takeEcho(const QByteArray &bytes, qint64 timeMs)
{
    for (int i = 0; i < sentRecently.size(); ++i) {
        const SentFrame &sent = sentRecently.at(i);
        if (sent.bytes == bytes && qAbs(timeMs - sent.timeMs) <= kEchoWindowMs) {
            sentRecently.remove(i);
            return true;
        }
    }
    return false;
}

void BusLayout::on_connection_sent(const QByteArray &frame, qint64 timeMs)
{
    sentRecently.append({frame, timeMs});
    sentWaiting.append(recordOf(frame, timeMs, BusRecord::Sent));
    ++framesSent;
}

void BusLayout::takeArrivals()
{
    QVector<BusRecord> batch;
    batch.swap(sentWaiting);
    const QVector<SplitItem> items = connection->takeReceived();
    batch.reserve(batch.size() + items.size());
    for (const SplitItem &item : items) {
        if (item.kind == SplitItem::Noise) {
            noiseBytes += quint64(item.bytes.size());
            batch.append(noiseRecord(item.bytes, item.timeMs));
            continue;
        }
        if (takeEcho(item.bytes, item.timeMs))
            continue;
        BusRecord record = recordOf(item.bytes, item.timeMs, BusRecord::Received);
        ++framesReceived;
        if (record.parsed && !record.checksumOk)
            ++badChecksums;
        batch.append(record);
    }
    // Echoes come back within the window or not at all. The window is judged
    // on the arrival times; a sent frame is kept a while longer, so that a
    // late batch still finds it.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    sentRecently.erase(std::remove_if(sentRecently.begin(), sentRecently.end(),
                                      [now](const SentFrame &sent) {
                                          return now - sent.timeMs > kKeepSentMs;
                                      }),
                       sentRecently.end());
    if (batch.isEmpty()) {
        flushRecording();
        return;
    }
    // Sent frames join the received ones in time order.
    std::stable_sort(batch.begin(), batch.end(), [](const BusRecord &a, const BusRecord &b) {
        return a.timeMs < b.timeMs;
    });
    writeRecorded(batch);
    flushRecording();
    deliver(batch);
    showCounters();
}

void BusLayout::deliver(QVector<BusRecord> &records)
{
    if (buttonPause->isChecked()) {
        heldWhilePaused += records;
        // Held back at most one ring's worth; the list would drop the rest anyway.
        const int excess = heldWhilePaused.size() - frameModel->capacity();
        if (excess > 0) {
            heldWhilePaused.remove(0, excess);
            droppedWhilePaused += quint64(excess);
        }
        return;
    }
    showBatch(records);
}

void BusLayout::showBatch(QVector<BusRecord> &records)
{
    QScrollBar *bar = tableViewFrames->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    frameModel->append(records);
    latestModel->append(records);
    if (atBottom && !checkBoxLatest->isChecked())
        tableViewFrames->scrollToBottom();
}

void BusLayout::on_buttonPause_toggled(bool checked)
{
    if (!checked && !heldWhilePaused.isEmpty()) {
        QVector<BusRecord> held;
        held.swap(heldWhilePaused);
        showBatch(held);
    }
    showCounters();
}

void BusLayout::on_buttonClear_clicked(bool checked)
{
    Q_UNUSED(checked)
    frameModel->clear();
    latestModel->clear();
    heldWhilePaused.clear();
    framesReceived = framesSent = noiseBytes = badChecksums = droppedWhilePaused = 0;
    showCounters();
}

void BusLayout::on_LineEditFilter_Edited(const QString &text)
{
    frameModel->setFilterText(text);
    latestModel->setFilterText(text);
    if (!checkBoxLatest->isChecked())
        tableViewFrames->scrollToBottom();
}

void BusLayout::on_checkBoxLatest_toggled(bool checked)
{
    if (checked)
        tableViewFrames->setModel(latestModel);
    else
        tableViewFrames->setModel(frameModel);
    setColumnWidths();
    if (!checked)
        tableViewFrames->scrollToBottom();
}

void BusLayout::on_tableViewFrames_activated(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const BusRecord *record = checkBoxLatest->isChecked() ? latestModel->recordAt(index.row())
                                                          : frameModel->recordAt(index.row());
    if (record && record->kind != BusRecord::Noise)
        emit frameOpened(frameToHexText(record->bytes));
}

// --- Sending --------------------------------------------------------------

void BusLayout::sendFrame(const QByteArray &frame)
{
    if (!connection->isOpen()) {
        showStatus(QStringLiteral("Not connected: connect to a port to send"), true);
        return;
    }
    if (!connection->send(frame))
        showStatus(connection->errorText(), true);
}

void BusLayout::on_buttonSend_clicked(bool checked)
{
    Q_UNUSED(checked)
    const ParsedFrame parsed = parseFrameText(LineEditSendFrame->text());
    if (!parsed.ok()) {
        LineEditSendFrame->setStyleSheet(kRed);
        showStatus(parsed.statusText, true);
        return;
    }
    LineEditSendFrame->setStyleSheet(kBlack);
    repeatFrame = parsed.bytes;
    sendFrame(parsed.bytes);
    if (checkBoxRepeat->isChecked() && connection->isOpen()) {
        timerRepeat->start(spinBoxRepeatMs->value());
        saveSettings();
    }
}

void BusLayout::on_checkBoxRepeat_toggled(bool checked)
{
    if (!checked)
        timerRepeat->stop();
}

void BusLayout::on_timerRepeat_timeout()
{
    if (connection->isOpen() && !repeatFrame.isEmpty())
        connection->send(repeatFrame);
    else
        timerRepeat->stop();
}

// --- Logs -----------------------------------------------------------------

void BusLayout::writeRecorded(const QVector<BusRecord> &records)
{
    if (!recordFile)
        return;
    QByteArray text;
    for (const BusRecord &record : records)
        text += logLineOf(record);
    recordFile->write(text);
}

void BusLayout::flushRecording()
{
    // Often enough that a capture is never more than a second behind.
    if (recordFile && sinceFlush.elapsed() >= 500) {
        recordFile->flush();
        sinceFlush.restart();
    }
}

bool BusLayout::saveLog(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        showStatus(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()), true);
        return false;
    }
    QByteArray text;
    for (int i = 0; i < frameModel->heldCount(); ++i) {
        text += logLineOf(frameModel->heldRecord(i));
        if (text.size() > (1 << 20)) {
            file.write(text);
            text.clear();
        }
    }
    file.write(text);
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        showStatus(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()), true);
        return false;
    }
    return true;
}

bool BusLayout::openLog(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        showStatus(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()), true);
        return false;
    }
    on_buttonClear_clicked(false);
    QVector<BusRecord> batch;
    int refused = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty())
            continue;
        // Comment lines (noise runs and events) are passed over, as every
        // reader of these logs does.
        const BusLogLine entry = parseBusLogLine(line);
        if (entry.kind != BusLogLine::Frame)
            continue;
        const ParsedFrame parsed = parseFrameText(entry.frameText);
        if (!parsed.ok()) {
            ++refused;
            continue;
        }
        // A plain frame line has no time: it counts as read now.
        const qint64 timeMs = entry.timeMs >= 0 ? entry.timeMs : QDateTime::currentMSecsSinceEpoch();
        batch.append(recordOf(parsed.bytes, timeMs,
                              entry.direction == QLatin1String("TX") ? BusRecord::Sent
                                                                     : BusRecord::Received));
        if (batch.size() >= 4096) {
            showBatch(batch);
            batch.clear();
        }
    }
    showBatch(batch);
    showStatus(refused == 0 ? QStringLiteral("Opened %1").arg(path)
                            : QStringLiteral("Opened %1; %2 lines were not frames").arg(path).arg(refused),
               refused > 0);
    showCounters();
    return true;
}

bool BusLayout::startRecording(const QString &path)
{
    stopRecording();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        showStatus(QStringLiteral("Cannot record to %1: %2").arg(path, file->errorString()), true);
        setRecordChecked(false);
        return false;
    }
    recordFile = std::move(file);
    sinceFlush.restart();
    setRecordChecked(true);
    return true;
}

void BusLayout::stopRecording()
{
    if (recordFile) {
        recordFile->flush();
        recordFile->close();
        recordFile.reset();
    }
    setRecordChecked(false);
}

void BusLayout::setRecordChecked(bool checked)
{
    if (!buttonRecord || buttonRecord->isChecked() == checked)
        return;
    const bool blocked = buttonRecord->blockSignals(true);
    buttonRecord->setChecked(checked);
    buttonRecord->blockSignals(blocked);
}

void BusLayout::on_buttonSave_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = QFileDialog::getSaveFileName(tableViewFrames, QStringLiteral("Save log"),
                                                      QString(), QStringLiteral("Bus logs (*.log *.txt)"));
    if (!path.isEmpty() && saveLog(path))
        showStatus(QStringLiteral("Saved %1 frames to %2").arg(frameModel->heldCount()).arg(path), false);
}

void BusLayout::on_buttonOpen_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = QFileDialog::getOpenFileName(tableViewFrames, QStringLiteral("Open log"),
                                                      QString(), QStringLiteral("Bus logs (*.log *.txt);;All files (*)"));
    if (!path.isEmpty())
        openLog(path);
}

void BusLayout::on_buttonRecord_toggled(bool checked)
{
    if (!checked) {
        stopRecording();
        return;
    }
    const QString path = QFileDialog::getSaveFileName(tableViewFrames, QStringLiteral("Record to"),
                                                      QString(), QStringLiteral("Bus logs (*.log *.txt)"));
    if (path.isEmpty() || !startRecording(path))
        setRecordChecked(false);
    else
        showStatus(QStringLiteral("Recording to %1").arg(path), false);
}
