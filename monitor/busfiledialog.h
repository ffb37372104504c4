#ifndef KWN_MONITOR_BUSFILEDIALOG_H
#define KWN_MONITOR_BUSFILEDIALOG_H

// The file dialog of the Bus page's Save, Open, Record and Replay: logs and
// captures, in the folder last used for them. Empty when cancelled. Saving,
// a name typed without a suffix gets the one of the filter chosen.

#include <QString>

class QWidget;

QString chooseBusFile(QWidget *parent, const QString &title, bool forWriting);

#endif
