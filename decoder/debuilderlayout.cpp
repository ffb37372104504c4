#include "decoder/debuilderlayout.h"

#include "widgets/batchlayoutfill.h"
#include "widgets/pagestyle.h"
#include "widgets/fittedwidth.h"

#include "catalogue/catalogue.h"
#include "catalogue/shownlimits.h"
#include "codec/framereport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

// Read-only fields are disabled but keep black text so they stay legible.
static void makeReadOnly(QWidget *widget)
{
    widget->setEnabled(false);
    widget->setStyleSheet(kBlack);
}

// The marker where rows or bits were left out (see catalogue/shownlimits.h).
static QLabel *leftOutLabel(const QString &text, const QString &name)
{
    auto *label = new QLabel(text);
    label->setObjectName(name);
    return label;
}

DebuilderLayout::DebuilderLayout(QObject *parent)
    : QObject(parent), layoutMain(new QVBoxLayout),
      catalogue(new DecodeCatalogue(QDir::currentPath() + QLatin1String("/xml")))
{
    layoutMain->setObjectName(QStringLiteral("layoutMain"));
    // Read at the first decode; then every file is checked before each one.
    catalogue->setRecheckIntervalMs(0);
    buildPage();
    connect(LineEditInputFrame, &QLineEdit::textEdited, this, &DebuilderLayout::on_LineEditInputFrame_Edited);
}

DebuilderLayout::~DebuilderLayout() = default;

QVBoxLayout *DebuilderLayout::getLayout()
{
    return layoutMain;
}

void DebuilderLayout::buildPage()
{
    layoutMain->setContentsMargins(5, 20, 20, 20);

    layoutInputFrame = new QHBoxLayout;
    layoutInputFrame->setObjectName(QStringLiteral("layoutInputFrame"));
    labelInputFrame = new QLabel(QStringLiteral("Frame to decode :"));
    labelInputFrame->setObjectName(QStringLiteral("labelInputFrame"));
    LineEditInputFrame = new QLineEdit;
    LineEditInputFrame->setObjectName(QStringLiteral("LineEditInputFrame"));
    LineEditInputFrame->setToolTip(QStringLiteral("Paste frame to decode here."));
    // Anything may be pasted; the decoder takes the hexadecimal digits out.
    LineEditInputFrame->setMaxLength(std::numeric_limits<int>::max());
    layoutInputFrame->addWidget(labelInputFrame);
    layoutInputFrame->addWidget(LineEditInputFrame);
    layoutMain->addLayout(layoutInputFrame);

    layoutMain->addSpacing(40);

    layoutDevice = new QHBoxLayout;
    layoutDevice->setObjectName(QStringLiteral("layoutDevice"));
    labelApplication = new QLabel(QStringLiteral("Device : "));
    labelApplication->setObjectName(QStringLiteral("labelApplication"));
    setFixedWidthAtLeast(labelApplication, 60);
    LineEditApplication = new QLineEdit;
    LineEditApplication->setObjectName(QStringLiteral("LineEditApplication"));
    LineEditApplication->setToolTip(QStringLiteral("Application corresponding to the decoded message."));
    makeReadOnly(LineEditApplication);
    labelProfile = new QLabel(QStringLiteral("Profile revision : "));
    labelProfile->setObjectName(QStringLiteral("labelProfile"));
    setFixedWidthAtLeast(labelProfile, 80);
    comboBoxProfile = new QComboBox;
    comboBoxProfile->setObjectName(QStringLiteral("comboBoxProfile"));
    comboBoxProfile->setFixedWidth(100);
    comboBoxProfile->setToolTip(QStringLiteral("Select the guideline revision you wish to use"));
    layoutDevice->addStretch(1);
    layoutDevice->addWidget(labelApplication);
    layoutDevice->addWidget(LineEditApplication);
    layoutDevice->addStretch();
    layoutDevice->addSpacing(40);
    layoutDevice->addWidget(labelProfile);
    layoutDevice->addWidget(comboBoxProfile);
    layoutDevice->addStretch();
    // The first revision in code-unit order is always used; the choice is not offered.
    labelProfile->hide();
    comboBoxProfile->hide();
    layoutMain->addLayout(layoutDevice);

    layoutMain->addSpacing(40);

    layoutDecoded = new QVBoxLayout;
    layoutDecoded->setObjectName(QStringLiteral("layoutDecoded"));
    layoutMain->addLayout(layoutDecoded);

    layoutMain->addStretch(1);

    LineEditStatus = new QLineEdit;
    LineEditStatus->setObjectName(QStringLiteral("LineEditStatus"));
    makeReadOnly(LineEditStatus);
    layoutMain->addWidget(LineEditStatus);
}

// The device's revisions, the one decoding first (the combo box is not shown).
void DebuilderLayout::fillRevisions()
{
    comboBoxProfile->clear();
    comboBoxProfile->addItems(revisionsOf(catalogue->profiles(), LineEditApplication->text()));
    if (comboBoxProfile->count() > 0)
        comboBoxProfile->setCurrentIndex(0);
}

void DebuilderLayout::decodeFrameText(const QString &text)
{
    LineEditInputFrame->setText(text);
    on_LineEditInputFrame_Edited(text);
}

void DebuilderLayout::on_LineEditInputFrame_Edited(const QString &strNewText)
{
    const BatchLayoutFill fill(layoutMain);
    clearDecoded();
    if (strNewText.isEmpty())
        return;
    const FrameReport report = catalogue->decodeText(strNewText);
    // A refused text, or a frame of no known product, shows only its reason;
    // the device of the last decoded frame stays.
    if (!report.productFound) {
        showError(report.status);
        return;
    }
    LineEditApplication->setText(report.device);
    fillRevisions();
    showHeader(report.frame.fields);
    showMessage(report.message);
    if (report.error)
        showError(report.status);
    else
        showStatus(report.status);
}

void DebuilderLayout::showStatus(const QString &text)
{
    LineEditStatus->setText(text);
    LineEditStatus->setStyleSheet(kBlack);
    LineEditStatus->setCursorPosition(0);
}

void DebuilderLayout::showError(const QString &text)
{
    LineEditStatus->setText(text);
    LineEditStatus->setStyleSheet(kRed);
    LineEditStatus->setCursorPosition(0);
}

void DebuilderLayout::showHeader(const FrameFields &fields)
{
    layoutHeader = new QHBoxLayout;
    layoutHeader->setObjectName(QStringLiteral("layoutHeader"));
    buildAddressingBox();
    buildNodeIdBox();
    buildNodeTypeAndAck();
    layoutHeader->addWidget(groupBoxAddressing);
    layoutHeader->addWidget(groupBoxNodeID);
    layoutHeader->addLayout(layoutNodeTypeAck);
    layoutDecoded->addLayout(layoutHeader);
    layoutDecoded->addSpacing(10);

    switch (addressingModeOf(fields.destinationAddress)) {
    case AddressingMode::Group:
        radioButtonGroup->setChecked(true);
        break;
    case AddressingMode::Broadcast:
        radioButtonBroadcast->setChecked(true);
        break;
    case AddressingMode::PointToPoint:
        radioButtonP2P->setChecked(true);
        break;
    }
    LineEditSource->setText(nodeIdText(fields.sourceAddress));
    LineEditDestination->setText(nodeIdText(fields.destinationAddress));
    checkBoxAcknowledge->setChecked(fields.ackRequested);
    labelNodeType->setText(QString::number(fields.sourceNodeType));
}

void DebuilderLayout::buildAddressingBox()
{
    groupBoxAddressing = new QGroupBox(QStringLiteral("Addressing mode"));
    groupBoxAddressing->setObjectName(QStringLiteral("groupBoxAddressing"));
    layoutAddressing = new QVBoxLayout;
    layoutAddressing->setObjectName(QStringLiteral("layoutAddressing"));
    radioButtonP2P = new QRadioButton(QStringLiteral("Point to point"));
    radioButtonP2P->setObjectName(QStringLiteral("radioButtonP2P"));
    radioButtonP2P->setToolTip(QStringLiteral("Used to adress only ONE receiver by his Node ID"));
    radioButtonGroup = new QRadioButton(QStringLiteral("Group"));
    radioButtonGroup->setObjectName(QStringLiteral("radioButtonGroup"));
    radioButtonGroup->setToolTip(
        QStringLiteral("Used to adress one GROUP of receivers according to their Group Index"));
    radioButtonBroadcast = new QRadioButton(QStringLiteral("Broadcast"));
    radioButtonBroadcast->setObjectName(QStringLiteral("radioButtonBroadcast"));
    radioButtonBroadcast->setToolTip(QStringLiteral("Used to adress ALL receivers."));
    layoutAddressing->addWidget(radioButtonP2P);
    layoutAddressing->addWidget(radioButtonGroup);
    layoutAddressing->addWidget(radioButtonBroadcast);
    groupBoxAddressing->setLayout(layoutAddressing);
    makeReadOnly(groupBoxAddressing);
}

void DebuilderLayout::buildNodeIdBox()
{
    groupBoxNodeID = new QGroupBox(QStringLiteral("NodeID"));
    groupBoxNodeID->setObjectName(QStringLiteral("groupBoxNodeID"));
    layoutNodeID = new QGridLayout;
    layoutNodeID->setObjectName(QStringLiteral("layoutNodeID"));
    labelSource = new QLabel(QStringLiteral("Source"));
    labelSource->setObjectName(QStringLiteral("labelSource"));
    setFixedWidthAtLeast(labelSource, 60);
    labelDestination = new QLabel(QStringLiteral("Destination"));
    labelDestination->setObjectName(QStringLiteral("labelDestination"));
    setFixedWidthAtLeast(labelDestination, 60);
    LineEditSource = new QLineEdit;
    LineEditSource->setObjectName(QStringLiteral("LineEditSource"));
    LineEditSource->setToolTip(QStringLiteral(
        "Node ID of Sender.\nNode ID is under the following form:\nXXXXXX, where 'XX' are "
        "hexadecimal bytes.\n\nIf addressing mode is set to 'Group' this value represents the "
        "Group Index."));
    LineEditDestination = new QLineEdit;
    LineEditDestination->setObjectName(QStringLiteral("LineEditDestination"));
    LineEditDestination->setToolTip(QStringLiteral(
        "Node ID of Receiver.\nNode ID is under the following form:\nXXXXXX, where 'XX' are "
        "hexadecimal bytes."));
    for (QLineEdit *nodeId : {LineEditSource, LineEditDestination}) {
        nodeId->setAlignment(Qt::AlignCenter);
        makeReadOnly(nodeId);
        setNodeIdWidth(nodeId, 54);
    }
    layoutNodeID->setHorizontalSpacing(3); // as on the Encode page: keeps the header within the window
    layoutNodeID->addWidget(labelSource, 0, 0);
    layoutNodeID->addWidget(LineEditSource, 0, 1);
    layoutNodeID->addWidget(labelDestination, 1, 0);
    layoutNodeID->addWidget(LineEditDestination, 1, 1);
    groupBoxNodeID->setLayout(layoutNodeID);
}

void DebuilderLayout::buildNodeTypeAndAck()
{
    layoutNodeTypeAck = new QVBoxLayout;
    layoutNodeTypeAck->setObjectName(QStringLiteral("layoutNodeTypeAck"));
    groupBoxNodeType = new QGroupBox(QStringLiteral("NodeType"));
    groupBoxNodeType->setObjectName(QStringLiteral("groupBoxNodeType"));
    layoutNodeType = new QGridLayout;
    layoutNodeType->setObjectName(QStringLiteral("layoutNodeType"));
    labelNodeType = new QLabel;
    labelNodeType->setObjectName(QStringLiteral("labelNodeType"));
    labelNodeType->setAlignment(Qt::AlignCenter);
    labelNodeType->setToolTip(QStringLiteral("Motor NodeType decimal value"));
    layoutNodeType->addWidget(labelNodeType, 0, 0);
    groupBoxNodeType->setLayout(layoutNodeType);
    checkBoxAcknowledge = new QCheckBox(QStringLiteral("Acknowledge request"));
    checkBoxAcknowledge->setObjectName(QStringLiteral("checkBoxAcknowledge"));
    checkBoxAcknowledge->setToolTip(QStringLiteral("If checked, an aknowledgement was asked to the receiver."));
    makeReadOnly(checkBoxAcknowledge);
    layoutNodeTypeAck->addWidget(groupBoxNodeType);
    layoutNodeTypeAck->addStretch();
    layoutNodeTypeAck->addWidget(checkBoxAcknowledge);
    layoutNodeTypeAck->addStretch();
}

void DebuilderLayout::showMessage(const MessageDecoding &decoding)
{
    layoutMessageSection = new QVBoxLayout;
    layoutMessageSection->setObjectName(QStringLiteral("layoutMessageSection"));
    layoutMessage = new QHBoxLayout;
    layoutMessage->setObjectName(QStringLiteral("layoutMessage"));
    labelMessage = new QLabel(QStringLiteral("Message :"));
    labelMessage->setObjectName(QStringLiteral("labelMessage"));
    LineEditMessage = new QLineEdit;
    LineEditMessage->setObjectName(QStringLiteral("LineEditMessage"));
    makeReadOnly(LineEditMessage);
    layoutMessage->addWidget(labelMessage);
    layoutMessage->addWidget(LineEditMessage);
    layoutMessageSection->addLayout(layoutMessage);
    layoutMessageSection->addSpacing(10);
    layoutParameters = new QVBoxLayout;
    layoutParameters->setObjectName(QStringLiteral("layoutParameters"));
    layoutMessageSection->addLayout(layoutParameters);
    layoutDecoded->addLayout(layoutMessageSection);

    LineEditMessage->setText(decoding.messageName);
    LineEditMessage->setToolTip(decoding.messageToolTip);
    LineEditMessage->setCursorPosition(0);
    showParameters(decoding);
}

void DebuilderLayout::showParameters(const MessageDecoding &decoding)
{
    // The rows shown are exact; what lies beyond the caps is counted instead.
    const int shownRows = std::min(int(decoding.rows.size()), kMaxShownParameters);
    for (int r = 0; r < shownRows; ++r) {
        const DecodedRow &row = decoding.rows.at(r);
        auto *layoutRow = new QHBoxLayout;
        layoutRow->setObjectName(QStringLiteral("layoutParameterRow"));
        auto *label = new QLabel(row.label);
        label->setObjectName(QStringLiteral("labelParameter"));
        label->setMinimumHeight(20);
        label->setMinimumWidth(150);
        // A bit column starts level with its label; a field sits beside it.
        layoutRow->addWidget(label, 0, row.kind == DecodedRow::Bits ? Qt::AlignTop : Qt::AlignVCenter);
        if (row.kind == DecodedRow::Value) {
            auto *value = new QLineEdit(row.value);
            value->setObjectName(QStringLiteral("LineEditParameterValue"));
            value->setToolTip(row.toolTip);
            value->setCursorPosition(0);
            makeReadOnly(value);
            layoutRow->addWidget(value, 1);
        } else if (row.kind == DecodedRow::Bits) {
            auto *column = new QVBoxLayout;
            column->setObjectName(QStringLiteral("layoutParameterBits"));
            const int shownBits = std::min(int(row.bits.size()), kMaxShownBits);
            for (int b = 0; b < shownBits; ++b) {
                const DecodedBit &bit = row.bits.at(b);
                auto *box = new QCheckBox(bit.label);
                box->setObjectName(QStringLiteral("checkBoxParameterBit"));
                box->setMinimumHeight(14);
                box->setChecked(bit.checked);
                makeReadOnly(box);
                column->addWidget(box);
            }
            if (shownBits < row.bits.size())
                column->addWidget(leftOutLabel(bitsLeftOutText(int(row.bits.size()) - shownBits),
                                               QStringLiteral("labelBitsLeftOut")));
            layoutRow->addLayout(column, 1);
        } else {
            layoutRow->addStretch(1);
        }
        layoutParameters->addLayout(layoutRow);
    }
    if (shownRows < decoding.rows.size())
        layoutParameters->addWidget(leftOutLabel(parametersLeftOutText(int(decoding.rows.size()) - shownRows),
                                                 QStringLiteral("labelParametersLeftOut")));
}

void DebuilderLayout::clearDecoded()
{
    emptyLayout(layoutDecoded);
    // Everything made by the last decode is gone now.
    layoutMessage = nullptr;
    layoutParameters = nullptr;
    layoutNodeTypeAck = nullptr;
    layoutHeader = nullptr;
    layoutAddressing = nullptr;
    layoutMessageSection = nullptr;
    groupBoxNodeID = nullptr;
    groupBoxNodeType = nullptr;
    groupBoxAddressing = nullptr;
    checkBoxAcknowledge = nullptr;
    labelSource = nullptr;
    labelDestination = nullptr;
    LineEditSource = nullptr;
    LineEditDestination = nullptr;
    layoutNodeID = nullptr;
    radioButtonP2P = nullptr;
    radioButtonGroup = nullptr;
    radioButtonBroadcast = nullptr;
    layoutNodeType = nullptr;
    labelNodeType = nullptr;
    labelMessage = nullptr;
    LineEditMessage = nullptr;
}

void DebuilderLayout::emptyLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            layout->removeWidget(widget);
            delete widget;
        } else if (QLayout *nested = item->layout()) {
            emptyLayout(nested);
        }
        delete item;
    }
}
