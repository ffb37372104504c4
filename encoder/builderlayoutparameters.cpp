// The parameter rows of the Encode page's tabs: building them, what they hold
// for the frame, and their slots.

#include "encoder/builderlayout.h"

#include "widgets/batchlayoutfill.h"
#include "widgets/comboboxtext.h"
#include "widgets/pagestyle.h"

#include "catalogue/shownlimits.h"
#include "encoder/parametervalidators.h"
#include "encoder/qcheckboxoptional.h"
#include "encoder/qlineedithexa.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QLatin1String kInteger("integer");
const QLatin1String kString("string");
const QLatin1String kBitfield("bitfield");

QString indexedName(const char *base, int index)
{
    return QLatin1String(base) + QLatin1Char('_') + QString::number(index);
}

QComboBox *createValueCombo(const ParameterDefinition &parameter)
{
    auto *combo = new QComboBox;
    for (const ValueDefinition &value : parameter.values)
        combo->addItem(value.description);
    combo->setCurrentIndex(initialValueIndex(parameter));
    return combo;
}

QLineEditHexa *createHexaField(const ParameterDefinition &parameter)
{
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
    return hexa;
}

QLineEdit *createTextField(const ParameterDefinition &parameter)
{
    auto *field = new QLineEdit;
    if (parameter.type == kString) {
        field->setMaxLength(effectiveSize(parameter));
        field->setValidator(new StringValidator(parameter, field));
    } else {
        field->setValidator(new DecimalValidator(lowerLimit(parameter), upperLimit(parameter), field));
    }
    field->setText(initialEditorText(parameter));
    return field;
}

} // namespace

void BuilderLayout::createParameterEditors(int tabIndex)
{
    if (tabIndex < 0 || tabIndex >= listTabLayouts.size())
        return;
    listTabBuilt[tabIndex] = true;
    QVBoxLayout *area = listTabLayouts.at(tabIndex);
    const MessageDefinition message = shownMessages.value(listComboBoxMsg.at(tabIndex)->currentText());

    const BatchLayoutFill fill(area);
    listTabRows[tabIndex].clear();
    clearLayout(area, false);

    // Rows beyond the cap are not built; parameterRequests gives their
    // parameters the defaults.
    QList<QCheckBoxOptional *> optionalBoxes;
    QList<ParameterRow> rows;
    int leftOut = 0;
    for (int i = 0; i < message.parameters.size(); ++i) {
        const ParameterDefinition &parameter = message.parameters.at(i);
        if (parameter.type.isEmpty())
            continue;
        if (rows.size() == kMaxShownParameters) {
            ++leftOut;
            continue;
        }
        rows.append(createEditorRow(area, parameter, i, optionalBoxes));
    }
    listTabRows[tabIndex] = rows;
    if (leftOut > 0)
        area->addWidget(named(new QLabel(parametersLeftOutText(leftOut)), QStringLiteral("labelParametersLeftOut")));
    area->addStretch(1);
}

BuilderLayout::ParameterRow BuilderLayout::createEditorRow(QVBoxLayout *area, const ParameterDefinition &parameter,
                                                           int index, QList<QCheckBoxOptional *> &optionalBoxes)
{
    ParameterRow row;
    row.parameter = index;
    row.box = named(new QCheckBoxOptional, indexedName("paramOptional", index));
    row.box->setChecked(true);

    auto *label = named(new QLabel(parameter.name + QLatin1Char(':')), indexedName("paramLabel", index));
    label->setMinimumHeight(20);
    if (!parameter.display) {
        label->hide();
        row.box->hide();
    }
    if (!parameter.optional)
        row.box->hide();
    area->addWidget(label);

    if (parameter.type == kBitfield) {
        createBitColumn(area, parameter, index, row);
    } else {
        QWidget *editor = createValueEditor(parameter, row);
        // A parameter of an unknown type still gets a row (its box alone), so
        // the rows after it keep their places.
        auto *line = named(new QHBoxLayout, indexedName("paramRow", index));
        line->addWidget(row.box);
        if (editor) {
            editor->setObjectName(indexedName("paramEditor", index));
            editor->setMinimumHeight(20);
            editor->setToolTip(editorToolTip(parameter));
            if (!parameter.display)
                editor->hide();
            row.box->setOptionalWidget(editor);
            line->addWidget(editor);
        }
        line->addStretch(1);
        connect(row.box, &QCheckBox::stateChanged, this, &BuilderLayout::on_paramOptionalWidget_Changed);
        area->addLayout(line);
    }

    if (parameter.optional) {
        for (QCheckBoxOptional *earlier : qAsConst(optionalBoxes))
            earlier->addDependent(row.box);
        optionalBoxes.append(row.box);
    }
    return row;
}

void BuilderLayout::createBitColumn(QVBoxLayout *area, const ParameterDefinition &parameter, int index,
                                    ParameterRow &row)
{
    auto *column = named(new QVBoxLayout, indexedName("paramColumn", index));
    row.box->setText(QStringLiteral("Disable optional parameter"));
    row.box->setOptionalLayout(column);
    column->addWidget(row.box);
    const int shownBits = std::min(int(parameter.values.size()), kMaxShownBits);
    for (int k = 0; k < shownBits; ++k) {
        auto *bit = new QCheckBox(bitText(parameter.values.at(k)));
        bit->setObjectName(QStringLiteral("paramBit_%1_%2").arg(index).arg(k));
        bit->setMinimumHeight(14);
        if (!parameter.display)
            bit->hide();
        connect(bit, &QCheckBox::stateChanged, this, &BuilderLayout::on_paramValueCheckBox_changed);
        column->addWidget(bit);
        row.bits.append(bit);
    }
    // Bits beyond the cap stay clear, as a fresh editor leaves them.
    if (shownBits < parameter.values.size()) {
        auto *marker = named(new QLabel(bitsLeftOutText(int(parameter.values.size()) - shownBits)),
                             indexedName("paramBitsLeftOut", index));
        if (!parameter.display)
            marker->hide();
        column->addWidget(marker);
    }
    connect(row.box, &QCheckBox::stateChanged, this, &BuilderLayout::on_paramOptionalLayout_Changed);
    area->addLayout(column);
}

QWidget *BuilderLayout::createValueEditor(const ParameterDefinition &parameter, ParameterRow &row)
{
    if (parameter.type == kInteger && !parameter.values.isEmpty()) {
        row.combo = createValueCombo(parameter);
        connectCurrentIndexText(row.combo, this, &BuilderLayout::on_paramValueCombobox_changed);
        return row.combo;
    }
    if (parameter.type == kInteger && parameter.isHexa()) {
        row.field = createHexaField(parameter);
        connect(row.field, &QLineEdit::textEdited, this, &BuilderLayout::on_paramValueLineEditHexa_Edited);
    } else if (parameter.type == kInteger || parameter.type == kString) {
        row.field = createTextField(parameter);
        connect(row.field, &QLineEdit::textEdited, this, &BuilderLayout::on_paramValueLineEdit_Edited);
    } else {
        return nullptr;
    }
    // A fresh field by the verdict on its default.
    colourField(row.field, checkParameter(parameter, ParameterRequest()));
    return row.field;
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

QList<ParameterRequest> BuilderLayout::parameterRequests() const
{
    const int parameters = int(currentMessage.parameters.size());
    QList<ParameterRequest> requests;
    for (int i = 0; i < parameters; ++i)
        requests.append(ParameterRequest());
    const int tab = tabWidgetMessages->currentIndex();
    if (tab < 0 || tab >= listTabRows.size())
        return requests;

    // Every optional box passes its state on to the optional parameters after
    // it, so the last one shown holds the state of those left out of the page.
    bool laterOptionalPresent = true;
    int lastRow = -1;
    for (const ParameterRow &row : listTabRows.at(tab)) {
        if (row.parameter >= parameters)
            continue;
        const ParameterDefinition &parameter = currentMessage.parameters.at(row.parameter);
        ParameterRequest request;
        if (row.field && row.edited) {
            request = ParameterRequest::typed(row.field->text());
        } else if (row.combo) {
            request = ParameterRequest::chosen(row.combo->currentIndex());
        } else if (parameter.type == kBitfield) {
            QList<bool> bits;
            for (const QCheckBox *bit : row.bits)
                bits.append(bit->isChecked());
            request = ParameterRequest::checked(bits);
        }
        // The box is checked exactly while its editor is enabled.
        request.included = row.box->isChecked();
        if (parameter.optional)
            laterOptionalPresent = request.included;
        requests[row.parameter] = request;
        lastRow = row.parameter;
    }
    // Those left out keep their defaults.
    for (int i = lastRow + 1; i < parameters; ++i) {
        const ParameterDefinition &parameter = currentMessage.parameters.at(i);
        if (!parameter.type.isEmpty())
            requests[i].included = !parameter.optional || laterOptionalPresent;
    }
    return requests;
}

BuilderLayout::ParameterRow *BuilderLayout::rowOfEditor(const QObject *editor)
{
    for (QList<ParameterRow> &rows : listTabRows)
        for (ParameterRow &row : rows)
            if (editor && row.field == editor)
                return &row;
    return nullptr;
}

void BuilderLayout::showResult()
{
    const int tab = tabWidgetMessages->currentIndex();
    if (tab >= 0 && tab < listTabRows.size()) {
        for (const ParameterRow &row : qAsConst(listTabRows.at(tab)))
            if (row.field && row.parameter < encodeResult.parameters.size())
                colourField(row.field, encodeResult.parameters.at(row.parameter));
    }
    checkAddressingMode();
    updateSendButton();
}

void BuilderLayout::on_paramValueLineEdit_Edited(const QString &newText)
{
    Q_UNUSED(newText)
    if (updatingTabs)
        return;
    if (ParameterRow *row = rowOfEditor(sender()))
        row->edited = true;
    rebuildOutput();
}

void BuilderLayout::on_paramValueLineEditHexa_Edited(const QString &newText)
{
    // Once edited, a hexadecimal field is judged by its range, not only its
    // digits: marked as edited as any other field is.
    on_paramValueLineEdit_Edited(newText);
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

QCheckBoxOptional *BuilderLayout::toggledOptionalBox() const
{
    return updatingTabs ? nullptr : qobject_cast<QCheckBoxOptional *>(sender());
}

void BuilderLayout::on_paramOptionalWidget_Changed(int state)
{
    Q_UNUSED(state)
    QCheckBoxOptional *box = toggledOptionalBox();
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
    QCheckBoxOptional *box = toggledOptionalBox();
    if (!box)
        return;
    const bool on = box->isChecked();
    if (QLayout *column = box->optionalLayout()) {
        for (int j = 1; j < column->count(); ++j) {
            QLayoutItem *item = column->itemAt(j);
            if (QWidget *bit = item ? item->widget() : nullptr)
                bit->setEnabled(on);
        }
    }
    for (QCheckBoxOptional *dependent : box->dependents())
        dependent->setChecked(on);
    rebuildOutput();
}
