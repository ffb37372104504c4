#include "monitor/statusline.h"

#include "widgets/elidedlabel.h"
#include "widgets/pagestyle.h"

#include <QHBoxLayout>
#include <QTimer>

namespace {

// How long a passing message stays; an error a little longer.
const int kMessageMs = 5000;
const int kErrorMessageMs = 12000;

} // namespace

StatusLine::StatusLine(QWidget *parent) : QWidget(parent)
{
    // The page is as wide as the window leaves it: long texts are elided,
    // whole in their tool tips.
    labelStatus = named(new ElidedLabel, QStringLiteral("labelStatus"));
    labelStatus->setStyleSheet(kBlack);
    labelStatus->setFullText(QStringLiteral("Not connected"));
    labelMessage = named(new ElidedLabel, QStringLiteral("labelMessage"));
    labelMessage->hide();
    timerMessage = named(new QTimer(this), QStringLiteral("timerMessage"));
    timerMessage->setSingleShot(true);
    connect(timerMessage, &QTimer::timeout, labelMessage, [this] {
        labelMessage->setFullText(QString());
        labelMessage->hide();
    });

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(labelStatus, 2);
    layout->addWidget(labelMessage, 3);
}

void StatusLine::showConnectionState(const QString &text, bool error)
{
    labelStatus->setFullText(text);
    labelStatus->setStyleSheet(error ? kRed : kBlack);
}

void StatusLine::showMessage(const QString &text, bool error, bool lasting)
{
    labelMessage->setFullText(text);
    labelMessage->setStyleSheet(error ? kRed : kBlack);
    // The connection state has the whole row while there is no message.
    labelMessage->setVisible(!text.isEmpty());
    timerMessage->start(error ? kErrorMessageMs : kMessageMs);
    if (lasting)
        timerMessage->stop();
}
