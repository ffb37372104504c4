#include "monitor/framelistheader.h"

#include "monitor/columnfitter.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "widgets/elidingdelegate.h"
#include "widgets/firstshow.h"
#include "widgets/settingsstore.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QSet>
#include <QTableView>

#include <algorithm>

namespace {

const QString kListHeaderKey = QStringLiteral("bus/listHeader");
const QString kLatestHeaderKey = QStringLiteral("bus/latestHeader");
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

} // namespace

FrameListHeader::FrameListHeader(QTableView *view, FrameTableModel *frames, LatestMessageModel *latest,
                                 QObject *parent)
    : QObject(parent), tableViewFrames(view), frameModel(frames), latestModel(latest)
{
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
    connect(header, &QWidget::customContextMenuRequested, this, &FrameListHeader::showColumnMenu);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &FrameListHeader::saveHeaderStates);
}

// --- Columns ------------------------------------------------------------------------

bool FrameListHeader::latestShown() const
{
    return tableViewFrames->model() != frameModel;
}

void FrameListHeader::setColumnWidths()
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
    const QVector<int> widths = latestShown()
        ? QVector<int>{time, device, message, route, values, fit("Count"), fit("Rate /s"), delta}
        : QVector<int>{time, delta, fit("Dir"), device, message, route, values,
                       fit("00112233445566778899AABB"), fit("Checksum"), fit("unsolicited")};
    for (int column = 0; column < widths.size(); ++column)
        tableViewFrames->setColumnWidth(column, widths.at(column));
}

// Names as wide as the longest held, up to a limit; numbers and times always
// whole. Values, stretched, takes the rest.
void FrameListHeader::buildColumnFitters()
{
    // The names take at most a sixth and a fifth of the list, so that in the
    // window's first size short names show whole and the values keep some
    // room; a maximised window shows them whole.
    constexpr double kDeviceShare = 0.17;
    constexpr double kMessageShare = 0.2;
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

void FrameListHeader::setDefaultHeader()
{
    QHeaderView *header = tableViewFrames->horizontalHeader();
    const bool latest = latestShown();
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
    // better there. The Reply column too: in the window's first size it
    // would leave the values no room; the column menu shows it.
    if (latest) {
        header->setSectionHidden(LatestMessageModel::Time, true);
    } else {
        for (int column : {int(ColumnDelta), int(ColumnDirection), int(ColumnBytes), int(ColumnChecksum),
                           FrameTableModel::ColumnReply})
            header->setSectionHidden(column, true);
    }
}

void FrameListHeader::keepHeaderState()
{
    if (!headerReady)
        return;
    (headerOfLatest ? latestHeaderState : listHeaderState) = tableViewFrames->horizontalHeader()->saveState();
}

void FrameListHeader::showHeaderState()
{
    if (!headerReady)
        return;
    headerOfLatest = latestShown();
    QHeaderView *header = tableViewFrames->horizontalHeader();
    const QByteArray &state = headerOfLatest ? latestHeaderState : listHeaderState;
    // A state of other columns (an older version's) is not used.
    const int columns = tableViewFrames->model()->columnCount();
    if (state.isEmpty() || !header->restoreState(state) || header->count() != columns
        || header->hiddenSectionCount() >= columns)
        setDefaultHeader();

    const int device = headerOfLatest ? int(LatestMessageModel::Device) : int(ColumnDevice);
    const int message = headerOfLatest ? int(LatestMessageModel::Message) : int(ColumnMessage);
    for (int column = 0; column < std::max(int(FrameTableModel::ColumnCount), int(LatestMessageModel::ColumnCount)); ++column)
        tableViewFrames->setItemDelegateForColumn(
            column, column == device || column == message ? delegateElideMiddle : nullptr);
    (headerOfLatest ? latestFitter : listFitter)->apply();
}

void FrameListHeader::saveHeaderStates()
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

QMenu *FrameListHeader::columnMenu()
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

void FrameListHeader::showColumnMenu(const QPoint &pos)
{
    QMenu *menu = columnMenu();
    menu->exec(tableViewFrames->horizontalHeader()->viewport()->mapToGlobal(pos));
    delete menu;
}
