#include "app/fittedwidth.h"

#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include <algorithm>

void setFixedWidthAtLeast(QLabel *label, int width)
{
    label->setFixedWidth(std::max(width, label->sizeHint().width()));
}

void setNodeIdWidth(QLineEdit *edit, int width)
{
    const QFontMetrics metrics(edit->font());
    int widest = 0;
    for (QChar digit : QStringLiteral("0123456789ABCDEF"))
        widest = std::max(widest, metrics.horizontalAdvance(digit));
    const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    const int lineEditMargins = 2 * 2; // QLineEdit's own horizontal text margins
    edit->setFixedWidth(std::max(width, 6 * widest + 2 * frame + lineEditMargins + 2));
}
