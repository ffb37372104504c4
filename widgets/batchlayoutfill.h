#ifndef KWN_APP_BATCHLAYOUTFILL_H
#define KWN_APP_BATCHLAYOUTFILL_H

// Filling a layout of a visible page with many widgets. Qt shows each new
// widget on its own, later, and every such show lays the whole page out
// again: quadratic in the number of rows. While one of these lives, the page
// neither paints nor lays out; when it ends, the new widgets are shown in one
// go and the page is laid out once.

class QLayout;
class QWidget;

class BatchLayoutFill
{
public:
    // `layout` is, or lies inside, the layout of the page being filled.
    explicit BatchLayoutFill(QLayout *layout);
    ~BatchLayoutFill();

    BatchLayoutFill(const BatchLayoutFill &) = delete;
    BatchLayoutFill &operator=(const BatchLayoutFill &) = delete;

private:
    QWidget *page = nullptr;
    QLayout *pageLayout = nullptr;
    bool updatesWereEnabled = true;
};

#endif
