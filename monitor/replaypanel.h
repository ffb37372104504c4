#ifndef KWN_MONITOR_REPLAYPANEL_H
#define KWN_MONITOR_REPLAYPANEL_H

// The Bus page's Replay row over its ReplayTool (bustools/replaytool.h),
// shown while replaying: the file, the speed, Loop, the progress, Pause and
// Stop. The session shows the frames written as TX, as it does every frame
// it writes.

#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class ReplayTool;

class ReplayPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ReplayPanel(ReplayTool *tool, QWidget *parent = nullptr);

    // Asks for the file, then starts.
    void chooseAndStart();

private:
    void buildRow();
    void connectTool();
    void showStarted();

    ReplayTool *replayTool = nullptr;
    QLabel *labelReplay = nullptr;
    QDoubleSpinBox *doubleSpinBoxReplaySpeed = nullptr;
    QCheckBox *checkBoxReplayLoop = nullptr;
    QProgressBar *progressBarReplay = nullptr;
    QPushButton *buttonReplayPause = nullptr;
    QPushButton *buttonReplayStop = nullptr;
};

#endif
