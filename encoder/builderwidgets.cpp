// The Encode page's widgets: built once, named, laid out and connected.

#include "encoder/builderlayout.h"

#include "widgets/comboboxtext.h"
#include "widgets/pagestyle.h"
#include "widgets/fittedwidth.h"

#include "catalogue/catalogue.h"
#include "catalogue/shownlimits.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/outputformat.h"
#include "encoder/parametervalidators.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHash>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kFormatToolTip = QStringLiteral(
    "If you want your output frame to be formated under another form, change this string\n\n"
    "\"##\" represent an hexadecimal byte.\n\n"
    "For exemple if you want a frame like this:\n"
    "0xBF, 0xF4, 0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0x08, 0xA9, \n\n"
    "type \"0x##, \" here (without the quotes).");

} // namespace

void BuilderLayout::buildWidgets()
{
    buildDeviceRow();
    buildHeader();

    tabWidgetMessages = named(new QTabWidget, QStringLiteral("tabWidgetMessages"));
    labelCategoriesLeftOut = named(new QLabel, QStringLiteral("labelCategoriesLeftOut"));
    tabWidgetMessages->setCornerWidget(labelCategoriesLeftOut);
    labelCategoriesLeftOut->hide();

    layoutMain->addLayout(layoutHeader);
    layoutMain->addSpacing(4);
    layoutMain->addWidget(tabWidgetMessages);
    layoutMain->addStretch(1);

    buildOutput();
    layoutMain->setContentsMargins(5, 20, 20, 20);
}

void BuilderLayout::buildDeviceRow()
{
    // Device row; the revision selector is filled but never shown.
    layoutDevice = named(new QHBoxLayout, QStringLiteral("layoutDevice"));
    labelApplication = named(new QLabel(QStringLiteral("Device : ")), QStringLiteral("labelApplication"));
    setFixedWidthAtLeast(labelApplication, 60);
    comboBoxApplication = named(new QComboBox, QStringLiteral("comboBoxApplication"));
    // At least 100 wide, wider for a long product name, which would be cut.
    comboBoxApplication->setMinimumWidth(100);
    comboBoxApplication->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    comboBoxApplication->setToolTip(
        QStringLiteral("Select the Application who wish to open the according profile."));
    labelProfile = named(new QLabel(QStringLiteral("Profile revision : ")), QStringLiteral("labelProfile"));
    setFixedWidthAtLeast(labelProfile, 80);
    comboBoxProfile = named(new QComboBox, QStringLiteral("comboBoxProfile"));
    comboBoxProfile->setFixedWidth(100);
    comboBoxProfile->setToolTip(QStringLiteral("Select the guideline revision you wish to use"));
    layoutDevice->addStretch(1);
    layoutDevice->addWidget(labelApplication);
    layoutDevice->addWidget(comboBoxApplication);
    layoutDevice->addStretch(1);
    layoutDevice->addSpacing(40);
    layoutDevice->addWidget(labelProfile);
    layoutDevice->addWidget(comboBoxProfile);
    layoutDevice->addStretch(1);
    labelProfile->hide();
    comboBoxProfile->hide();

    comboBoxApplication->addItems(productNames(profiles));
    comboBoxApplication->setCurrentIndex(0);

    layoutMain->addLayout(layoutDevice);
    layoutMain->addSpacing(40);
}

void BuilderLayout::buildHeader()
{
    // Header row: addressing, node IDs, node type and acknowledge request.
    layoutHeader = named(new QHBoxLayout, QStringLiteral("layoutHeader"));

    groupBoxAddressing = named(new QGroupBox(QStringLiteral("Addressing mode")),
                               QStringLiteral("groupBoxAddressing"));
    layoutAddressing = named(new QVBoxLayout(groupBoxAddressing), QStringLiteral("layoutAddressing"));
    radioButtonP2P = named(new QRadioButton(QStringLiteral("Point to point")), QStringLiteral("radioButtonP2P"));
    radioButtonP2P->setChecked(true);
    radioButtonP2P->setToolTip(QStringLiteral("Use to adress only ONE receiver by his Node ID"));
    radioButtonGroup = named(new QRadioButton(QStringLiteral("Group")), QStringLiteral("radioButtonGroup"));
    radioButtonGroup->setToolTip(
        QStringLiteral("Use to adress one GROUP of receivers according to their Group Index"));
    radioButtonBroadcast = named(new QRadioButton(QStringLiteral("Broadcast")),
                                 QStringLiteral("radioButtonBroadcast"));
    radioButtonBroadcast->setToolTip(QStringLiteral("Use to adress ALL receivers."));
    layoutAddressing->addWidget(radioButtonP2P);
    layoutAddressing->addWidget(radioButtonGroup);
    layoutAddressing->addWidget(radioButtonBroadcast);

    buildNodeIdBox();

    layoutNodeTypeAck = named(new QVBoxLayout, QStringLiteral("layoutNodeTypeAck"));
    groupBoxNodeType = named(new QGroupBox(QStringLiteral("NodeType")), QStringLiteral("groupBoxNodeType"));
    layoutNodeType = named(new QGridLayout(groupBoxNodeType), QStringLiteral("layoutNodeType"));
    labelNodeType = named(new QLabel(QStringLiteral("-")), QStringLiteral("labelNodeType"));
    labelNodeType->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    labelNodeType->setToolTip(QStringLiteral("Motor NodeType decimal value"));
    layoutNodeType->addWidget(labelNodeType, 0, 0);
    checkBoxAcknowledge = named(new QCheckBox(QStringLiteral("Acknowledge request")),
                                QStringLiteral("checkBoxAcknowledge"));
    checkBoxAcknowledge->setChecked(false);
    checkBoxAcknowledge->setToolTip(
        QStringLiteral("If checked, an aknowledgement will be asked to the receiver."));
    layoutNodeTypeAck->addWidget(groupBoxNodeType);
    layoutNodeTypeAck->addStretch(1);
    layoutNodeTypeAck->addWidget(checkBoxAcknowledge);
    layoutNodeTypeAck->addStretch(1);

    layoutHeader->addWidget(groupBoxAddressing);
    layoutHeader->addWidget(groupBoxNodeID);
    layoutHeader->addLayout(layoutNodeTypeAck);
}

void BuilderLayout::buildNodeIdBox()
{
    groupBoxNodeID = named(new QGroupBox(QStringLiteral("NodeID")), QStringLiteral("groupBoxNodeID"));
    layoutNodeID = named(new QGridLayout(groupBoxNodeID), QStringLiteral("layoutNodeID"));
    labelMasterNodeID = named(new QLabel(QStringLiteral("Source")), QStringLiteral("labelMasterNodeID"));
    labelSlaveNodeID = named(new QLabel(QStringLiteral("Destination")), QStringLiteral("labelSlaveNodeID"));
    // Both as wide as "Destination" needs, which also holds "GroupID" when
    // group addressing relabels the first field.
    setFixedWidthAtLeast(labelSlaveNodeID, 60);
    labelMasterNodeID->setFixedWidth(labelSlaveNodeID->minimumWidth());
    LineEditMasterNodeID = named(new QLineEdit(QStringLiteral("000001")), QStringLiteral("LineEditMasterNodeID"));
    LineEditSlaveNodeID = named(new QLineEdit(QStringLiteral("000002")), QStringLiteral("LineEditSlaveNodeID"));
    auto *nodeIdValidator = new NodeIdValidator(groupBoxNodeID);
    for (QLineEdit *field : {LineEditMasterNodeID, LineEditSlaveNodeID}) {
        setNodeIdWidth(field, 54);
        field->setAlignment(Qt::AlignCenter);
        field->setValidator(nodeIdValidator);
    }
    LineEditMasterNodeID->setToolTip(QStringLiteral(
        "Node ID of Sender.\nNode ID should be under the following form:\n"
        "XXXXXX, where 'XX' are hexadecimal bytes.\n\n"
        "If addressing mode is set to 'Group' this area is used to set the Group Index."));
    LineEditSlaveNodeID->setToolTip(QStringLiteral(
        "Node ID of Receiver.\nNode ID should be under the following form:\n"
        "XXXXXX, where 'XX' are hexadecimal bytes."));
    layoutNodeID->setHorizontalSpacing(3); // keeps the header within the 740-pixel window
    layoutNodeID->addWidget(labelMasterNodeID, 0, 0);
    layoutNodeID->addWidget(LineEditMasterNodeID, 0, 1);
    layoutNodeID->addWidget(labelSlaveNodeID, 1, 0);
    layoutNodeID->addWidget(LineEditSlaveNodeID, 1, 1);
}

void BuilderLayout::buildOutput()
{
    // Output: format string, formatted frame and Copy.
    layoutOutput = named(new QGridLayout, QStringLiteral("layoutOutput"));
    labelFrameFormat = named(new QLabel(QStringLiteral("Format String:")), QStringLiteral("labelFrameFormat"));
    LineEditFrameFormat = named(new QLineEdit(QStringLiteral("## ")), QStringLiteral("LineEditFrameFormat"));
    LineEditFrameFormat->setFixedWidth(120);
    LineEditFrameFormat->setToolTip(kFormatToolTip);
    acceptedFrameFormat = LineEditFrameFormat->text();
    labelOutputFrame = named(new QLabel(QStringLiteral("Output frame:")), QStringLiteral("labelOutputFrame"));
    LineEditOutputFrame = named(new QLineEdit, QStringLiteral("LineEditOutputFrame"));
    LineEditOutputFrame->setReadOnly(true);
    buttonCopyFrame = named(new QPushButton(QStringLiteral("Copy")), QStringLiteral("buttonCopyFrame"));
    setFixedWidthAtLeast(buttonCopyFrame, 40);
    buttonCopyFrame->setToolTip(QStringLiteral("Copy output frame to clipboard"));
    layoutOutput->addWidget(labelFrameFormat, 0, 0);
    layoutOutput->addWidget(LineEditFrameFormat, 0, 1);
    layoutOutput->addWidget(labelOutputFrame, 1, 0);
    layoutOutput->addWidget(LineEditOutputFrame, 1, 1);
    layoutOutput->addWidget(buttonCopyFrame, 1, 2);
    // Only while a bus port is open; otherwise the page looks as it always did.
    buttonSendFrame = named(new QPushButton(QStringLiteral("Send")), QStringLiteral("buttonSendFrame"));
    buttonSendFrame->setFixedWidth(40);
    buttonSendFrame->setToolTip(QStringLiteral("Send output frame on the bus"));
    buttonSendFrame->setVisible(false);
    layoutOutput->addWidget(buttonSendFrame, 1, 3);
    labelSendNote = named(new QLabel, QStringLiteral("labelSendNote"));
    labelSendNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    labelSendNote->setVisible(false);
    layoutOutput->addWidget(labelSendNote, 2, 1, 1, 3);
    timerSendNote = named(new QTimer(this), QStringLiteral("timerSendNote"));
    timerSendNote->setSingleShot(true);
    connect(timerSendNote, &QTimer::timeout, labelSendNote, &QLabel::clear);
    layoutMain->addLayout(layoutOutput);
}

void BuilderLayout::makeConnections()
{
    connect(LineEditFrameFormat, &QLineEdit::textEdited, this, &BuilderLayout::on_LineEditFrameFormat_Edited);
    connect(radioButtonP2P, &QRadioButton::toggled, this, &BuilderLayout::on_radioButtonP2P_Toggled);
    connect(radioButtonGroup, &QRadioButton::toggled, this, &BuilderLayout::on_radioButtonGroup_Toggled);
    connect(radioButtonBroadcast, &QRadioButton::toggled, this, &BuilderLayout::on_radioButtonBroadcast_Toggled);
    connect(LineEditMasterNodeID, &QLineEdit::textEdited, this, &BuilderLayout::on_LineEditMasterNodeID_Edited);
    connect(LineEditSlaveNodeID, &QLineEdit::textEdited, this, &BuilderLayout::on_LineEditSlaveNodeID_Edited);
    connectCurrentIndexText(comboBoxApplication, this, &BuilderLayout::on_comboBoxApplication_changed);
    connectCurrentIndexText(comboBoxProfile, this, &BuilderLayout::on_comboBoxProfile_changed);
    connect(checkBoxAcknowledge, &QCheckBox::stateChanged, this, &BuilderLayout::on_checkBoxAcknowledge_changed);
    connect(tabWidgetMessages, &QTabWidget::currentChanged, this, &BuilderLayout::on_tabWidgetMessages_changed);
    connect(buttonCopyFrame, &QPushButton::clicked, this, &BuilderLayout::on_buttonCopyFrame_clicked);
    connect(buttonSendFrame, &QPushButton::clicked, this, &BuilderLayout::on_buttonSendFrame_clicked);
}
