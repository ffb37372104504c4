#include "widgets/batchlayoutfill.h"

#include <QLayout>
#include <QWidget>

namespace {

// Shows what Qt would show later, one by one: every new widget of the layout
// that was not hidden on purpose.
void showNewWidgets(QLayout *layout)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (QWidget *widget = item->widget()) {
            const bool hiddenOnPurpose = widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide);
            if (!widget->isVisible() && !hiddenOnPurpose)
                widget->show();
        } else if (QLayout *nested = item->layout()) {
            showNewWidgets(nested);
        }
    }
}

} // namespace

BatchLayoutFill::BatchLayoutFill(QLayout *layout)
    : page(layout->parentWidget()), pageLayout(page ? page->layout() : nullptr)
{
    if (!page)
        return;
    updatesWereEnabled = page->updatesEnabled();
    page->setUpdatesEnabled(false);
    if (pageLayout)
        pageLayout->setEnabled(false);
}

BatchLayoutFill::~BatchLayoutFill()
{
    if (!page)
        return;
    if (pageLayout) {
        // A hidden page shows its widgets itself, all at once, when it is shown.
        if (page->isVisible())
            showNewWidgets(pageLayout);
        pageLayout->setEnabled(true);
        pageLayout->activate();
    }
    page->setUpdatesEnabled(updatesWereEnabled);
}
