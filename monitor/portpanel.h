#ifndef KWN_MONITOR_PORTPANEL_H
#define KWN_MONITOR_PORTPANEL_H

// The Bus page's port panel: which serial port and line settings, Connect
// and Disconnect. It opens and closes the session and says how that went;
// the last port and settings used are there again next time. Quitting
// closes the port as Disconnect does, and ends a recording.

#include "serial/serialconnection.h"

#include <QWidget>

class BusSession;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;

class PortPanel : public QWidget
{
    Q_OBJECT

public:
    explicit PortPanel(BusSession *session, QWidget *parent = nullptr);

    // The port and line settings as chosen.
    SerialSettings serialSettings() const;

signals:
    void connectedChanged(bool connected);
    // The connection state in words, for the status line.
    void stateChanged(const QString &text, bool error);
    // Baud rate, data bits, parity or stop bits changed.
    void lineSettingsChanged(const SerialSettings &settings);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_buttonConnect_clicked(bool checked);
    void on_buttonRefreshPorts_clicked(bool checked);
    void on_busSession_connectionLost(const QString &text);

private:
    void disconnectPort();
    void buildPortRow();
    void buildLineRow();
    void fillPorts();
    void loadSettings();
    void saveSettings() const;

    BusSession *busSession = nullptr;
    QHBoxLayout *layoutPort = nullptr;
    QHBoxLayout *layoutSerial = nullptr;
    QLabel *labelPort = nullptr;
    QComboBox *comboBoxPort = nullptr;
    QPushButton *buttonRefreshPorts = nullptr;
    QPushButton *buttonConnect = nullptr;
    QLabel *labelBaud = nullptr;
    QComboBox *comboBoxBaud = nullptr;
    QLabel *labelDataBits = nullptr;
    QComboBox *comboBoxDataBits = nullptr;
    QLabel *labelParity = nullptr;
    QComboBox *comboBoxParity = nullptr;
    QLabel *labelStopBits = nullptr;
    QComboBox *comboBoxStopBits = nullptr;
    bool portsListed = false; // once the page has been shown
};

#endif
