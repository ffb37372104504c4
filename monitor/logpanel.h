#ifndef KWN_MONITOR_LOGPANEL_H
#define KWN_MONITOR_LOGPANEL_H

// The Bus page's log buttons over its LogTool (bustools/logtool.h): Save,
// Open (with its progress and Cancel while a log is read), Record (with a
// steady line saying where to while it records), and whether times go to
// the µs, which is there again next time.

#include <QWidget>

class LogTool;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class LogPanel : public QWidget
{
    Q_OBJECT

public:
    explicit LogPanel(LogTool *tool, QWidget *parent = nullptr);

private slots:
    void on_buttonSave_clicked(bool checked);
    void on_buttonOpen_clicked(bool checked);
    void on_buttonRecord_clicked(bool checked);
    void on_checkBoxPreciseLogs_toggled(bool checked);

private:
    void buildWidgets();
    void showOpening(bool opening);
    void showRecording();
    void setRecordButton(bool recording);

    LogTool *logTool = nullptr;
    QProgressBar *progressBarOpen = nullptr;
    QPushButton *buttonCancelOpen = nullptr;
    QLabel *labelRecording = nullptr;
    QTimer *timerRecording = nullptr;
    QPushButton *buttonSave = nullptr;
    QPushButton *buttonOpen = nullptr;
    QPushButton *buttonRecord = nullptr;
    QCheckBox *checkBoxPreciseLogs = nullptr;
};

#endif
