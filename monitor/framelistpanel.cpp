#include "monitor/framelistpanel.h"

#include "bustools/showntrace.h"
#include "codec/frame.h"
#include "filter/recordfilter.h"
#include "monitor/framelistheader.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "serial/bussession.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kTimeModeKey = QStringLiteral("bus/timeMode");
const QString kSplitterKey = QStringLiteral("bus/detailSplitter");
const QString kWordsToolTip = QStringLiteral("Show the frames with all these words in their columns; -word leaves "
                                             "out, \"a phrase\" is one word; or an expression, as "
                                             "[Position] > 80 and not checksum_ok");

} // namespace

FrameListPanel::FrameListPanel(ShownTrace *shown, FrameTableModel *frames, LatestMessageModel *latest,
                               QWidget *parent)
    : QWidget(parent), shownTrace(shown), busSession(shown->liveSession()), frameModel(frames), latestModel(latest)
{
    latestSorted = named(new QSortFilterProxyModel(this), QStringLiteral("latestSorted"));
    latestSorted->setSourceModel(latestModel);
    latestSorted->setSortRole(LatestMessageModel::SortRole);
    latestSorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    buildToolsRow();
    buildListView();
    buildTimeControls();
    buildTrigger();
    rowFilter = busSession->rowFilter(QString());
    splitterFrames = named(new QSplitter(Qt::Vertical), QStringLiteral("splitterFrames"));
    splitterFrames->addWidget(tableViewFrames);
    splitterFrames->setCollapsible(0, false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(layoutTools);
    layout->addLayout(layoutTrigger);
    layout->addWidget(splitterFrames, 1);
    makeConnections();
    watchCurrentRow();
}

void FrameListPanel::buildToolsRow()
{
    layoutTools = named(new QHBoxLayout, QStringLiteral("layoutTools"));
    LineEditFilter = named(new QLineEdit, QStringLiteral("LineEditFilter"));
    LineEditFilter->setPlaceholderText(QStringLiteral("Filter"));
    LineEditFilter->setClearButtonEnabled(true);
    LineEditFilter->setToolTip(kWordsToolTip);
    labelFilterCount = named(new QLabel, QStringLiteral("labelFilterCount"));
    labelFilterCount->setToolTip(QStringLiteral("Rows shown of the rows held"));
    labelFilterCount->setVisible(false);
    checkBoxLatest = named(new QCheckBox(QStringLiteral("Latest")), QStringLiteral("checkBoxLatest"));
    checkBoxLatest->setToolTip(QStringLiteral("Latest per message: one row per source and message, with its count and rate"));
    buttonPause = named(new QPushButton(QStringLiteral("Pause")), QStringLiteral("buttonPause"));
    buttonPause->setCheckable(true);
    buttonPause->setToolTip(QStringLiteral("Freeze the list; frames are still received and counted"));
    buttonClear = named(new QPushButton(QStringLiteral("Clear")), QStringLiteral("buttonClear"));
    layoutTools->addWidget(LineEditFilter, 1);
    layoutTools->addWidget(labelFilterCount);
    layoutTools->addWidget(checkBoxLatest);
    layoutTools->addWidget(buttonPause);
    layoutTools->addWidget(buttonClear);
}

void FrameListPanel::buildListView()
{
    tableViewFrames = named(new QTableView, QStringLiteral("tableViewFrames"));
    tableViewFrames->setModel(frameModel);
    tableViewFrames->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableViewFrames->setWordWrap(false);
    tableViewFrames->verticalHeader()->hide();
    // Fixed row heights and column widths: the view never measures rows.
    tableViewFrames->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableViewFrames->verticalHeader()->setDefaultSectionSize(20);
    // Whole rows, several at a time (Shift, Ctrl), for Ctrl+C.
    tableViewFrames->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableViewFrames->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableViewFrames->setContextMenuPolicy(Qt::CustomContextMenu);
    listHeader = new FrameListHeader(tableViewFrames, frameModel, latestModel, this);
    listHeader->setObjectName(QStringLiteral("listHeader"));

    // Ctrl+F wherever the focus is while the page is shown (a shortcut of a
    // hidden widget does not fire); Ctrl+C in the list copies whole rows,
    // not the one cell the view would.
    shortcutFilter = new QShortcut(QKeySequence::Find, LineEditFilter);
    shortcutFilter->setObjectName(QStringLiteral("shortcutFilter"));
    shortcutFilter->setContext(Qt::WindowShortcut);
    shortcutCopy = new QShortcut(QKeySequence::Copy, tableViewFrames);
    shortcutCopy->setObjectName(QStringLiteral("shortcutCopy"));
    shortcutCopy->setContext(Qt::WidgetShortcut);
}

void FrameListPanel::setLowerWidget(QWidget *widget)
{
    splitterFrames->addWidget(widget);
    // The list first: the widget under it is for a closer look at one row.
    splitterFrames->setStretchFactor(0, 3);
    splitterFrames->setStretchFactor(1, 1);
    splitterFrames->setSizes({360, 120});
    splitterFrames->restoreState(settingsStore().value(kSplitterKey).toByteArray());
}

void FrameListPanel::makeConnections()
{
    connect(LineEditFilter, &QLineEdit::textChanged, this, &FrameListPanel::on_LineEditFilter_textChanged);
    connect(checkBoxLatest, &QCheckBox::toggled, this, &FrameListPanel::on_checkBoxLatest_toggled);
    connect(buttonPause, &QPushButton::toggled, this, &FrameListPanel::on_buttonPause_toggled);
    connect(buttonClear, &QPushButton::clicked, shownTrace, &ShownTrace::clear);
    connect(shownTrace, &ShownTrace::appending, this, &FrameListPanel::beginAppend);
    connect(shownTrace, &ShownTrace::appended, this, &FrameListPanel::endAppend);
    connect(frameModel, &FrameTableModel::countsChanged, this, &FrameListPanel::showFilterCount);
    connect(frameModel, &FrameTableModel::rowFilterApplied, this, &FrameListPanel::followRowFilter);
    // Enter gives activated; a double click gives both, and showing the
    // same frame twice is harmless.
    connect(tableViewFrames, &QTableView::activated, this, &FrameListPanel::on_tableViewFrames_activated);
    connect(tableViewFrames, &QTableView::doubleClicked, this, &FrameListPanel::on_tableViewFrames_activated);
    connect(tableViewFrames, &QWidget::customContextMenuRequested, this,
            &FrameListPanel::on_tableViewFrames_customContextMenuRequested);
    connect(shortcutFilter, &QShortcut::activated, this, &FrameListPanel::on_shortcutFilter_activated);
    connect(shortcutCopy, &QShortcut::activated, this, &FrameListPanel::on_shortcutCopy_activated);
    connect(splitterFrames, &QSplitter::splitterMoved, this,
            [this] { settingsStore().setValue(kSplitterKey, splitterFrames->saveState()); });
    // Rows the ring drops off the top while the list is scrolled up.
    connect(frameModel, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        if (first == 0)
            following.rowsDroppedFromTop += last + 1;
    });
    // The list follows new rows while it sits at the bottom, also when the
    // view's room changes under it (a scroll bar coming, the window resized).
    QScrollBar *bar = tableViewFrames->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!following.updatingList)
            following.listFollowing = value >= bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (following.listFollowing && !following.updatingList && !checkBoxLatest->isChecked())
            bar->setValue(maximum);
    });
}

// --- Times ------------------------------------------------------------------------

void FrameListPanel::buildTimeControls()
{
    comboBoxTimeMode = new QComboBox;
    comboBoxTimeMode->setObjectName(QStringLiteral("comboBoxTimeMode"));
    // In the order of FrameTableModel::TimeMode.
    comboBoxTimeMode->addItems({QStringLiteral("Clock time"), QStringLiteral("Since first"),
                                QStringLiteral("\u0394 to row above")});
    comboBoxTimeMode->setToolTip(QStringLiteral("What the Time column shows: the time of day, the seconds since "
                                                "the first frame, or the ms since the row above"));
    layoutTools->insertWidget(layoutTools->indexOf(checkBoxLatest) + 1, comboBoxTimeMode);

    QSettings settings = settingsStore();
    const int mode = settings.value(kTimeModeKey, 0).toInt();
    comboBoxTimeMode->setCurrentIndex(mode >= 0 && mode < comboBoxTimeMode->count() ? mode : 0);
    on_comboBoxTimeMode_currentIndexChanged(comboBoxTimeMode->currentIndex());
    connect(comboBoxTimeMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FrameListPanel::on_comboBoxTimeMode_currentIndexChanged);
}

void FrameListPanel::on_comboBoxTimeMode_currentIndexChanged(int index)
{
    frameModel->setTimeMode(FrameTableModel::TimeMode(qBound(0, index, int(FrameTableModel::TimeModeCount) - 1)));
    settingsStore().setValue(kTimeModeKey, index);
}

// --- The list -----------------------------------------------------------------------

void FrameListPanel::beginAppend()
{
    QScrollBar *bar = tableViewFrames->verticalScrollBar();
    following.atBottomBeforeAppend = following.listFollowing || bar->value() >= bar->maximum();
    following.valueBeforeAppend = bar->value();
    following.rowsDroppedFromTop = 0;
    following.updatingList = true;
}

void FrameListPanel::endAppend()
{
    following.updatingList = false;
    if (checkBoxLatest->isChecked())
        return;
    if (following.atBottomBeforeAppend)
        tableViewFrames->scrollToBottom();
    else if (following.rowsDroppedFromTop > 0)
        // The rows on screen stay there until they themselves are dropped.
        tableViewFrames->verticalScrollBar()->setValue(qMax(0, following.valueBeforeAppend - following.rowsDroppedFromTop));
}

void FrameListPanel::on_buttonPause_toggled(bool checked)
{
    busSession->setPaused(checked);
}

// Compiling is quick; the list takes the new filter through its rows, at
// once for a short list, in slices for a long one (followRowFilter comes
// when it is done). A refused expression leaves the rows as the last filter
// chose them.
void FrameListPanel::on_LineEditFilter_textChanged(const QString &text)
{
    const std::shared_ptr<RecordFilter> filter = busSession->rowFilter(text);
    showFilterKind(*filter);
    if (filter->kind() == RecordFilter::Refused)
        return;
    frameModel->setRowFilter(filter);
}

// The list shows the rows of `filter` now: Latest, Nodes and the trigger follow.
void FrameListPanel::followRowFilter(const std::shared_ptr<const RecordFilter> &filter)
{
    rowFilter = filter;
    latestModel->setRowFilter(filter);
    emit rowFilterChanged(filter);
    armTrigger();
    if (!checkBoxLatest->isChecked())
        tableViewFrames->scrollToBottom();
}

void FrameListPanel::showFilterKind(const RecordFilter &filter)
{
    switch (filter.kind()) {
    case RecordFilter::Words:
        LineEditFilter->setStyleSheet(QString());
        LineEditFilter->setToolTip(kWordsToolTip);
        break;
    case RecordFilter::Expression:
        LineEditFilter->setStyleSheet(QStringLiteral("#LineEditFilter { border: 2px solid #2e8b3e; }"));
        LineEditFilter->setToolTip(QStringLiteral("Filter expression: the frames it selects"));
        break;
    case RecordFilter::Refused: {
        const QString text = QStringLiteral("Filter: ") + filter.error().text();
        LineEditFilter->setStyleSheet(QStringLiteral("#LineEditFilter { border: 2px solid #d0302a; }"));
        LineEditFilter->setToolTip(text);
        emit message(text, true);
        break;
    }
    }
}

// --- The trigger ----------------------------------------------------------------------

void FrameListPanel::buildTrigger()
{
    checkBoxPauseOnMatch = named(new QCheckBox(QStringLiteral("Pause when it matches")),
                                 QStringLiteral("checkBoxPauseOnMatch"));
    checkBoxPauseOnMatch->setToolTip(QStringLiteral("Pause the list once a frame arriving on the bus matches the "
                                                    "filter, after it and the frames set beside; frames are still "
                                                    "counted"));
    spinBoxPauseAfter = named(new QSpinBox, QStringLiteral("spinBoxPauseAfter"));
    spinBoxPauseAfter->setRange(0, 1000000);
    spinBoxPauseAfter->setPrefix(QStringLiteral("and "));
    spinBoxPauseAfter->setSuffix(QStringLiteral(" more"));
    spinBoxPauseAfter->setToolTip(QStringLiteral("Frames shown after the matching one before the list pauses"));
    // A row of its own under the tools: the tools row has no room to spare
    // in the window's first size.
    layoutTrigger = named(new QHBoxLayout, QStringLiteral("layoutTrigger"));
    layoutTrigger->addWidget(checkBoxPauseOnMatch);
    layoutTrigger->addWidget(spinBoxPauseAfter);
    layoutTrigger->addStretch(1);
    connect(checkBoxPauseOnMatch, &QCheckBox::toggled, this, &FrameListPanel::on_checkBoxPauseOnMatch_toggled);
    connect(spinBoxPauseAfter, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &FrameListPanel::on_spinBoxPauseAfter_valueChanged);
    // Paused by the trigger, or going on: the button says so.
    connect(busSession, &BusSession::pausedChanged, buttonPause, &QPushButton::setChecked);
}

void FrameListPanel::on_checkBoxPauseOnMatch_toggled(bool checked)
{
    Q_UNUSED(checked)
    armTrigger();
}

void FrameListPanel::on_spinBoxPauseAfter_valueChanged(int frames)
{
    Q_UNUSED(frames)
    armTrigger();
}

void FrameListPanel::armTrigger()
{
    if (!checkBoxPauseOnMatch->isChecked()) {
        busSession->setPauseTrigger({}, 0);
        return;
    }
    busSession->setPauseTrigger([filter = rowFilter](const BusRecord &record) { return filter->matches(record); },
                                spinBoxPauseAfter->value());
}

void FrameListPanel::on_checkBoxLatest_toggled(bool checked)
{
    listHeader->keepHeaderState();
    showLatest(checked);
    listHeader->showHeaderState();
    if (!checked)
        tableViewFrames->scrollToBottom();
    watchCurrentRow();
}

void FrameListPanel::on_tableViewFrames_activated(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const BusRecord *record = recordOfIndex(index);
    if (record && (record->kind == BusRecord::Received || record->kind == BusRecord::Sent))
        emit frameOpened(frameToHexText(record->bytes));
}

void FrameListPanel::showFilterCount()
{
    labelFilterCount->setVisible(frameModel->isFiltering());
    if (frameModel->isFiltering())
        labelFilterCount->setText(QStringLiteral("%1 of %2").arg(frameModel->shownCount()).arg(frameModel->heldCount()));
}

void FrameListPanel::showLatest(bool latest)
{
    // Sorting off first: the list is never sorted, only the Latest view.
    if (!latest)
        tableViewFrames->setSortingEnabled(false);
    tableViewFrames->setModel(latest ? static_cast<QAbstractItemModel *>(latestSorted) : frameModel);
    if (latest) {
        // The order last chosen, or none (order of first appearance).
        tableViewFrames->horizontalHeader()->setSortIndicator(latestSorted->sortColumn(), latestSorted->sortOrder());
        tableViewFrames->setSortingEnabled(true);
    }
}

QMenu *FrameListPanel::columnMenu()
{
    return listHeader->columnMenu();
}

FrameListPanel::~FrameListPanel()
{
    listHeader->saveHeaderStates();
}

// --- The current row ----------------------------------------------------------------

void FrameListPanel::watchCurrentRow()
{
    for (const QMetaObject::Connection &watch : qAsConst(currentWatches))
        disconnect(watch);
    currentWatches.clear();
    QAbstractItemModel *model = tableViewFrames->model();
    currentWatches << connect(tableViewFrames->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                              &FrameListPanel::showCurrentRow);
    // A reset (Clear, a new filter) leaves no current row, without a word.
    currentWatches << connect(model, &QAbstractItemModel::modelReset, this, &FrameListPanel::showCurrentRow);
    // A Latest row takes each new frame of its message in place.
    currentWatches << connect(model, &QAbstractItemModel::dataChanged, this,
                              [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                                  const int row = tableViewFrames->currentIndex().row();
                                  if (row >= topLeft.row() && row <= bottomRight.row())
                                      showCurrentRow();
                              });
    showCurrentRow();
}

void FrameListPanel::showCurrentRow()
{
    const QModelIndex current = tableViewFrames->currentIndex();
    emit currentRecordChanged(current.isValid() ? recordOfIndex(current) : nullptr);
    const bool listed = current.isValid() && !checkBoxLatest->isChecked();
    emit currentSequenceChanged(listed ? qint64(frameModel->shownSequence()[size_t(current.row())]) : -1);
}

void FrameListPanel::setFilterText(const QString &text)
{
    LineEditFilter->setText(text);
}

void FrameListPanel::selectSequence(quint64 sequence)
{
    checkBoxLatest->setChecked(false);
    auto rowOf = [this, sequence] {
        const std::deque<quint64> &shown = frameModel->shownSequence();
        const auto found = std::lower_bound(shown.begin(), shown.end(), sequence);
        return found != shown.end() && *found == sequence ? int(found - shown.begin()) : -1;
    };
    int row = rowOf();
    if (row < 0 && frameModel->isFiltering()) {
        LineEditFilter->clear();
        row = rowOf();
    }
    if (row < 0) {
        emit message(QStringLiteral("That frame is no longer in the list"), true);
        return;
    }
    const QModelIndex index = frameModel->index(row, 0);
    tableViewFrames->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    following.listFollowing = false;
    tableViewFrames->scrollTo(index, QAbstractItemView::PositionAtCenter);
}
