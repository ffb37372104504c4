#ifndef KWN_BUSTOOLS_REPLYTOOL_H
#define KWN_BUSTOOLS_REPLYTOOL_H

// Requests and their replies on the Bus page. The records of the store
// shown go through a ReplyPairing (replies/) as they come, and what it makes
// of each is kept per row: a request's delay (its first reply's), "no reply"
// once it settled without one, a reply's delay and how far back its request
// is. That is 8 bytes a row, in the order of the store's sequence numbers,
// so the rows of a log of millions stay small; the pairing bounds the rest.
// A live bus moves the pairing's time on with a timer, so that a request
// settles when its timeout passes even on a silent bus; an opened log is
// paired as it is read and finished at its end. The timeout or the store
// shown changing pairs the records held again. The Replies table is the
// pairing's statistics, one row per node asked and request message.

#include "replies/replypairing.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <deque>

class QTimer;
class ShownTrace;
class TraceStore;

class ReplyTool : public QObject
{
    Q_OBJECT

public:
    // What a row of the list is to the pairing.
    enum class RowKind : quint8 {
        None,        // no request nor reply, or not known
        Waiting,     // a request whose timeout has not passed
        Answered,    // a request with a reply: delayUs is its first reply's
        NoReply,     // a request settled without one
        Reply,       // delayUs after its request
        Unsolicited  // a reply that answered nothing
    };
    struct RowReply
    {
        RowKind kind = RowKind::None;
        qint64 delayUs = -1;
    };
    // A row the detail pane names, with a link to it when `linked`.
    struct Link
    {
        QString text;
        quint64 sequence = 0;
        bool linked = false;
    };
    // The columns of the Replies table.
    enum Column { Node, Device, Message, Requests, Answered, Unanswered, Median, Percentile95, Maximum, ColumnCount };

    static constexpr int kDefaultTimeoutMs = 1000;
    static constexpr int kMaxTimeoutMs = 60000;
    // How far the live pairing's time stays behind the wall clock: the
    // session hands records over a tenth of a second after they came.
    static constexpr qint64 kLiveLagUs = 300000;

    explicit ReplyTool(ShownTrace *shown, QObject *parent = nullptr);

    // 1..kMaxTimeoutMs; the records held are paired again.
    void setTimeoutMs(int ms);
    int timeoutMs() const { return int(m_pairing.timeoutUs() / 1000); }

    RowReply rowReply(quint64 sequence) const;
    // The request of a reply; the replies of a request, or that it had none.
    QVector<Link> linksOf(quint64 sequence) const;

    // The Replies table, rows in order of first request.
    int tableRows() const { return m_pairing.statistics().groupCount(); }
    QString cellText(int row, int column) const;
    // A number to sort a column by (its text for the names).
    qint64 cellNumber(int row, int column) const;
    // The cell is to be red: requests left unanswered.
    bool cellAlarm(int row, int column) const;
    // The filter expression that shows a row's requests in the list.
    QString filterText(int row) const;
    const ReplyStatistics &statistics() const { return m_pairing.statistics(); }

    // The pairing's time is now `nowUs` though nothing came (a live bus);
    // the timer calls it with the wall clock less kLiveLagUs.
    void advanceTo(qint64 nowUs);
    // The opened log was read whole: what waits for replies settles.
    void finishLog();

signals:
    // Rows' replies changed: the list redraws its column.
    void rowsChanged();
    // The Replies table changed (rows added or figures changed).
    void tableChanged();
    // Requests answered for the first time, with their first reply's delay:
    // the points of reply time plots.
    void requestsAnswered(const QVector<quint64> &sequences);

private:
    struct Row
    {
        qint32 delayUs = kNoDelay; // or one of the marks below
        quint32 back = 0;          // a reply: rows back to its request; 0: none
    };
    static constexpr qint32 kNoDelay = -1;
    static constexpr qint32 kWaiting = -2;
    static constexpr qint32 kNoReply = -3;
    static constexpr qint32 kUnsolicited = -4;

    void follow(TraceStore *store);
    void pairAgain();
    void onAppended(quint64 firstSeq, int count);
    void onCleared();
    void take(const BusRecord &record, quint64 sequence);
    void settled(const PairedRequest &request);
    void trimTo(quint64 firstSeq);
    Row *rowAt(quint64 sequence);
    const Row *rowAt(quint64 sequence) const;
    void announce();
    void followLiveTime();
    QString rowText(quint64 sequence) const;

    ShownTrace *m_shown = nullptr;
    TraceStore *m_store = nullptr;
    ReplyPairing m_pairing;
    std::deque<Row> m_rows; // of the store's sequences m_firstSeq on
    quint64 m_firstSeq = 0;
    QTimer *m_liveTimer = nullptr;
    QVector<quint64> m_answered; // since the last announce
    bool m_rowsChanged = false;
    bool m_tableChanged = false;
    bool m_logRead = false; // the opened log shown was read to its end
};

#endif
