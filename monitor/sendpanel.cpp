#include "monitor/sendpanel.h"

#include "bustools/sendtool.h"
#include "codec/busrecord.h"
#include "serial/bussession.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

const QString kRepeatMsKey = QStringLiteral("bus/repeatMs");

} // namespace

SendPanel::SendPanel(SendTool *tool, QWidget *parent) : QWidget(parent), sendTool(tool)
{
    buildRow();
    sendTool->setIntervalMs(spinBoxRepeatMs->value());
    connect(buttonSend, &QPushButton::clicked, this, [this] { sendTool->send(LineEditSendFrame->text()); });
    connect(LineEditSendFrame, &QLineEdit::returnPressed, buttonSend, &QPushButton::click);
    connect(checkBoxRepeat, &QCheckBox::toggled, this,
            [this](bool checked) { sendTool->setRepeat(checked, LineEditSendFrame->text()); });
    connect(spinBoxRepeatMs, QOverload<int>::of(&QSpinBox::valueChanged), sendTool, &SendTool::setIntervalMs);
    connect(buttonReplay, &QPushButton::clicked, this, &SendPanel::replayRequested);
    connect(sendTool, &SendTool::textChecked, this,
            [this](bool frame) { LineEditSendFrame->setStyleSheet(frame ? kBlack : kRed); });
    connect(sendTool, &SendTool::repeatChanged, checkBoxRepeat, &QCheckBox::setChecked);
    connect(sendTool->session(), &BusSession::repeatingChanged, this, &SendPanel::showRepeating);
    connect(sendTool->session(), &BusSession::openChanged, buttonReplay, &QPushButton::setEnabled);
}

void SendPanel::buildRow()
{
    auto *layoutSend = named(new QHBoxLayout(this), QStringLiteral("layoutSend"));
    layoutSend->setContentsMargins(0, 0, 0, 0);
    LineEditSendFrame = named(new QLineEdit, QStringLiteral("LineEditSendFrame"));
    LineEditSendFrame->setPlaceholderText(QStringLiteral("Frame to send"));
    buttonSend = named(new QPushButton(QStringLiteral("Send")), QStringLiteral("buttonSend"));
    checkBoxRepeat = named(new QCheckBox(QStringLiteral("every")), QStringLiteral("checkBoxRepeat"));
    checkBoxRepeat->setToolTip(QStringLiteral("Repeat the sending at this interval"));
    spinBoxRepeatMs = named(new QSpinBox, QStringLiteral("spinBoxRepeatMs"));
    spinBoxRepeatMs->setRange(1, 3600000);
    spinBoxRepeatMs->setValue(settingsStore().value(kRepeatMsKey, 1000).toInt());
    spinBoxRepeatMs->setSuffix(QStringLiteral(" ms"));
    spinBoxRepeatMs->setToolTip(QStringLiteral("Interval of the repeated sending"));
    buttonReplay = named(new QPushButton(QStringLiteral("Replay\u2026")), QStringLiteral("buttonReplay"));
    buttonReplay->setToolTip(QStringLiteral("Write the frames of a log onto the port with their original spacing"));
    buttonReplay->setEnabled(false);
    layoutSend->addWidget(LineEditSendFrame, 1);
    layoutSend->addWidget(buttonSend);
    layoutSend->addWidget(checkBoxRepeat);
    layoutSend->addWidget(spinBoxRepeatMs);
    layoutSend->addWidget(buttonReplay);
}

void SendPanel::putInSendField(const QByteArray &frame)
{
    LineEditSendFrame->setText(spacedHexText(frame));
    LineEditSendFrame->setFocus();
}

void SendPanel::showRepeating(bool repeating)
{
    buttonSend->setText(repeating ? QStringLiteral("Stop") : QStringLiteral("Send"));
    buttonSend->setToolTip(repeating ? QStringLiteral("Stop the repeated sending")
                                     : QStringLiteral("Send the frame of the field"));
    // The interval used last is there again next time.
    if (repeating)
        settingsStore().setValue(kRepeatMsKey, spinBoxRepeatMs->value());
}
