#ifndef KWN_CLI_REPLYOUTPUT_H
#define KWN_CLI_REPLYOUTPUT_H

// The outputs of requests and their replies: the rows of kwn-frame replies
// and the reply section of kwn-frame stats, as text and JSON. They print
// what replies/ found; nothing is paired or counted here.

#include "replies/replypairing.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

class DecodeCatalogue;

namespace cli {

// Whom a request asked: "3A0C51", "Group" or "Broadcast".
QString askedText(quint32 destination);

// The lines of kwn-frame replies.
class RequestRows
{
public:
    // Columns as wide as the catalogue's longest device and message names,
    // so that rows are aligned as they are written; times to the µs when
    // `precise`.
    RequestRows(DecodeCatalogue &catalogue, bool precise);
    QByteArray heading() const;
    // A request and its replies: one line, and one more for each reply
    // after the first; "no reply" for none.
    QByteArray rows(const PairedRequest &request) const;
    // One JSON object on a line.
    static QByteArray jsonLine(const PairedRequest &request, bool precise);

private:
    QVector<int> m_widths;
    bool m_precise;
};

// The reply section of kwn-frame stats.
QJsonObject replySectionJson(const ReplyStatistics &statistics, qint64 timeoutUs);
QString replySectionText(const ReplyStatistics &statistics, qint64 timeoutUs);

} // namespace cli

#endif
