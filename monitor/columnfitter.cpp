#include "monitor/columnfitter.h"

#include <QAbstractProxyModel>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTableView>

namespace {

// The cell's own margins around its text, as the styles draw them.
constexpr int kCellMargins = 12;
// A text this many characters shorter than the longest held cannot be wider
// (digits are of one width; names are measured when nearly as long).
constexpr int kShorterSlack = 3;
// Rows measured at most for one change.
constexpr int kMostRowsMeasured = 256;

} // namespace

ColumnFitter::ColumnFitter(QTableView *view, QAbstractItemModel *model, const QVector<Column> &columns,
                           QObject *parent)
    : QObject(parent), m_view(view), m_model(model)
{
    for (const Column &column : columns)
        m_columns.append(Measure{column, 0, 0});
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &parent, int first, int last) {
        if (!parent.isValid())
            measureRows(first, last);
    });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                // Only the columns changed: the Reply column changes on its own, often.
                measureRows(topLeft.row(), bottomRight.row(), topLeft.column(), bottomRight.column());
            });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { measureRows(0, m_model->rowCount() - 1); });
    connect(view->horizontalHeader(), &QHeaderView::sectionResized, this, &ColumnFitter::sectionResized);
    // A wider view gives the names more room.
    view->viewport()->installEventFilter(this);
    // The arrow comes to the column sorted by.
    connect(view->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, &ColumnFitter::apply);
}

bool ColumnFitter::showsModel() const
{
    const QAbstractItemModel *shown = m_view->model();
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(shown))
        shown = proxy->sourceModel();
    return shown == m_model;
}

void ColumnFitter::measureRows(int first, int last, int firstColumn, int lastColumn)
{
    if (first < 0 || last < first)
        return;
    const QFontMetrics metrics(m_view->font());
    // A change over many rows (Latest updating a busy bus) is sampled: the
    // texts that grow keep growing and are met again soon.
    const int step = qMax(1, (last - first + 1) / kMostRowsMeasured);
    bool grown = false;
    for (Measure &measure : m_columns) {
        if (measure.fit.column < firstColumn || measure.fit.column > lastColumn)
            continue;
        for (int row = first; row <= last; row += step) {
            const QString text = m_model->index(row, measure.fit.column).data().toString();
            if (text.size() + kShorterSlack < measure.longestChars)
                continue;
            measure.longestChars = qMax(measure.longestChars, int(text.size()));
            const int width = metrics.horizontalAdvance(text) + kCellMargins;
            if (width > measure.widest) {
                measure.widest = width;
                grown = true;
            }
        }
    }
    if (grown)
        apply();
}

int ColumnFitter::neededWidth(int column) const
{
    for (const Measure &measure : m_columns) {
        if (measure.fit.column != column)
            continue;
        const int title = measure.fit.wholeTitle ? titleWidth(column) : 0;
        int width = qMax(measure.widest, title);
        if (measure.fit.maxWidth > 0)
            width = qMin(width, qMax(measure.fit.maxWidth, title));
        if (measure.fit.maxShare > 0)
            width = qMin(width, qMax(int(measure.fit.maxShare * m_view->viewport()->width()), title));
        return width;
    }
    return 0;
}

// The title and its margins, and the sort arrow's room when the column is
// the one sorted by (as the header lays them out).
int ColumnFitter::titleWidth(int column) const
{
    const QHeaderView *header = m_view->horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.text = m_view->model()->headerData(column, Qt::Horizontal).toString();
    // Measured bold, as the header measures its titles: a section of the
    // selected column is drawn so.
    QFont bold = header->font();
    bold.setBold(true);
    option.fontMetrics = QFontMetrics(bold);
    const QSize size = header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header);
    int width = size.width();
    if (header->isSortIndicatorShown() && header->sortIndicatorSection() == column)
        width += size.height() + header->style()->pixelMetric(QStyle::PM_HeaderMargin, &option, header);
    return width;
}

void ColumnFitter::apply()
{
    if (!showsModel())
        return;
    m_applying = true;
    for (const Measure &measure : m_columns) {
        const int column = measure.fit.column;
        if (m_userSized.contains(column))
            continue;
        const int needed = neededWidth(column);
        if (needed > m_view->columnWidth(column))
            m_view->setColumnWidth(column, needed);
    }
    m_applying = false;
}

bool ColumnFitter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}

void ColumnFitter::forgetTexts()
{
    for (Measure &measure : m_columns) {
        measure.longestChars = 0;
        measure.widest = 0;
    }
}

void ColumnFitter::sectionResized(int logical, int oldSize, int newSize)
{
    Q_UNUSED(oldSize)
    Q_UNUSED(newSize)
    // Only a drag of the header's edge counts: the view's own resizing
    // (restoring a state, a stretched column) happens without the mouse.
    if (m_applying || !showsModel() || !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        return;
    for (const Measure &measure : m_columns) {
        if (measure.fit.column == logical)
            m_userSized.insert(logical);
    }
}
