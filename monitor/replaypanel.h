#ifndef KWN_MONITOR_REPLAYPANEL_H
#define KWN_MONITOR_REPLAYPANEL_H

// The Bus page's Replay: the frames of a log or capture written onto the
// connected port with their logged spacing, faster or slower, once or in a
// loop, read as `kwn-frame replay` reads them. The session shows them as TX
// as it does every frame it writes; this row, shown while replaying, holds
// the speed, loop, progress, Pause and Stop.

#include <QString>
#include <QWidget>

class BusSession;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class Replayer;

class ReplayPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ReplayPanel(BusSession *session, QWidget *parent = nullptr);

    // False after saying why.
    bool startReplay(const QString &path);
    // Asks for the file, then starts.
    void chooseAndStart();
    void stop();

signals:
    void message(const QString &text, bool error);

private:
    void buildRow();
    void connectReplayer();
    void endReplay(const QString &text, bool error);

    BusSession *busSession = nullptr;
    Replayer *replayer = nullptr;
    QLabel *labelReplay = nullptr;
    QDoubleSpinBox *doubleSpinBoxReplaySpeed = nullptr;
    QCheckBox *checkBoxReplayLoop = nullptr;
    QProgressBar *progressBarReplay = nullptr;
    QPushButton *buttonReplayPause = nullptr;
    QPushButton *buttonReplayStop = nullptr;
    QString replayPath;
};

#endif
