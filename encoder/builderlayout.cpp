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

QString indexedName(const char *base, int index)
{
    return QLatin1String(base) + QLatin1Char('_') + QString::number(index);
}

} // namespace

BuilderLayout::BuilderLayout(QObject *parent) : QObject(parent), layoutMain(new QVBoxLayout)
{
    layoutMain->setObjectName(QStringLiteral("layoutMain"));
    updatingTabs = false;
    changingApplication = false;
    frameHexText.clear();

    profiles = loadProfiles();

    buildWidgets();

    fillProfileCombo();
    selectProfile();
    showNodeType();
    rebuildMessageTabs();

    // Connected last, so that filling the selectors above calls no slot.
    makeConnections();
}

BuilderLayout::~BuilderLayout() = default;

QVBoxLayout *BuilderLayout::getLayout()
{
    return layoutMain;
}

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

void BuilderLayout::fillProfileCombo()
{
    comboBoxProfile->clear();
    for (const QString &revision : revisionsOf(profiles, comboBoxApplication->currentText()))
        comboBoxProfile->addItem(revision);
    comboBoxProfile->setCurrentIndex(0);
}

void BuilderLayout::selectProfile()
{
    selectedProfile = findProfile(profiles, comboBoxApplication->currentText(),
                                  comboBoxProfile->currentText());
}

void BuilderLayout::showNodeType()
{
    labelNodeType->setText(QString::number(selectedProfile.nodeType));
}

void BuilderLayout::rebuildMessageTabs()
{
    updatingTabs = true;
    clearMessageTabs();

    profileMessages = messagesOfProfile(selectedProfile, true);
    shownMessages.clear();

    // The tab of each category met so far, -1 for one beyond the tabs shown.
    QHash<QString, int> tabOfCategory;
    int categoriesLeftOut = 0;
    for (auto it = profileMessages.cbegin(); it != profileMessages.cend(); ++it) {
        const MessageDefinition &message = it.value();
        if (message.category.isEmpty())
            continue;
        shownMessages.insert(message.name, message);
        auto known = tabOfCategory.constFind(message.category);
        if (known == tabOfCategory.constEnd() && listCategories.size() == kMaxShownCategories) {
            known = tabOfCategory.insert(message.category, -1);
            ++categoriesLeftOut;
        }
        if (known == tabOfCategory.constEnd())
            known = tabOfCategory.insert(message.category, addCategoryTab(message.category));
        if (known.value() < 0)
            continue;
        QComboBox *selector = listComboBoxMsg.at(known.value());
        selector->addItem(message.name);
        selector->setMinimumHeight(20);
    }

    labelCategoriesLeftOut->setText(categoriesLeftOutText(categoriesLeftOut));
    labelCategoriesLeftOut->setVisible(categoriesLeftOut > 0);

    for (QComboBox *selector : qAsConst(listComboBoxMsg))
        selector->setToolTip(shownMessages.value(selector->currentText()).description);

    // The tab in sight gets its rows now, any other as it is first shown:
    // a device of many categories opens at the cost of one.
    createParameterEditors(tabWidgetMessages->currentIndex());
    for (QComboBox *selector : qAsConst(listComboBoxMsg))
        connectCurrentIndexText(selector, this, &BuilderLayout::on_comboBoxMsg_changed);

    updatingTabs = false;

    // Without a tab there is no message: the output is emptied rather than
    // left showing the frame of the previous device.
    selectCurrentMessage();
    rebuildOutput();
}

void BuilderLayout::clearMessageTabs()
{
    for (QVBoxLayout *area : qAsConst(listTabLayouts))
        clearLayout(area, true);
    while (tabWidgetMessages->count() > 0) {
        QWidget *page = tabWidgetMessages->widget(0);
        tabWidgetMessages->removeTab(0);
        delete page;
    }
    listTabPages.clear();
    listTabLayouts.clear();
    listCategories.clear();
    listSelectorRows.clear();
    listComboBoxMsg.clear();
    listTabRows.clear();
    listTabBuilt.clear();
}

int BuilderLayout::addCategoryTab(const QString &category)
{
    const int tab = int(listCategories.size());
    listCategories.append(category);
    auto *page = named(new QWidget, indexedName("tabPage", tab));
    auto *area = named(new QVBoxLayout(page), indexedName("layoutTab", tab));
    listTabPages.append(page);
    listTabLayouts.append(area);
    listTabRows.append(QList<ParameterRow>());
    listTabBuilt.append(false);
    tabWidgetMessages->addTab(page, category);
    auto *selector = named(new QComboBox, indexedName("comboBoxMsg", tab));
    auto *row = named(new QHBoxLayout, indexedName("layoutSelectorRow", tab));
    row->addWidget(selector);
    row->addStretch(1);
    listComboBoxMsg.append(selector);
    listSelectorRows.append(row);
    area->addLayout(row);
    return tab;
}

void BuilderLayout::selectCurrentMessage()
{
    const int tab = tabWidgetMessages->currentIndex();
    if (tab < 0 || tab >= listComboBoxMsg.size()) {
        currentMessage = MessageDefinition();
        return;
    }
    QComboBox *selector = listComboBoxMsg.at(tab);
    currentMessage = shownMessages.value(selector->currentText());
    selector->setToolTip(currentMessage.description);
}

void BuilderLayout::changeMessage()
{
    selectCurrentMessage();
    createParameterEditors(tabWidgetMessages->currentIndex());
    rebuildOutput();
}

void BuilderLayout::checkAddressingMode()
{
    for (QRadioButton *button : {radioButtonP2P, radioButtonGroup, radioButtonBroadcast})
        button->setStyleSheet(kBlack);
    QRadioButton *checked = nullptr;
    if (radioButtonBroadcast->isChecked())
        checked = radioButtonBroadcast;
    else if (radioButtonGroup->isChecked())
        checked = radioButtonGroup;
    else if (radioButtonP2P->isChecked())
        checked = radioButtonP2P;
    if (checked && !encodeResult.addressing.valid)
        checked->setStyleSheet(kRed);
}

EncodeRequest BuilderLayout::makeEncodeRequest() const
{
    EncodeRequest request;
    request.message = currentMessage;
    request.nodeType = quint8(selectedProfile.nodeType);
    request.ack = checkBoxAcknowledge->isChecked();
    if (radioButtonBroadcast->isChecked()) {
        request.addressing = Addressing::Broadcast;
    } else if (radioButtonGroup->isChecked()) {
        request.addressing = Addressing::Group;
        request.group = LineEditMasterNodeID->text();
    }
    request.source = LineEditMasterNodeID->text();
    request.destination = LineEditSlaveNodeID->text();
    request.parameters = parameterRequests();
    return request;
}
void BuilderLayout::buildFrame()
{
    encodeResult = encodeRequest(makeEncodeRequest());
    if (tabWidgetMessages->currentIndex() < 0) {
        dataBytes.clear();
        frameBytes.clear();
        frameHexText.clear();
        return;
    }
    dataBytes = encodeResult.data;
    frameBytes = encodeResult.frame;
    frameHexText = frameToHexText(frameBytes);
}
void BuilderLayout::formatOutputFrame()
{
    const QString format = LineEditFrameFormat->text();
    LineEditOutputFrame->setText(
        formatOutputText(frameHexText, isValidFormat(format) ? format : acceptedFrameFormat));
    LineEditOutputFrame->setCursorPosition(0); // show the start of a long frame
    // More data than the length field can announce is no valid bus frame.
    LineEditOutputFrame->setStyleSheet(encodeResult.length.valid ? kBlack : kRed);
    updateSendButton();
}

void BuilderLayout::rebuildOutput()
{
    buildFrame();
    showResult();
    formatOutputFrame();
}

void BuilderLayout::colourField(QLineEdit *field, const FieldCheck &check)
{
    field->setStyleSheet(check.valid ? kBlack : kRed);
}

void BuilderLayout::on_LineEditFrameFormat_Edited(const QString &strNewText)
{
    if (!isValidFormat(strNewText)) {
        LineEditFrameFormat->setStyleSheet(kRed);
        updateSendButton();
        return;
    }
    LineEditFrameFormat->setStyleSheet(kBlack);
    acceptedFrameFormat = strNewText;
    formatOutputFrame();
}

void BuilderLayout::on_radioButtonP2P_Toggled(bool isChecked)
{
    if (!isChecked)
        return;
    labelMasterNodeID->setText(QStringLiteral("Source"));
    labelSlaveNodeID->setText(QStringLiteral("Destination"));
    LineEditSlaveNodeID->setEnabled(true);
    rebuildOutput();
    colourField(LineEditMasterNodeID, encodeResult.source);
    colourField(LineEditSlaveNodeID, encodeResult.destination);
}

void BuilderLayout::on_radioButtonGroup_Toggled(bool isChecked)
{
    if (!isChecked)
        return;
    labelMasterNodeID->setText(QStringLiteral("GroupID"));
    labelSlaveNodeID->setText(QString());
    LineEditSlaveNodeID->setText(nodeIdText(kGroupAddress));
    LineEditSlaveNodeID->setEnabled(false);
    LineEditSlaveNodeID->setStyleSheet(kBlack);
    rebuildOutput();
    colourField(LineEditMasterNodeID, encodeResult.source);
}

void BuilderLayout::on_radioButtonBroadcast_Toggled(bool isChecked)
{
    if (!isChecked)
        return;
    labelMasterNodeID->setText(QStringLiteral("Source"));
    labelSlaveNodeID->setText(QString());
    LineEditSlaveNodeID->setText(nodeIdText(kBroadcastAddress));
    LineEditSlaveNodeID->setEnabled(false);
    LineEditSlaveNodeID->setStyleSheet(kBlack);
    rebuildOutput();
    colourField(LineEditMasterNodeID, encodeResult.source);
}

void BuilderLayout::on_LineEditMasterNodeID_Edited(const QString &strNewText)
{
    Q_UNUSED(strNewText)
    rebuildOutput();
    colourField(LineEditMasterNodeID, encodeResult.source);
}

void BuilderLayout::on_LineEditSlaveNodeID_Edited(const QString &strNewText)
{
    Q_UNUSED(strNewText)
    rebuildOutput();
    colourField(LineEditSlaveNodeID, encodeResult.destination);
}

void BuilderLayout::on_comboBoxApplication_changed(const QString &strNewText)
{
    Q_UNUSED(strNewText)
    changingApplication = true;
    fillProfileCombo();
    selectProfile();
    showNodeType();
    rebuildMessageTabs();
    changingApplication = false;
}

void BuilderLayout::on_comboBoxProfile_changed(const QString &strNewText)
{
    Q_UNUSED(strNewText)
    if (changingApplication)
        return;
    selectProfile();
    showNodeType();
    rebuildMessageTabs();
}

void BuilderLayout::on_checkBoxAcknowledge_changed(int state)
{
    Q_UNUSED(state)
    rebuildOutput();
}

void BuilderLayout::on_comboBoxMsg_changed(const QString &newText)
{
    Q_UNUSED(newText)
    if (updatingTabs)
        return;
    changeMessage();
}

void BuilderLayout::on_tabWidgetMessages_changed(int state)
{
    Q_UNUSED(state)
    if (updatingTabs)
        return;
    const int tab = tabWidgetMessages->currentIndex();
    if (tab >= 0 && tab < listTabBuilt.size() && !listTabBuilt.at(tab))
        createParameterEditors(tab);
    selectCurrentMessage();
    rebuildOutput();
}

void BuilderLayout::on_buttonCopyFrame_clicked(bool checked)
{
    Q_UNUSED(checked)
    LineEditOutputFrame->selectAll();
    LineEditOutputFrame->copy();
    LineEditOutputFrame->setSelection(0, 0);
}

void BuilderLayout::setSendAvailable(bool available)
{
    buttonSendFrame->setVisible(available);
    // The note's row is there while sending is, so a note does not move the page.
    labelSendNote->setVisible(available);
    labelSendNote->clear();
    updateSendButton();
}

void BuilderLayout::showSendNote(const QString &text, bool error)
{
    labelSendNote->setText(text);
    labelSendNote->setToolTip(text);
    labelSendNote->setStyleSheet(error ? kRed : kBlack);
    timerSendNote->start(error ? 8000 : 3000);
}

void BuilderLayout::updateSendButton()
{
    if (!buttonSendFrame || buttonSendFrame->isHidden())
        return;
    // While the format is red the output still shows the last good one.
    buttonSendFrame->setEnabled(!frameBytes.isEmpty() && encodeResult.valid
                                && isValidFormat(LineEditFrameFormat->text()));
}
void BuilderLayout::on_buttonSendFrame_clicked(bool checked)
{
    Q_UNUSED(checked)
    emit sendFrameRequested(frameBytes);
}

