#ifndef KWN_SERIAL_REPLAYFILE_H
#define KWN_SERIAL_REPLAYFILE_H

// The frames of a file to replay onto the bus, read through the capture
// library's one record reader (logs and captures told apart by content),
// or why the file is not replayed. A replay writes onto a live bus, so a
// file is taken whole or not at all, and nothing but its frames goes out:
//  - a capture must read to its end, every record whole;
//  - a log must be text (UTF-8, no control character but tab and CR) whose
//    every line is empty, a comment (noise, event and remark lines start
//    with '#'), or a frame line: "TIME RX|TX HEX", or the hex digits of a
//    frame alone (spaces and tabs between them), which goes right after the
//    frame before it. Any other line refuses the file, and so does a frame
//    line that does not read as a frame;
//  - there must be a frame to play.
// The Bus page's Replay and `kwn-frame replay` both read through here.

#include "codec/busrecord.h"

#include <QString>
#include <QVector>

struct ReplayFile
{
    // The frames, received and sent, in file order; timeUs is -1 for a log
    // line without a time. Empty when the file is refused.
    QVector<BusRecord> frames;
    QString error; // why the file is refused: "line 3 of bus.log is no log line"
    bool ok() const { return error.isEmpty(); }
};

// `path` may be a pipe: it is read once.
ReplayFile readReplayFile(const QString &path);

#endif
