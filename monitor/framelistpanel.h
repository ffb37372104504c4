#ifndef KWN_MONITOR_FRAMELISTPANEL_H
#define KWN_MONITOR_FRAMELISTPANEL_H

// The Bus page's frame list: the filter (words or an expression), Latest,
// the Time column's mode, Pause, the trigger that pauses when the filter
// matches, and Clear over the list, and the list itself in a splitter over
// whatever the page puts under it. The list follows new rows while it sits
// at the bottom; its rows can be copied, opened, put in the send field or
// filtered by; its current row is told to whoever shows it in full.

#include "codec/busrecord.h"

#include <QByteArray>
#include <QMetaObject>
#include <QVector>
#include <QWidget>

#include <memory>

class BusSession;
class FrameListHeader;
class FrameTableModel;
class LatestMessageModel;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPoint;
class QPushButton;
class QShortcut;
class QSortFilterProxyModel;
class QSpinBox;
class QSplitter;
class QTableView;
class RecordFilter;
class ShownTrace;

class FrameListPanel : public QWidget
{
    Q_OBJECT

public:
    // Of what `shown` shows; pausing, filters and the trigger are the live session's.
    FrameListPanel(ShownTrace *shown, FrameTableModel *frames, LatestMessageModel *latest,
                   QWidget *parent = nullptr);
    // The header's states are kept for next time.
    ~FrameListPanel() override;

    // Under the list, in the splitter whose place is remembered.
    void setLowerWidget(QWidget *widget);
    void filterBy(const QString &text);
    // The filter field's text as it is: words or an expression.
    void setFilterText(const QString &text);
    // Selects and shows the row of the record of this number: in the list of
    // every frame, without a filter when the filter leaves it out.
    void selectSequence(quint64 sequence);
    // A row's menu (of the model the list shows): copy, open, put in the
    // send field, filter by its node, device or message (a noise row can
    // only be copied); a new child of the list, which the caller may delete.
    QMenu *frameMenu(const QModelIndex &index);
    QMenu *columnMenu();

signals:
    void frameOpened(const QString &hexText);
    void putInSendRequested(const QByteArray &frame);
    // A row's menu is being made: whoever plots adds its entries.
    void recordMenuRequested(QMenu *menu, const BusRecord &record);
    // The list's current row, or null: valid only during the call.
    void currentRecordChanged(const BusRecord *record);
    // Then its sequence number in the store, or -1 (none, or a Latest row).
    void currentSequenceChanged(qint64 sequence);
    // A passing message for the status line: a filter expression refused.
    void message(const QString &text, bool error);
    // The list shows the rows of another filter: whatever else follows it.
    void rowFilterChanged(const std::shared_ptr<const RecordFilter> &filter);

private slots:
    void on_LineEditFilter_textChanged(const QString &text);
    void on_checkBoxLatest_toggled(bool checked);
    void on_comboBoxTimeMode_currentIndexChanged(int index);
    void on_buttonPause_toggled(bool checked);
    void on_checkBoxPauseOnMatch_toggled(bool checked);
    void on_spinBoxPauseAfter_valueChanged(int frames);
    void on_tableViewFrames_activated(const QModelIndex &index);
    void on_tableViewFrames_customContextMenuRequested(const QPoint &pos);
    void on_shortcutFilter_activated();
    void on_shortcutCopy_activated();

private:
    void buildToolsRow();
    void buildListView();
    void buildTimeControls();
    void buildTrigger();
    void followRowFilter(const std::shared_ptr<const RecordFilter> &filter);
    // The field's edge and tool tip say how its text is read.
    void showFilterKind(const RecordFilter &filter);
    // The session's trigger follows the check box, the count and the filter.
    void armTrigger();
    void makeConnections();
    // "N of M" beside the filter, while there is one.
    void showFilterCount();
    // The Latest view goes through a sorting proxy; the list stays in arrival order.
    void showLatest(bool latest);
    // The record behind a row of whichever model the list shows.
    const BusRecord *recordOfIndex(const QModelIndex &index) const;
    QString selectedRowsText() const;
    // Follows the current row of the model the list shows (a new one after
    // each switch between the list and Latest).
    void watchCurrentRow();
    void showCurrentRow();
    // Around the models' append of a batch: the list keeps its place, or
    // follows the new rows.
    void beginAppend();
    void endAppend();

    ShownTrace *shownTrace = nullptr;
    BusSession *busSession = nullptr; // the live one
    FrameTableModel *frameModel = nullptr;
    LatestMessageModel *latestModel = nullptr;
    QSortFilterProxyModel *latestSorted = nullptr;
    QHBoxLayout *layoutTools = nullptr;
    QLineEdit *LineEditFilter = nullptr;
    QLabel *labelFilterCount = nullptr;
    QCheckBox *checkBoxLatest = nullptr;
    QComboBox *comboBoxTimeMode = nullptr;
    QPushButton *buttonPause = nullptr;
    QHBoxLayout *layoutTrigger = nullptr;
    QCheckBox *checkBoxPauseOnMatch = nullptr;
    QSpinBox *spinBoxPauseAfter = nullptr;
    QPushButton *buttonClear = nullptr;
    QSplitter *splitterFrames = nullptr; // the list over the lower widget
    QTableView *tableViewFrames = nullptr;
    QShortcut *shortcutFilter = nullptr;
    QShortcut *shortcutCopy = nullptr;
    FrameListHeader *listHeader = nullptr;
    std::shared_ptr<const RecordFilter> rowFilter; // the one the list shows
    QVector<QMetaObject::Connection> currentWatches; // to the model shown and its selection
    // Where the list's scroll bar stands as rows come and go.
    struct Following
    {
        int rowsDroppedFromTop = 0; // during one append
        int valueBeforeAppend = 0;
        bool atBottomBeforeAppend = false;
        bool listFollowing = true; // the list sits at the bottom and follows new rows
        bool updatingList = false; // rows go in: the scroll bar moves by itself
    };
    Following following;
};

#endif
