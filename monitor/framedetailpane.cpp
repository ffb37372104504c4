#include "monitor/framedetailpane.h"

#include "codec/busrecord.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/valueseries.h"
#include "widgets/pagestyle.h"

#include <QBrush>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace {

// Rows as high as their value needs when it wraps at the value column's
// width: the tree's own measure takes every text on one line.
class WrappingDelegate : public QStyledItemDelegate
{
public:
    WrappingDelegate(QTreeWidget *tree, int column) : QStyledItemDelegate(tree), m_tree(tree), m_column(column) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const int width = m_tree->columnWidth(m_column) - kTextMargins;
        const QString text = index.data(Qt::DisplayRole).toString();
        if (width > 0 && !text.isEmpty()) {
            const QRect needed = option.fontMetrics.boundingRect(QRect(0, 0, width, 1 << 20),
                                                                 Qt::TextWordWrap | Qt::AlignLeft, text);
            size.setHeight(qMax(size.height(), needed.height() + kTextMargins / 2));
        }
        return size;
    }

private:
    // The style's margins around a cell's text, on both sides together.
    static constexpr int kTextMargins = 8;
    QTreeWidget *m_tree;
    int m_column;
};

// The checksum: the last two bytes of what was read.
constexpr int kChecksumBytes = 2;

QString yesNo(bool yes)
{
    return yes ? QStringLiteral("yes") : QStringLiteral("no");
}

// Four upper-case hexadecimal digits.
QString checksumText(quint16 checksum)
{
    return QStringLiteral("%1").arg(checksum, 4, 16, QLatin1Char('0')).toUpper();
}

// A bitfield's set bits, named where the catalogue names them: "Bit 0:
// Obstacle detected; Bit 5"; "none" when no bit is set.
QString setBitsText(const DecodedRow &row, const QList<quint32> &unnamedSet)
{
    QStringList set;
    for (const DecodedBit &bit : row.bits)
        if (bit.checked)
            set << bit.label;
    for (quint32 position : unnamedSet)
        set << QStringLiteral("Bit %1").arg(position);
    return set.isEmpty() ? QStringLiteral("none") : set.join(QStringLiteral("; "));
}

// The set bits of the field that no entry of the catalogue names.
QList<quint32> unnamedSetBits(const DecodedRow &row)
{
    const quint32 width = row.size == 0 || row.size > 4 ? 32 : 8 * row.size;
    QList<quint32> unnamed;
    for (quint32 position = 0; position < width; ++position) {
        if (!row.rawBitSet(position))
            continue;
        bool named = false;
        for (const DecodedBit &bit : row.bits)
            named = named || bit.bit % 32 == position;
        if (!named)
            unnamed << position;
    }
    return unnamed;
}

} // namespace

QString rawNumberText(const DecodedRow &row)
{
    if (!row.hasRaw)
        return QString();
    // raw holds at most four bytes of the field.
    const int bytes = row.size == 0 || row.size > 4 ? 4 : int(row.size);
    const quint32 mask = bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1u;
    return QStringLiteral("0x%1 (%2)")
        .arg(QString::number(row.raw & mask, 16).toUpper().rightJustified(2 * bytes, QLatin1Char('0')))
        .arg(row.rawNumber());
}

FrameDetailPane::FrameDetailPane(QWidget *parent) : QWidget(parent)
{
    layoutDetail = named(new QVBoxLayout(this), QStringLiteral("layoutDetail"));
    layoutDetail->setContentsMargins(0, 0, 0, 0);
    treeWidgetDetail = named(new QTreeWidget, QStringLiteral("treeWidgetDetail"));
    treeWidgetDetail->setColumnCount(3);
    treeWidgetDetail->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Value"), QStringLiteral("Raw")});
    treeWidgetDetail->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Long values (the bytes, a checksum's verdict) wrap at their spaces
    // rather than being cut: a row is as high as its text needs.
    treeWidgetDetail->setUniformRowHeights(false);
    treeWidgetDetail->setWordWrap(true);
    treeWidgetDetail->setTextElideMode(Qt::ElideNone);
    treeWidgetDetail->setItemDelegateForColumn(ColumnValue, new WrappingDelegate(treeWidgetDetail, ColumnValue));
    // The values take the width the pane has; the raw numbers keep theirs.
    treeWidgetDetail->header()->setStretchLastSection(false);
    treeWidgetDetail->header()->setSectionResizeMode(ColumnValue, QHeaderView::Stretch);
    // Fixed widths, so that the columns keep still from frame to frame;
    // long texts are whole in their tool tips.
    const QFontMetrics metrics(treeWidgetDetail->font());
    treeWidgetDetail->setColumnWidth(ColumnField, metrics.horizontalAdvance(QStringLiteral("Source \u2192 destination"))
                                                      + 2 * treeWidgetDetail->indentation() + 14);
    treeWidgetDetail->setColumnWidth(ColumnRaw, metrics.horizontalAdvance(QStringLiteral("0xFFFFFFFF (-2147483648)")) + 14);
    // Rows wrap to the value column's width: they are laid out again when it changes.
    connect(treeWidgetDetail->header(), &QHeaderView::sectionResized, treeWidgetDetail,
            [this](int logical) {
                if (logical == ColumnValue)
                    treeWidgetDetail->doItemsLayout();
            });

    layoutDetailButtons = named(new QHBoxLayout, QStringLiteral("layoutDetailButtons"));
    buttonOpenOnDecode = named(new QPushButton(QStringLiteral("Open on Decode page")), QStringLiteral("buttonOpenOnDecode"));
    buttonOpenOnDecode->setToolTip(QStringLiteral("Show this frame on the Decode page"));
    buttonPutInSend = named(new QPushButton(QStringLiteral("Put in Send field")), QStringLiteral("buttonPutInSend"));
    buttonPutInSend->setToolTip(QStringLiteral("Copy this frame into the field of frames to send"));
    labelReplyLinks = named(new QLabel, QStringLiteral("labelReplyLinks"));
    labelReplyLinks->setTextFormat(Qt::RichText);
    labelReplyLinks->setWordWrap(true);
    labelReplyLinks->setToolTip(QStringLiteral("Click to show the row in the list"));
    labelReplyLinks->hide();
    connect(labelReplyLinks, &QLabel::linkActivated, this,
            [this](const QString &link) { emit rowLinkActivated(link.toULongLong()); });
    layoutDetailButtons->addWidget(labelReplyLinks, 3);
    layoutDetailButtons->addStretch(1);
    layoutDetailButtons->addWidget(buttonOpenOnDecode);
    layoutDetailButtons->addWidget(buttonPutInSend);
    layoutDetail->addWidget(treeWidgetDetail, 1);
    layoutDetail->addLayout(layoutDetailButtons);

    treeWidgetDetail->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(treeWidgetDetail, &QWidget::customContextMenuRequested, this,
            &FrameDetailPane::on_treeWidgetDetail_customContextMenuRequested);
    connect(buttonOpenOnDecode, &QPushButton::clicked, this, [this] {
        if (!shownFrame.isEmpty())
            emit openRequested(shownFrame);
    });
    connect(buttonPutInSend, &QPushButton::clicked, this, [this] {
        if (!shownFrame.isEmpty())
            emit putInSendRequested(shownFrame);
    });
    clear();
}

void FrameDetailPane::beginFilling()
{
    treeWidgetDetail->setUpdatesEnabled(false);
    treeWidgetDetail->clear();
    timeItem = nullptr;
}

void FrameDetailPane::endFilling(bool canUse)
{
    treeWidgetDetail->expandAll();
    treeWidgetDetail->setUpdatesEnabled(true);
    buttonOpenOnDecode->setEnabled(canUse);
    buttonPutInSend->setEnabled(canUse);
}

void FrameDetailPane::clear()
{
    shownFrame.clear();
    beginFilling();
    endFilling(false);
    showReplyLinks({});
}

void FrameDetailPane::showReplyLinks(const QVector<ReplyTool::Link> &links)
{
    // A broadcast may have many replies: the first few, and how many more.
    constexpr int kMostShown = 4;
    QStringList lines;
    for (const ReplyTool::Link &link : links.mid(0, kMostShown)) {
        const QString text = link.text.toHtmlEscaped();
        lines << (link.linked ? QStringLiteral("<a href=\"%1\">%2</a>").arg(link.sequence).arg(text) : text);
    }
    if (links.size() > kMostShown)
        lines << QStringLiteral("and %1 more").arg(links.size() - kMostShown);
    labelReplyLinks->setText(lines.join(QStringLiteral("<br>")));
    labelReplyLinks->setVisible(!lines.isEmpty());
}

QTreeWidgetItem *FrameDetailPane::addItem(const QString &field, const QString &value, const QString &raw,
                                          QTreeWidgetItem *parent)
{
    auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(treeWidgetDetail);
    item->setText(ColumnField, field);
    item->setText(ColumnValue, value);
    item->setText(ColumnRaw, raw);
    item->setToolTip(ColumnField, field);
    item->setToolTip(ColumnValue, value);
    return item;
}

void FrameDetailPane::showReport(const FrameReport &report)
{
    beginFilling();
    shownFrame = report.frame.bytes;
    showHeader(report);
    showParameters(report);
    showBytes(report);
    endFilling(!shownFrame.isEmpty());
}

void FrameDetailPane::showNoise(const QByteArray &bytes, const QString &time)
{
    beginFilling();
    shownFrame.clear();
    if (!time.isEmpty())
        timeItem = addItem(QStringLiteral("Time"), time);
    addItem(QStringLiteral("Status"), QStringLiteral("noise"), countText(quint64(bytes.size()), "byte", "bytes"));
    addItem(QStringLiteral("Bytes"), spacedHexText(bytes));
    endFilling(false);
}

void FrameDetailPane::showTime(const QString &time)
{
    if (timeItem) {
        timeItem->setText(ColumnValue, time);
        timeItem->setToolTip(ColumnValue, time);
    }
}

void FrameDetailPane::showHeader(const FrameReport &report)
{
    if (!report.time.isEmpty())
        timeItem = addItem(QStringLiteral("Time"), report.time);
    if (!report.direction.isEmpty())
        addItem(QStringLiteral("Direction"), report.direction);
    const FrameFields &fields = report.frame.fields;
    if (report.parsed) {
        if (report.productFound)
            addItem(QStringLiteral("Device"), report.device);
        QTreeWidgetItem *message =
            addItem(QStringLiteral("Message"), report.productFound ? report.message.messageName : QString(),
                    QStringLiteral("0x%1 (%2)")
                        .arg(QString::number(fields.messageId, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                        .arg(fields.messageId));
        if (!report.message.messageToolTip.isEmpty())
            message->setToolTip(ColumnValue, report.message.messageToolTip);
        addItem(QStringLiteral("Addressing"), addressingModeName(fields.destinationAddress));
        addItem(QStringLiteral("Source \u2192 destination"),
                nodeIdText(fields.sourceAddress) + QStringLiteral(" \u2192 ") + nodeIdText(fields.destinationAddress));
        addItem(QStringLiteral("Acknowledge request"), yesNo(fields.ackRequested));
        addItem(QStringLiteral("Node type"), QString::number(fields.sourceNodeType));
    }
    // As the Values cell says it: a bad checksum first, whatever the decoding.
    const bool badChecksum = report.parsed && !report.checksumOk;
    QTreeWidgetItem *status = addItem(QStringLiteral("Status"),
                                      badChecksum ? QStringLiteral("bad checksum | ") + report.status : report.status);
    if (report.error || badChecksum)
        status->setForeground(ColumnValue, QBrush(Qt::red));
}

void FrameDetailPane::showParameters(const FrameReport &report)
{
    if (!report.productFound || report.message.rows.isEmpty())
        return;
    QTreeWidgetItem *parameters = addItem(QStringLiteral("Parameters"), QString());
    for (const DecodedRow &row : report.message.rows) {
        if (row.kind != DecodedRow::Bits) {
            QTreeWidgetItem *item = addItem(row.parameterName, row.value, rawNumberText(row), parameters);
            if (isPlottable(row))
                item->setData(ColumnField, Qt::UserRole, row.parameterName);
            if (!row.toolTip.isEmpty())
                item->setToolTip(ColumnField, row.toolTip);
            continue;
        }
        const QList<quint32> unnamed = unnamedSetBits(row);
        QTreeWidgetItem *item = addItem(row.parameterName, setBitsText(row, unnamed), rawNumberText(row), parameters);
        item->setData(ColumnField, Qt::UserRole, row.parameterName);
        if (!row.toolTip.isEmpty())
            item->setToolTip(ColumnField, row.toolTip);
        for (const DecodedBit &bit : row.bits)
            addItem(bit.label, bit.checked ? QStringLiteral("set") : QStringLiteral("clear"), QString(), item);
        for (quint32 position : unnamed)
            addItem(QStringLiteral("Bit %1").arg(position), QStringLiteral("set"), QString(), item);
    }
}

void FrameDetailPane::showBytes(const FrameReport &report)
{
    const QByteArray &bytes = report.frame.bytes;
    const QString count = countText(quint64(bytes.size()), "byte", "bytes");
    if (!report.parsed || bytes.size() < kFrameOverheadBytes) {
        if (!bytes.isEmpty())
            addItem(QStringLiteral("Bytes"), spacedHexText(bytes), count);
        return;
    }
    // The checksum in brackets: the last two bytes, as read.
    const int body = bytes.size() - kChecksumBytes;
    addItem(QStringLiteral("Bytes"),
            spacedHexText(bytes.left(body)) + QStringLiteral(" [") + spacedHexText(bytes.mid(body))
                + QLatin1Char(']'),
            count);
    const quint16 received = quint16(quint8(bytes.at(body)) << 8 | quint8(bytes.at(body + 1)));
    const QString verdict = report.checksumOk
        ? QStringLiteral("checksum ok")
        : QStringLiteral("checksum wrong, expected ") + checksumText(frameChecksum(bytes.left(body)));
    QTreeWidgetItem *checksum = addItem(QStringLiteral("Checksum"), verdict, QStringLiteral("0x") + checksumText(received));
    if (!report.checksumOk)
        checksum->setForeground(ColumnValue, QBrush(Qt::red));
}

QTreeWidgetItem *FrameDetailPane::parameterItem(const QString &name) const
{
    for (QTreeWidgetItemIterator it(treeWidgetDetail); *it; ++it) {
        if ((*it)->data(ColumnField, Qt::UserRole).toString() == name)
            return *it;
    }
    return nullptr;
}

QMenu *FrameDetailPane::parameterMenu(QTreeWidgetItem *item)
{
    const QString parameter = item ? item->data(ColumnField, Qt::UserRole).toString() : QString();
    if (parameter.isEmpty())
        return nullptr;
    auto *menu = new QMenu(treeWidgetDetail);
    menu->setObjectName(QStringLiteral("menuParameter"));
    emit parameterMenuRequested(menu, parameter);
    return menu;
}

void FrameDetailPane::on_treeWidgetDetail_customContextMenuRequested(const QPoint &pos)
{
    QMenu *menu = parameterMenu(treeWidgetDetail->itemAt(pos));
    if (menu && !menu->isEmpty())
        menu->exec(treeWidgetDetail->viewport()->mapToGlobal(pos));
    delete menu;
}
