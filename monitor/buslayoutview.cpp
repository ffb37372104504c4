// The Bus page's list as a view: its columns and their header, its keys, the
// menus of its rows, and how times are shown and logged.

#include "monitor/buslayout.h"

#include "codec/buslogfile.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "monitor/columnfitter.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "serial/bussession.h"
#include "widgets/elidingdelegate.h"
#include "widgets/firstshow.h"
#include "widgets/settingsstore.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QTableView>

#include <algorithm>

namespace {

const QString kListHeaderKey = QStringLiteral("bus/listHeader");
const QString kLatestHeaderKey = QStringLiteral("bus/latestHeader");
const QString kTimeModeKey = QStringLiteral("bus/timeMode");
const QString kPreciseLogsKey = QStringLiteral("bus/preciseLogs");
const QString kListUserSizedKey = QStringLiteral("bus/listUserSized");
const QString kLatestUserSizedKey = QStringLiteral("bus/latestUserSized");

QSet<int> columnSet(const QVariant &value)
{
    QSet<int> columns;
    for (const QVariant &column : value.toList())
        columns.insert(column.toInt());
    return columns;
}

QVariantList columnList(const QSet<int> &columns)
{
    QVariantList list;
    for (int column : columns)
        list.append(column);
    return list;
}

// A word of the filter: a text with spaces goes in double quotes, so that it
// is matched as one phrase.
QString filterWord(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSpace())
            return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

void copyToClipboard(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

} // namespace

void BusLayout::setUpFrameView()
{
    // Whole rows, several at a time (Shift, Ctrl), for Ctrl+C.
    tableViewFrames->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableViewFrames->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableViewFrames->setContextMenuPolicy(Qt::CustomContextMenu);
    // Names keep their start and end when elided; the full text is the cell's
    // tool tip.
    delegateElideMiddle = new ElidingDelegate(Qt::ElideMiddle, tableViewFrames);
    delegateElideMiddle->setObjectName(QStringLiteral("delegateElideMiddle"));

    QHeaderView *header = tableViewFrames->horizontalHeader();
    header->setSectionsMovable(true);
    // A title wider than its column ends in "…" rather than being cut.
    header->setTextElideMode(Qt::ElideRight);
    header->setContextMenuPolicy(Qt::CustomContextMenu);

    buildColumnFitters();
    callOnFirstShow(tableViewFrames, [this] {
        QSettings settings = settingsStore();
        listHeaderState = settings.value(kListHeaderKey).toByteArray();
        latestHeaderState = settings.value(kLatestHeaderKey).toByteArray();
        listFitter->setUserSized(columnSet(settings.value(kListUserSizedKey)));
        latestFitter->setUserSized(columnSet(settings.value(kLatestUserSizedKey)));
        headerReady = true;
        showHeaderState();
    });

    // Ctrl+F wherever the focus is while the page is shown (a shortcut of a
    // hidden widget does not fire); Ctrl+C in the list copies whole rows,
    // not the one cell the view would.
    shortcutFilter = new QShortcut(QKeySequence::Find, LineEditFilter);
    shortcutFilter->setObjectName(QStringLiteral("shortcutFilter"));
    shortcutFilter->setContext(Qt::WindowShortcut);
    shortcutCopy = new QShortcut(QKeySequence::Copy, tableViewFrames);
    shortcutCopy->setObjectName(QStringLiteral("shortcutCopy"));
    shortcutCopy->setContext(Qt::WidgetShortcut);

    connect(shortcutFilter, &QShortcut::activated, this, &BusLayout::on_shortcutFilter_activated);
    connect(shortcutCopy, &QShortcut::activated, this, &BusLayout::on_shortcutCopy_activated);
    connect(tableViewFrames, &QWidget::customContextMenuRequested, this,
            &BusLayout::on_tableViewFrames_customContextMenuRequested);
    connect(header, &QWidget::customContextMenuRequested, this, &BusLayout::showColumnMenu);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &BusLayout::saveHeaderStates);
}

// --- Times ------------------------------------------------------------------------

void BusLayout::buildTimeControls()
{
    comboBoxTimeMode = new QComboBox;
    comboBoxTimeMode->setObjectName(QStringLiteral("comboBoxTimeMode"));
    // In the order of FrameTableModel::TimeMode.
    comboBoxTimeMode->addItems({QStringLiteral("Clock time"), QStringLiteral("Since first"),
                                QStringLiteral("\u0394 to row above")});
    comboBoxTimeMode->setToolTip(QStringLiteral("What the Time column shows: the time of day, the seconds since "
                                                "the first frame, or the ms since the row above"));
    layoutTools->insertWidget(layoutTools->indexOf(checkBoxLatest) + 1, comboBoxTimeMode);
    checkBoxPreciseLogs = new QCheckBox(QStringLiteral("\u00b5s in logs"));
    checkBoxPreciseLogs->setObjectName(QStringLiteral("checkBoxPreciseLogs"));
    checkBoxPreciseLogs->setToolTip(QStringLiteral("Save, Record and Copy write times to the microsecond "
                                                   "rather than the millisecond"));
    layoutLog->insertWidget(layoutLog->indexOf(buttonRecord) + 1, checkBoxPreciseLogs);

    QSettings settings = settingsStore();
    const int mode = settings.value(kTimeModeKey, 0).toInt();
    comboBoxTimeMode->setCurrentIndex(mode >= 0 && mode < comboBoxTimeMode->count() ? mode : 0);
    on_comboBoxTimeMode_currentIndexChanged(comboBoxTimeMode->currentIndex());
    checkBoxPreciseLogs->setChecked(settings.value(kPreciseLogsKey, false).toBool());
    busSession->setPreciseLogs(checkBoxPreciseLogs->isChecked());
    connect(comboBoxTimeMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &BusLayout::on_comboBoxTimeMode_currentIndexChanged);
    connect(checkBoxPreciseLogs, &QCheckBox::toggled, this, &BusLayout::on_checkBoxPreciseLogs_toggled);
}

void BusLayout::on_comboBoxTimeMode_currentIndexChanged(int index)
{
    frameModel->setTimeMode(FrameTableModel::TimeMode(qBound(0, index, int(FrameTableModel::TimeModeCount) - 1)));
    settingsStore().setValue(kTimeModeKey, index);
}

void BusLayout::on_checkBoxPreciseLogs_toggled(bool checked)
{
    busSession->setPreciseLogs(checked);
    settingsStore().setValue(kPreciseLogsKey, checked);
}

// --- Columns ------------------------------------------------------------------------

void BusLayout::setColumnWidths()
{
    // Sized by sample texts in the view's font (with the cell's margins), so
    // that times and point-to-point routes show whole and, in a desktop's
    // usual font, a 740-pixel window still shows some of the values. Names
    // get less than the longest need, elided in the middle and whole in
    // their tool tips; Values takes what is left.
    const QFontMetrics metrics(tableViewFrames->font());
    auto fit = [&](const char *sample) {
        return metrics.horizontalAdvance(QString::fromUtf8(sample)) + 8;
    };
    const int time = fit("00:00:00.000000");
    // A Δ up to 99.999 ms whole; the names give up some room to the µs.
    const int delta = qMax(fit("\u0394 ms"), fit("99.999"));
    const int device = fit("QX-D");
    const int message = fit("Get Mot");
    const int route = fit("00A1B2 \u2192 00C3D4");
    const int values = fit("Values");
    const QVector<int> widths = checkBoxLatest->isChecked()
        ? QVector<int>{time, device, message, route, values, fit("Count"), fit("Rate /s"), delta}
        : QVector<int>{time, delta, fit("Dir"), device, message, route, values,
                       fit("00112233445566778899AABB"), fit("Checksum")};
    for (int column = 0; column < widths.size(); ++column)
        tableViewFrames->setColumnWidth(column, widths.at(column));
}

// Names as wide as the longest held, up to a limit; numbers and times always
// whole. Values, stretched, takes the rest.
void BusLayout::buildColumnFitters()
{
    // The names take at most a sixth or so of the list each, so that in the
    // window's first size the values keep some room; a maximised window
    // shows them whole.
    constexpr double kDeviceShare = 0.14;
    constexpr double kMessageShare = 0.17;
    const int nameLimit = QFontMetrics(tableViewFrames->font()).averageCharWidth() * 26;
    using Fit = ColumnFitter::Column;
    listFitter = new ColumnFitter(tableViewFrames, frameModel,
                                  {Fit{ColumnTime, 0}, Fit{ColumnDelta, 0, 0, true},
                                   Fit{ColumnDevice, nameLimit, kDeviceShare},
                                   Fit{ColumnMessage, nameLimit, kMessageShare}, Fit{ColumnRoute, 0},
                                   Fit{ColumnChecksum, 0}},
                                  this);
    listFitter->setObjectName(QStringLiteral("listFitter"));
    latestFitter = new ColumnFitter(
        tableViewFrames, latestModel,
        {Fit{LatestMessageModel::Time, 0}, Fit{LatestMessageModel::Device, nameLimit, kDeviceShare},
         Fit{LatestMessageModel::Message, nameLimit, kMessageShare}, Fit{LatestMessageModel::Route, 0},
         Fit{LatestMessageModel::Count, 0, 0, true}, Fit{LatestMessageModel::Rate, 0, 0, true},
         Fit{LatestMessageModel::Delta, 0, 0, true}},
        this);
    latestFitter->setObjectName(QStringLiteral("latestFitter"));
}

void BusLayout::setDefaultHeader()
{
    QHeaderView *header = tableViewFrames->horizontalHeader();
    const bool latest = checkBoxLatest->isChecked();
    for (int logical = 0; logical < header->count(); ++logical) {
        header->moveSection(header->visualIndex(logical), logical);
        header->setSectionHidden(logical, false);
    }
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    setColumnWidths();
    header->setSectionResizeMode(latest ? int(LatestMessageModel::Values) : int(ColumnValues),
                                 QHeaderView::Stretch);
    // What the list needs least, for the room the values want: the bytes and
    // checksum (Save, the detail pane and the Decode page have them), the
    // direction (sent rows have a colour of their own) and Δ (the time
    // column can show it); in Latest the time, which Count and Rate tell
    // better there.
    if (latest) {
        header->setSectionHidden(LatestMessageModel::Time, true);
    } else {
        for (int column : {ColumnDelta, ColumnDirection, ColumnBytes, ColumnChecksum})
            header->setSectionHidden(column, true);
    }
}

void BusLayout::keepHeaderState()
{
    if (!headerReady)
        return;
    (headerOfLatest ? latestHeaderState : listHeaderState) = tableViewFrames->horizontalHeader()->saveState();
}

void BusLayout::showHeaderState()
{
    if (!headerReady)
        return;
    headerOfLatest = checkBoxLatest->isChecked();
    QHeaderView *header = tableViewFrames->horizontalHeader();
    const QByteArray &state = headerOfLatest ? latestHeaderState : listHeaderState;
    // A state of other columns (an older version's) is not used.
    const int columns = tableViewFrames->model()->columnCount();
    if (state.isEmpty() || !header->restoreState(state) || header->count() != columns
        || header->hiddenSectionCount() >= columns)
        setDefaultHeader();

    const int device = headerOfLatest ? int(LatestMessageModel::Device) : int(ColumnDevice);
    const int message = headerOfLatest ? int(LatestMessageModel::Message) : int(ColumnMessage);
    for (int column = 0; column < std::max(int(BusColumnCount), int(LatestMessageModel::ColumnCount)); ++column)
        tableViewFrames->setItemDelegateForColumn(
            column, column == device || column == message ? delegateElideMiddle : nullptr);
    (headerOfLatest ? latestFitter : listFitter)->apply();
}

void BusLayout::saveHeaderStates()
{
    if (!headerReady)
        return;
    keepHeaderState();
    QSettings settings = settingsStore();
    if (!listHeaderState.isEmpty())
        settings.setValue(kListHeaderKey, listHeaderState);
    if (!latestHeaderState.isEmpty())
        settings.setValue(kLatestHeaderKey, latestHeaderState);
    settings.setValue(kListUserSizedKey, columnList(listFitter->userSized()));
    settings.setValue(kLatestUserSizedKey, columnList(latestFitter->userSized()));
}

QMenu *BusLayout::columnMenu()
{
    QHeaderView *header = tableViewFrames->horizontalHeader();
    auto *menu = new QMenu(tableViewFrames);
    menu->setObjectName(QStringLiteral("menuColumns"));
    const int shown = header->count() - header->hiddenSectionCount();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        const QString name = tableViewFrames->model()->headerData(logical, Qt::Horizontal).toString();
        QAction *action = menu->addAction(name);
        action->setCheckable(true);
        action->setChecked(!header->isSectionHidden(logical));
        // The last column shown stays.
        action->setEnabled(!action->isChecked() || shown > 1);
        connect(action, &QAction::toggled, this, [this, logical](bool checked) {
            tableViewFrames->horizontalHeader()->setSectionHidden(logical, !checked);
            saveHeaderStates();
        });
    }
    return menu;
}

void BusLayout::showColumnMenu(const QPoint &pos)
{
    QMenu *menu = columnMenu();
    menu->exec(tableViewFrames->horizontalHeader()->viewport()->mapToGlobal(pos));
    delete menu;
}

// --- Rows -------------------------------------------------------------------------

const BusRecord *BusLayout::recordOfIndex(const QModelIndex &index) const
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

QString BusLayout::selectedRowsText() const
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
            text += busLogLineOf(*record, checkBoxPreciseLogs->isChecked());
    }
    return QString::fromUtf8(text);
}

void BusLayout::on_shortcutCopy_activated()
{
    const QString text = selectedRowsText();
    if (!text.isEmpty())
        copyToClipboard(text);
}

void BusLayout::on_shortcutFilter_activated()
{
    LineEditFilter->setFocus(Qt::ShortcutFocusReason);
    LineEditFilter->selectAll();
}

void BusLayout::filterBy(const QString &text)
{
    LineEditFilter->setText(filterWord(text));
}

QMenu *BusLayout::frameMenu(const QModelIndex &index)
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
        [this, bytes = record.bytes] { putInSendField(bytes); });
    menu->addSeparator();
    add("actionFilterNode", QStringLiteral("Filter by this node"), record.parsed,
        [this, node = nodeIdText(record.sourceAddress)] { filterBy(node); });
    add("actionFilterDevice", QStringLiteral("Filter by this device"), !record.device.isEmpty(),
        [this, device = record.device] { filterBy(device); });
    add("actionFilterMessage", QStringLiteral("Filter by this message"), !record.message.isEmpty(),
        [this, message = record.message] { filterBy(message); });
    addPlotEntries(menu, record);
    return menu;
}

void BusLayout::on_tableViewFrames_customContextMenuRequested(const QPoint &pos)
{
    const QModelIndex index = tableViewFrames->indexAt(pos);
    if (!index.isValid())
        return;
    QMenu *menu = frameMenu(index);
    menu->exec(tableViewFrames->viewport()->mapToGlobal(pos));
    delete menu;
}
