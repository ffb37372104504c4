#include "encoder/builderlayout.h"

#include "widgets/batchlayoutfill.h"
#include "widgets/comboboxtext.h"
#include "widgets/pagestyle.h"
#include "widgets/fittedwidth.h"

#include "catalogue/catalogue.h"
#include "catalogue/shownlimits.h"
#include "codec/frame.h"
#include "codec/outputformat.h"
#include "encoder/parametervalidators.h"
#include "encoder/qcheckboxoptional.h"
#include "encoder/qlineedithexa.h"

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
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QLatin1String kInteger("integer");
const QLatin1String kString("string");
const QLatin1String kBitfield("bitfield");

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

QWidget *widgetAt(QLayout *layout, int index)
{
    QLayoutItem *item = layout->itemAt(index);
    return item ? item->widget() : nullptr;
}

// Black when the field's own validator accepts its text, red otherwise.
void colourByValidator(QLineEdit *field)
{
    QString text = field->text();
    int pos = 0;
    const bool ok = field->validator()
        && field->validator()->validate(text, pos) == QValidator::Acceptable;
    field->setStyleSheet(ok ? kBlack : kRed);
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
    checkAddressingMode();

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
    auto *nodeIdValidator = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-F0-9a-f]{0,6}")), groupBoxNodeID);
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

    tabWidgetMessages = named(new QTabWidget, QStringLiteral("tabWidgetMessages"));
    labelCategoriesLeftOut = named(new QLabel, QStringLiteral("labelCategoriesLeftOut"));
    tabWidgetMessages->setCornerWidget(labelCategoriesLeftOut);
    labelCategoriesLeftOut->hide();

    layoutMain->addLayout(layoutHeader);
    layoutMain->addSpacing(4);
    layoutMain->addWidget(tabWidgetMessages);
    layoutMain->addStretch(1);

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

    layoutMain->setContentsMargins(5, 20, 20, 20);
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
        if (known == tabOfCategory.constEnd()) {
            const int tab = int(listCategories.size());
            known = tabOfCategory.insert(message.category, tab);
            listCategories.append(message.category);
            auto *page = named(new QWidget, indexedName("tabPage", tab));
            auto *area = named(new QVBoxLayout(page), indexedName("layoutTab", tab));
            listTabPages.append(page);
            listTabLayouts.append(area);
            tabWidgetMessages->addTab(page, message.category);
            auto *selector = named(new QComboBox, indexedName("comboBoxMsg", tab));
            auto *row = named(new QHBoxLayout, indexedName("layoutSelectorRow", tab));
            row->addWidget(selector);
            row->addStretch(1);
            listComboBoxMsg.append(selector);
            listSelectorRows.append(row);
            area->addLayout(row);
        }
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

    for (int tab = 0; tab < listComboBoxMsg.size(); ++tab) {
        createParameterEditors(tab);
        connectCurrentIndexText(listComboBoxMsg.at(tab), this, &BuilderLayout::on_comboBoxMsg_changed);
    }

    updatingTabs = false;

    // Without a tab there is no message: the output is emptied rather than
    // left showing the frame of the previous device.
    selectCurrentMessage();
    rebuildOutput();
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
    checkAddressingMode();
}

void BuilderLayout::checkAddressingMode()
{
    for (QRadioButton *button : {radioButtonP2P, radioButtonGroup, radioButtonBroadcast})
        button->setStyleSheet(kBlack);
    QRadioButton *checked = nullptr;
    QString keyword;
    if (radioButtonBroadcast->isChecked()) {
        checked = radioButtonBroadcast;
        keyword = QStringLiteral("BROADCAST");
    } else if (radioButtonGroup->isChecked()) {
        checked = radioButtonGroup;
        keyword = QStringLiteral("GROUP");
    } else if (radioButtonP2P->isChecked()) {
        checked = radioButtonP2P;
        keyword = QStringLiteral("P2P");
    }
    if (checked && !messageAllowsAddressing(currentMessage, keyword))
        checked->setStyleSheet(kRed);
    updateSendButton();
}

void BuilderLayout::createParameterEditors(int tabIndex)
{
    if (tabIndex < 0 || tabIndex >= listTabLayouts.size())
        return;
    QVBoxLayout *area = listTabLayouts.at(tabIndex);
    const MessageDefinition message = shownMessages.value(listComboBoxMsg.at(tabIndex)->currentText());

    const BatchLayoutFill fill(area);
    clearLayout(area, false);

    // Rows beyond the cap are not built; readParameterInputs gives their
    // parameters the defaults.
    QList<QCheckBoxOptional *> optionalBoxes;
    int rows = 0;
    int leftOut = 0;
    for (int i = 0; i < message.parameters.size(); ++i) {
        const ParameterDefinition &parameter = message.parameters.at(i);
        if (parameter.type.isEmpty())
            continue;
        if (rows == kMaxShownParameters) {
            ++leftOut;
            continue;
        }
        ++rows;
        createEditorRow(area, parameter, i, optionalBoxes);
    }
    if (leftOut > 0)
        area->addWidget(named(new QLabel(parametersLeftOutText(leftOut)), QStringLiteral("labelParametersLeftOut")));
    area->addStretch(1);
}

void BuilderLayout::createEditorRow(QVBoxLayout *area, const ParameterDefinition &parameter,
                                    int index, QList<QCheckBoxOptional *> &optionalBoxes)
{
    auto *box = named(new QCheckBoxOptional, indexedName("paramOptional", index));
    box->setChecked(true);

    auto *label = named(new QLabel(parameter.name + QLatin1Char(':')), indexedName("paramLabel", index));
    label->setMinimumHeight(20);
    if (!parameter.display) {
        label->hide();
        box->hide();
    }
    if (!parameter.optional)
        box->hide();
    area->addWidget(label);

    const QString editorName = indexedName("paramEditor", index);
    const QString toolTip = editorToolTip(parameter);

    if (parameter.type == kBitfield) {
        auto *column = named(new QVBoxLayout, indexedName("paramColumn", index));
        box->setText(QStringLiteral("Disable optional parameter"));
        box->setOptionalLayout(column);
        column->addWidget(box);
        const int shownBits = std::min(int(parameter.values.size()), kMaxShownBits);
        for (int k = 0; k < shownBits; ++k) {
            auto *bit = new QCheckBox(bitText(parameter.values.at(k)));
            bit->setObjectName(QStringLiteral("paramBit_%1_%2").arg(index).arg(k));
            bit->setMinimumHeight(14);
            if (!parameter.display)
                bit->hide();
            connect(bit, &QCheckBox::stateChanged, this, &BuilderLayout::on_paramValueCheckBox_changed);
            column->addWidget(bit);
        }
        // Bits beyond the cap stay clear, as a fresh editor leaves them.
        if (shownBits < parameter.values.size()) {
            auto *marker = named(new QLabel(bitsLeftOutText(int(parameter.values.size()) - shownBits)),
                                 indexedName("paramBitsLeftOut", index));
            if (!parameter.display)
                marker->hide();
            column->addWidget(marker);
        }
        connect(box, &QCheckBox::stateChanged, this, &BuilderLayout::on_paramOptionalLayout_Changed);
        area->addLayout(column);
    } else {
        QWidget *editor = nullptr;
        if (parameter.type == kInteger && !parameter.values.isEmpty()) {
            auto *combo = new QComboBox;
            for (const ValueDefinition &value : parameter.values)
                combo->addItem(value.description);
            combo->setCurrentIndex(initialValueIndex(parameter));
            connectCurrentIndexText(combo, this, &BuilderLayout::on_paramValueCombobox_changed);
            editor = combo;
        } else if (parameter.type == kInteger && parameter.isHexa()) {
            auto *hexa = new QLineEditHexa;
            if (parameter.isSigned()) {
                hexa->setSigned(true);
                hexa->setByteSize(quint8(effectiveSize(parameter)));
                hexa->setMinSigned(parameter.minSigned);
                hexa->setMaxSigned(parameter.maxSigned);
            } else {
                hexa->setMinUnsigned(parameter.minUnsigned);
                hexa->setMaxUnsigned(parameter.maxUnsigned);
            }
            hexa->setText(initialEditorText(parameter));
            hexa->setValidator(new HexaValidator(parameter, hexa));
            colourByValidator(hexa); // digits only; the range is judged on edit
            connect(hexa, &QLineEdit::textEdited, this, &BuilderLayout::on_paramValueLineEditHexa_Edited);
            editor = hexa;
        } else if (parameter.type == kInteger || parameter.type == kString) {
            auto *field = new QLineEdit;
            if (parameter.type == kString) {
                field->setMaxLength(effectiveSize(parameter));
                field->setValidator(new StringValidator(parameter, field));
            } else {
                field->setValidator(
                    new DecimalValidator(lowerLimit(parameter), upperLimit(parameter), field));
            }
            field->setText(initialEditorText(parameter));
            colourByValidator(field);
            connect(field, &QLineEdit::textEdited, this, &BuilderLayout::on_paramValueLineEdit_Edited);
            editor = field;
        }

        // A parameter of an unknown type still gets a row (its box alone), so
        // the rows after it keep their places.
        auto *row = named(new QHBoxLayout, indexedName("paramRow", index));
        row->addWidget(box);
        if (editor) {
            editor->setObjectName(editorName);
            editor->setMinimumHeight(20);
            editor->setToolTip(toolTip);
            if (!parameter.display)
                editor->hide();
            box->setOptionalWidget(editor);
            row->addWidget(editor);
        }
        row->addStretch(1);
        connect(box, &QCheckBox::stateChanged, this, &BuilderLayout::on_paramOptionalWidget_Changed);
        area->addLayout(row);
    }

    if (parameter.optional) {
        for (QCheckBoxOptional *earlier : qAsConst(optionalBoxes))
            earlier->addDependent(box);
        optionalBoxes.append(box);
    }
}

void BuilderLayout::clearLayout(QLayout *layout, bool removeAll)
{
    const int index = removeAll ? 0 : 1;
    while (QLayoutItem *item = layout->takeAt(index)) {
        if (QWidget *widget = item->widget())
            delete widget;
        else if (QLayout *nested = item->layout())
            clearLayout(nested, true);
        delete item;
    }
}

QList<ParameterInput> BuilderLayout::readParameterInputs() const
{
    QList<ParameterInput> inputs;
    const int tab = tabWidgetMessages->currentIndex();
    if (tab < 0 || tab >= listTabLayouts.size())
        return inputs;
    QVBoxLayout *area = listTabLayouts.at(tab);

    // Parameter k of a known kind has its label at 1+2k and its row at 2+2k;
    // parameters without a type have no items at all.
    int k = 0;
    // Every optional box passes its state on to the optional parameters after
    // it, so the last one shown holds the state of those left out.
    bool laterOptionalPresent = true;
    for (const ParameterDefinition &parameter : currentMessage.parameters) {
        ParameterInput input;
        if (parameter.type.isEmpty()) {
            inputs.append(input);
            continue;
        }
        if (k == kMaxShownParameters) {
            // Left out of the page: its default.
            input = defaultInput(parameter);
            input.present = !parameter.optional || laterOptionalPresent;
            inputs.append(input);
            continue;
        }
        QLayoutItem *item = area->itemAt(2 + 2 * k++);
        QLayout *row = item ? item->layout() : nullptr;
        if (!row) {
            inputs.append(defaultInput(parameter));
            continue;
        }
        // The box is checked exactly while its editor is enabled.
        if (auto *box = qobject_cast<QCheckBoxOptional *>(widgetAt(row, 0)))
            input.present = box->isChecked();
        if (parameter.optional)
            laterOptionalPresent = input.present;
        if (parameter.type == kBitfield) {
            for (int j = 1; j < row->count(); ++j) {
                if (auto *bit = qobject_cast<QCheckBox *>(widgetAt(row, j)))
                    input.bitsChecked.append(bit->isChecked());
            }
        } else if (auto *combo = qobject_cast<QComboBox *>(widgetAt(row, 1))) {
            input.valueIndex = combo->currentIndex();
        } else if (auto *field = qobject_cast<QLineEdit *>(widgetAt(row, 1))) {
            input.text = field->text();
        }
        inputs.append(input);
    }
    return inputs;
}

void BuilderLayout::buildFrame()
{
    if (tabWidgetMessages->currentIndex() < 0) {
        dataBytes.clear();
        frameBytes.clear();
        frameHexText.clear();
        return;
    }
    dataBytes = encodeParameters(currentMessage, readParameterInputs());
    frameBytes = buildFrameBytes(currentMessage, quint8(selectedProfile.nodeType),
                                 checkBoxAcknowledge->isChecked(), LineEditMasterNodeID->text(),
                                 LineEditSlaveNodeID->text(), dataBytes);
    frameHexText = frameToHexText(frameBytes);
}

void BuilderLayout::formatOutputFrame()
{
    const QString format = LineEditFrameFormat->text();
    LineEditOutputFrame->setText(
        formatOutputText(frameHexText, isValidFormat(format) ? format : acceptedFrameFormat));
    LineEditOutputFrame->setCursorPosition(0); // show the start of a long frame
    // More data than the length field can announce is no valid bus frame.
    LineEditOutputFrame->setStyleSheet(dataFitsFrame(dataBytes) ? kBlack : kRed);
    updateSendButton();
}

void BuilderLayout::rebuildOutput()
{
    buildFrame();
    formatOutputFrame();
}

void BuilderLayout::colourNodeId(QLineEdit *field)
{
    field->setStyleSheet(isValidNodeId(field->text()) ? kBlack : kRed);
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
    on_LineEditMasterNodeID_Edited(LineEditMasterNodeID->text());
    on_LineEditSlaveNodeID_Edited(LineEditSlaveNodeID->text());
    checkAddressingMode();
}

void BuilderLayout::on_radioButtonGroup_Toggled(bool isChecked)
{
    if (!isChecked)
        return;
    labelMasterNodeID->setText(QStringLiteral("GroupID"));
    labelSlaveNodeID->setText(QString());
    LineEditSlaveNodeID->setText(QStringLiteral("000000"));
    LineEditSlaveNodeID->setEnabled(false);
    LineEditSlaveNodeID->setStyleSheet(kBlack);
    on_LineEditMasterNodeID_Edited(LineEditMasterNodeID->text());
    checkAddressingMode();
}

void BuilderLayout::on_radioButtonBroadcast_Toggled(bool isChecked)
{
    if (!isChecked)
        return;
    labelMasterNodeID->setText(QStringLiteral("Source"));
    labelSlaveNodeID->setText(QString());
    LineEditSlaveNodeID->setText(QStringLiteral("FFFFFF"));
    LineEditSlaveNodeID->setEnabled(false);
    LineEditSlaveNodeID->setStyleSheet(kBlack);
    on_LineEditMasterNodeID_Edited(LineEditMasterNodeID->text());
    checkAddressingMode();
}

void BuilderLayout::on_LineEditMasterNodeID_Edited(const QString &strNewText)
{
    Q_UNUSED(strNewText)
    colourNodeId(LineEditMasterNodeID);
    rebuildOutput();
}

void BuilderLayout::on_LineEditSlaveNodeID_Edited(const QString &strNewText)
{
    Q_UNUSED(strNewText)
    colourNodeId(LineEditSlaveNodeID);
    rebuildOutput();
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
    // The radio colours must refer to the message now shown.
    checkAddressingMode();
}

void BuilderLayout::on_comboBoxProfile_changed(const QString &strNewText)
{
    Q_UNUSED(strNewText)
    if (changingApplication)
        return;
    selectProfile();
    showNodeType();
    rebuildMessageTabs();
    checkAddressingMode();
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
    selectCurrentMessage();
    rebuildOutput();
    checkAddressingMode();
}

void BuilderLayout::on_paramValueLineEdit_Edited(const QString &newText)
{
    Q_UNUSED(newText)
    if (updatingTabs)
        return;
    if (auto *field = qobject_cast<QLineEdit *>(sender()))
        colourByValidator(field);
    rebuildOutput();
}

void BuilderLayout::on_paramValueLineEditHexa_Edited(const QString &newText)
{
    if (updatingTabs)
        return;
    if (auto *field = qobject_cast<QLineEditHexa *>(sender())) {
        const bool inRange = field->isSigned()
            ? hexaInRange(newText, true, field->byteSize(), field->minSigned(), field->maxSigned())
            : hexaInRange(newText, false, 0, field->minUnsigned(), field->maxUnsigned());
        field->setStyleSheet(inRange ? kBlack : kRed);
    }
    rebuildOutput();
}

void BuilderLayout::on_paramValueCombobox_changed(const QString &newText)
{
    Q_UNUSED(newText)
    if (updatingTabs)
        return;
    rebuildOutput();
}

void BuilderLayout::on_paramValueCheckBox_changed(int state)
{
    Q_UNUSED(state)
    if (updatingTabs)
        return;
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
    bool allBlack = !frameBytes.isEmpty();
    const QWidget *page = layoutMain->parentWidget();
    const QWidget *shownTab = tabWidgetMessages->currentWidget();
    const QList<QWidget *> widgets = page ? page->findChildren<QWidget *>() : QList<QWidget *>();
    for (const QWidget *widget : widgets) {
        // A disabled field (an unchecked optional parameter, the fixed
        // destination of a group) does not go into the frame.
        if (!allBlack)
            break;
        if (widget->styleSheet() != kRed || !widget->isEnabled() || widget == labelSendNote)
            continue;
        // The editors of the other tabs do not either.
        const bool otherTab = std::any_of(listTabPages.cbegin(), listTabPages.cend(),
                                          [&](const QWidget *tab) {
                                              return tab != shownTab && tab->isAncestorOf(widget);
                                          });
        allBlack = otherTab;
    }
    buttonSendFrame->setEnabled(allBlack);
}

void BuilderLayout::on_buttonSendFrame_clicked(bool checked)
{
    Q_UNUSED(checked)
    emit sendFrameRequested(frameBytes);
}

void BuilderLayout::on_paramOptionalWidget_Changed(int state)
{
    Q_UNUSED(state)
    if (updatingTabs)
        return;
    auto *box = qobject_cast<QCheckBoxOptional *>(sender());
    if (!box)
        return;
    const bool on = box->isChecked();
    if (QWidget *editor = box->optionalWidget())
        editor->setEnabled(on);
    // Later optional parameters follow: a frame cannot skip one and carry the next.
    for (QCheckBoxOptional *dependent : box->dependents())
        dependent->setChecked(on);
    rebuildOutput();
}

void BuilderLayout::on_paramOptionalLayout_Changed(int state)
{
    Q_UNUSED(state)
    if (updatingTabs)
        return;
    auto *box = qobject_cast<QCheckBoxOptional *>(sender());
    if (!box)
        return;
    const bool on = box->isChecked();
    if (QLayout *column = box->optionalLayout()) {
        for (int j = 1; j < column->count(); ++j) {
            if (QWidget *bit = widgetAt(column, j))
                bit->setEnabled(on);
        }
    }
    for (QCheckBoxOptional *dependent : box->dependents())
        dependent->setChecked(on);
    rebuildOutput();
}
