#ifndef KWN_MONITOR_FRAMEDETAILPANE_H
#define KWN_MONITOR_FRAMEDETAILPANE_H

// The detail pane under the Bus page's frame list: one frame in full, as its
// FrameReport tells it (header fields, every parameter with its shown value
// and the number read, the bytes with their checksum), or a noise run's
// bytes. It renders what it is given and decodes nothing itself. Beside its
// buttons, the request of a reply or the replies of a request, each a link
// to its row of the list.

#include "bustools/replytool.h"
#include "codec/busrecord.h"
#include "codec/framereport.h"

#include <QByteArray>
#include <QMenu>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QPoint;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;


// A row's number as read: "0x" and the field's bytes, most significant
// first, then the number in decimal, a signed integer with its sign
// ("0xFB (-5)"). Empty for a row without one (a string).
QString rawNumberText(const DecodedRow &row);

class FrameDetailPane : public QWidget
{
    Q_OBJECT

public:
    enum Column { ColumnField, ColumnValue, ColumnRaw };

    explicit FrameDetailPane(QWidget *parent = nullptr);

    void showReport(const FrameReport &report);
    // A noise run: its bytes and "noise"; `time` as the list shows it.
    void showNoise(const QByteArray &bytes, const QString &time = QString());
    // The same frame or noise run seen again later: only its time changes.
    void showTime(const QString &time);
    // Nothing shown; the buttons are disabled.
    void clear();
    // The rows this one is paired with, as the reply tool names them; none: hidden.
    void showReplyLinks(const QVector<ReplyTool::Link> &links);

    // The frame shown; empty when nothing or noise is shown.
    QByteArray frame() const { return shownFrame; }

    // The context menu of a row: for a parameter with a number (not a
    // string), a new menu, child of the tree, that parameterMenuRequested
    // has filled; null for any other row.
    QMenu *parameterMenu(QTreeWidgetItem *item);
    // The row of the parameter of this name; null when none is shown.
    QTreeWidgetItem *parameterItem(const QString &name) const;

signals:
    // The buttons, with the frame shown.
    void openRequested(const QByteArray &frame);
    void putInSendRequested(const QByteArray &frame);
    // A parameter's context menu is being made: whoever plots adds its entries.
    void parameterMenuRequested(QMenu *menu, const QString &parameter);
    // A link to a row of the list, by its sequence number.
    void rowLinkActivated(quint64 sequence);

private:
    void on_treeWidgetDetail_customContextMenuRequested(const QPoint &pos);
    void showHeader(const FrameReport &report);
    void showParameters(const FrameReport &report);
    void showBytes(const FrameReport &report);
    QTreeWidgetItem *addItem(const QString &field, const QString &value, const QString &raw = QString(),
                             QTreeWidgetItem *parent = nullptr);
    // Empties the tree for new contents (the view keeps its scroll
    // position, so that frames of one message read alike in turn).
    void beginFilling();
    void endFilling(bool canUse);

    QVBoxLayout *layoutDetail = nullptr;
    QHBoxLayout *layoutDetailButtons = nullptr;
    QTreeWidget *treeWidgetDetail = nullptr;
    QPushButton *buttonOpenOnDecode = nullptr;
    QPushButton *buttonPutInSend = nullptr;
    QLabel *labelReplyLinks = nullptr;

    QByteArray shownFrame;
    QTreeWidgetItem *timeItem = nullptr; // while shown
};

#endif
