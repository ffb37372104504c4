#include "monitor/sendpanel.h"

#include "codec/frame.h"
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

SendPanel::SendPanel(BusSession *session, QWidget *parent) : QWidget(parent), busSession(session)
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

    connect(buttonSend, &QPushButton::clicked, this, &SendPanel::on_buttonSend_clicked);
    connect(LineEditSendFrame, &QLineEdit::returnPressed, buttonSend, &QPushButton::click);
    connect(checkBoxRepeat, &QCheckBox::toggled, this, &SendPanel::on_checkBoxRepeat_toggled);
    connect(buttonReplay, &QPushButton::clicked, this, &SendPanel::replayRequested);
    connect(busSession, &BusSession::repeatingChanged, this, &SendPanel::on_busSession_repeatingChanged);
    // Closed or lost, the port stops the repeating; the box follows.
    connect(busSession, &BusSession::openChanged, this, [this](bool open) {
        if (!open)
            checkBoxRepeat->setChecked(false);
        buttonReplay->setEnabled(open);
    });
}

void SendPanel::putInSendField(const QByteArray &frame)
{
    LineEditSendFrame->setText(spacedHexText(frame));
    LineEditSendFrame->setFocus();
}

QByteArray SendPanel::frameToSend()
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

void SendPanel::on_buttonSend_clicked(bool checked)
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
        emit sendRequested(frame);
        return;
    }
    const QString problem = busSession->startRepeat(frame, spinBoxRepeatMs->value());
    if (!problem.isEmpty())
        showMessage(problem, true);
    settingsStore().setValue(kRepeatMsKey, spinBoxRepeatMs->value());
}

void SendPanel::on_checkBoxRepeat_toggled(bool checked)
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

void SendPanel::on_busSession_repeatingChanged(bool repeating)
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
