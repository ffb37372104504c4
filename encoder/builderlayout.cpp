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
