#include "widgets/fittedwidth.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

void setFixedWidthAtLeast(QLabel *label, int width)
{
    label->ensurePolished();
    label->setFixedWidth(std::max(width, label->sizeHint().width()));
}

void setFixedWidthAtLeast(QPushButton *button, int width)
{
    button->ensurePolished();
    const QFontMetrics metrics = button->fontMetrics();
    QSize content(metrics.horizontalAdvance(button->text()), metrics.height());
    QStyleOptionButton option;
    option.initFrom(button);
    if (!button->icon().isNull()) {
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        content.rwidth() += button->iconSize().width() + 4; // QPushButton's gap after the icon
    }
    // The option carries no text: the style then adds its margins around the
    // contents but not the minimum width some styles give a button with text,
    // which would make a short button like "Copy" twice as wide as it needs.
    const QSize needed = button->style()->sizeFromContents(QStyle::CT_PushButton, &option, content, button);
    button->setFixedWidth(std::max(width, needed.width()));
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
