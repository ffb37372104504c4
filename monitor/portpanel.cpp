#include "monitor/portpanel.h"

#include "serial/bussession.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PortPanel::PortPanel(BusSession *session, QWidget *parent) : QWidget(parent), busSession(session)
{
    buildPortRow();
    buildLineRow();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(layoutPort);
    layout->addLayout(layoutSerial);
    // Listing the serial ports reads thousands of small system files; that
    // waits until the Bus page is first shown (eventFilter).
    comboBoxPort->installEventFilter(this);
    loadSettings();

    connect(buttonConnect, &QPushButton::clicked, this, &PortPanel::on_buttonConnect_clicked);
    connect(buttonRefreshPorts, &QPushButton::clicked, this, &PortPanel::on_buttonRefreshPorts_clicked);
    connect(busSession, &BusSession::connectionLost, this, &PortPanel::on_busSession_connectionLost);
    auto lineChanged = [this] { emit lineSettingsChanged(serialSettings()); };
    for (QComboBox *box : {comboBoxBaud, comboBoxDataBits, comboBoxParity, comboBoxStopBits})
        connect(box, &QComboBox::currentTextChanged, this, lineChanged);
    connect(comboBoxBaud, &QComboBox::editTextChanged, this, lineChanged);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        if (busSession->isOpen())
            disconnectPort();
        busSession->stopRecording();
    });
}

void PortPanel::buildPortRow()
{
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
}

void PortPanel::buildLineRow()
{
    layoutSerial = named(new QHBoxLayout, QStringLiteral("layoutSerial"));
    labelBaud = named(new QLabel(QStringLiteral("Baud:")), QStringLiteral("labelBaud"));
    comboBoxBaud = named(new QComboBox, QStringLiteral("comboBoxBaud"));
    comboBoxBaud->setEditable(true);
    comboBoxBaud->setInsertPolicy(QComboBox::NoInsert);
    for (int baud : SerialSettings::commonBaudRates())
        comboBoxBaud->addItem(QString::number(baud));
    comboBoxBaud->setValidator(new QIntValidator(1, 100000000, comboBoxBaud));
    comboBoxBaud->setToolTip(QStringLiteral("Baud rate"));
    comboBoxBaud->setFixedWidth(86); // room for 921600
    layoutSerial->setSpacing(4);
    labelDataBits = named(new QLabel(QStringLiteral("Bits:")), QStringLiteral("labelDataBits"));
    comboBoxDataBits = named(new QComboBox, QStringLiteral("comboBoxDataBits"));
    for (int bits : SerialSettings::dataBitsChoices())
        comboBoxDataBits->addItem(QString::number(bits));
    comboBoxDataBits->setToolTip(QStringLiteral("Data bits"));
    labelParity = named(new QLabel(QStringLiteral("Parity:")), QStringLiteral("labelParity"));
    comboBoxParity = named(new QComboBox, QStringLiteral("comboBoxParity"));
    comboBoxParity->addItems(SerialSettings::parityChoices());
    labelStopBits = named(new QLabel(QStringLiteral("Stop:")), QStringLiteral("labelStopBits"));
    comboBoxStopBits = named(new QComboBox, QStringLiteral("comboBoxStopBits"));
    comboBoxStopBits->addItems(SerialSettings::stopBitsChoices());
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

bool PortPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == comboBoxPort && event->type() == QEvent::Show && !portsListed)
        fillPorts();
    return QWidget::eventFilter(watched, event);
}

void PortPanel::fillPorts()
{
    portsListed = true;
    const QString typed = comboBoxPort->currentText();
    comboBoxPort->clear();
    comboBoxPort->addItems(SerialConnection::availablePorts());
    comboBoxPort->setEditText(typed);
}

void PortPanel::loadSettings()
{
    QSettings settings = settingsStore();
    settings.beginGroup(QStringLiteral("bus"));
    comboBoxPort->setEditText(settings.value(QStringLiteral("port")).toString());
    comboBoxBaud->setEditText(settings.value(QStringLiteral("baudRate"), 9600).toString());
    comboBoxDataBits->setCurrentText(settings.value(QStringLiteral("dataBits"), 8).toString());
    comboBoxParity->setCurrentText(settings.value(QStringLiteral("parity"), QStringLiteral("none")).toString());
    comboBoxStopBits->setCurrentText(settings.value(QStringLiteral("stopBits"), QStringLiteral("1")).toString());
}

void PortPanel::saveSettings() const
{
    QSettings settings = settingsStore();
    settings.beginGroup(QStringLiteral("bus"));
    settings.setValue(QStringLiteral("port"), comboBoxPort->currentText());
    settings.setValue(QStringLiteral("baudRate"), comboBoxBaud->currentText().toInt());
    settings.setValue(QStringLiteral("dataBits"), comboBoxDataBits->currentText().toInt());
    settings.setValue(QStringLiteral("parity"), comboBoxParity->currentText());
    settings.setValue(QStringLiteral("stopBits"), comboBoxStopBits->currentText());
}

SerialSettings PortPanel::serialSettings() const
{
    SerialSettings settings;
    settings.port = comboBoxPort->currentText().trimmed();
    settings.baudRate = comboBoxBaud->currentText().toInt();
    settings.dataBits = comboBoxDataBits->currentText().toInt();
    settings.parity = comboBoxParity->currentText();
    settings.stopBits = comboBoxStopBits->currentText();
    return settings;
}

void PortPanel::on_buttonConnect_clicked(bool checked)
{
    Q_UNUSED(checked)
    if (busSession->isOpen()) {
        disconnectPort();
        emit stateChanged(QStringLiteral("Not connected"), false);
        return;
    }
    const SerialSettings settings = serialSettings();
    if (!busSession->open(settings)) {
        emit stateChanged(busSession->errorText(), true);
        return;
    }
    saveSettings();
    emit stateChanged(QStringLiteral("Connected to %1").arg(settings.port), false);
    buttonConnect->setText(QStringLiteral("Disconnect"));
    emit connectedChanged(true);
}

void PortPanel::disconnectPort()
{
    // Closing stops the repeated sending; the send panel sees it from the session.
    busSession->close();
    buttonConnect->setText(QStringLiteral("Connect"));
    emit connectedChanged(false);
}

void PortPanel::on_busSession_connectionLost(const QString &text)
{
    buttonConnect->setText(QStringLiteral("Connect"));
    emit stateChanged(text, true);
    emit connectedChanged(false);
}

void PortPanel::on_buttonRefreshPorts_clicked(bool checked)
{
    Q_UNUSED(checked)
    fillPorts();
}
