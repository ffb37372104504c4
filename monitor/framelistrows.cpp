// The rows of the Bus page's list: the record behind a row, copying rows
// as log lines, and a row's menu.

#include "monitor/framelistpanel.h"

#include "codec/buslogfile.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "filter/recordfilter.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "serial/bussession.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QSet>
#include <QTableView>

#include <algorithm>

namespace {

// A word of the filter: a text with spaces, or one that would be read as an
// expression ("R&D"), goes in double quotes, so that it is matched as one
// phrase.
QString filterWord(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSpace())
            return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return looksLikeFilterExpression(text) ? QLatin1Char('"') + text + QLatin1Char('"') : text;
}

void copyToClipboard(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

} // namespace

// --- Rows -------------------------------------------------------------------------

const BusRecord *FrameListPanel::recordOfIndex(const QModelIndex &index) const
{
    // Through any proxy (a sorted view) to the model that holds the records.
    QModelIndex source = index;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model()))
        source = proxy->mapToSource(source);
    if (!source.isValid())
        return nullptr;
    if (source.model() == frameModel)
        return frameModel->recordAt(source.row());
    if (source.model() == latestModel)
        return latestModel->recordAt(source.row());
    return nullptr;
}

QString FrameListPanel::selectedRowsText() const
{
    // From the ranges, not one index per cell: Ctrl+A on a full list is
    // 100,000 rows of nine cells.
    QSet<int> rowSet;
    for (const QItemSelectionRange &range : tableViewFrames->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rowSet.insert(row);
    }
    QVector<int> rows(rowSet.begin(), rowSet.end());
    std::sort(rows.begin(), rows.end());
    QByteArray text;
    for (int row : rows) {
        if (const BusRecord *record = recordOfIndex(tableViewFrames->model()->index(row, 0)))
            text += busLogLineOf(*record, busSession->preciseLogs());
    }
    return QString::fromUtf8(text);
}

void FrameListPanel::on_shortcutCopy_activated()
{
    const QString text = selectedRowsText();
    if (!text.isEmpty())
        copyToClipboard(text);
}

void FrameListPanel::on_shortcutFilter_activated()
{
    LineEditFilter->setFocus(Qt::ShortcutFocusReason);
    LineEditFilter->selectAll();
}

void FrameListPanel::filterBy(const QString &text)
{
    LineEditFilter->setText(filterWord(text));
}

QMenu *FrameListPanel::frameMenu(const QModelIndex &index)
{
    auto *menu = new QMenu(tableViewFrames);
    menu->setObjectName(QStringLiteral("menuFrame"));
    const BusRecord *found = recordOfIndex(index);
    if (!found)
        return menu;
    // A copy: the list goes on filling, and dropping, while the menu is open.
    const BusRecord record = *found;
    auto add = [&](const char *name, const QString &text, bool enabled, auto slot) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
    };
    add("actionCopyFrame", QStringLiteral("Copy frame"), true,
        [bytes = record.bytes] { copyToClipboard(frameToHexText(bytes)); });
    if (record.kind == BusRecord::Noise)
        return menu;
    add("actionOpenFrame", QStringLiteral("Open on Decode page"), true,
        [this, bytes = record.bytes] { emit frameOpened(frameToHexText(bytes)); });
    add("actionPutInSendField", QStringLiteral("Put in Send field"), true,
        [this, bytes = record.bytes] { emit putInSendRequested(bytes); });
    menu->addSeparator();
    add("actionFilterNode", QStringLiteral("Filter by this node"), record.parsed,
        [this, node = nodeIdText(record.sourceAddress)] { filterBy(node); });
    add("actionFilterDevice", QStringLiteral("Filter by this device"), !record.device.isEmpty(),
        [this, device = record.device] { filterBy(device); });
    add("actionFilterMessage", QStringLiteral("Filter by this message"), !record.message.isEmpty(),
        [this, message = record.message] { filterBy(message); });
    emit recordMenuRequested(menu, record);
    return menu;
}

void FrameListPanel::on_tableViewFrames_customContextMenuRequested(const QPoint &pos)
{
    const QModelIndex index = tableViewFrames->indexAt(pos);
    if (!index.isValid())
        return;
    QMenu *menu = frameMenu(index);
    menu->exec(tableViewFrames->viewport()->mapToGlobal(pos));
    delete menu;
}
