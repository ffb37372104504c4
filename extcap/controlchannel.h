#ifndef KWN_EXTCAP_CONTROLCHANNEL_H
#define KWN_EXTCAP_CONTROLCHANNEL_H

// The toolbar's two pipes during a capture: packets from Wireshark come in
// on one, ours go out on the other. Nothing here waits on Wireshark: the pipe
// read from is opened at once (a FIFO may be opened for reading before it
// has a writer), and the one written to is opened once Wireshark reads it,
// what is sent meanwhile kept until then. Which pipe Wireshark opens first
// is then of no matter.

#include "extcap/controlpacket.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

namespace extcap {

class ControlChannel : public QObject
{
    Q_OBJECT

public:
    // How often the pipe written to is tried until Wireshark reads it.
    static constexpr int kRetryMs = 50;
    // Kept at most while Wireshark reads nothing; later packets are dropped.
    static constexpr int kMaxPendingBytes = 1 << 20;

    explicit ControlChannel(QObject *parent = nullptr);
    ~ControlChannel() override;

    // False, with errorText(), when the pipe read from cannot be opened.
    bool open(const QString &inPath, const QString &outPath);
    QString errorText() const { return m_error; }

    void send(const ControlPacket &packet);

signals:
    void received(const extcap::ControlPacket &packet);

private:
    void readIn();
    void openOut();
    void writeOut();
    void closeIn();

    int m_in = -1;
    int m_out = -1;
    QString m_outPath;
    QSocketNotifier *m_inNotifier = nullptr;
    QSocketNotifier *m_outNotifier = nullptr; // while the pipe is full
    QTimer *m_retry = nullptr;
    ControlPacketReader m_reader;
    QByteArray m_pending;
    QString m_error;
};

} // namespace extcap

#endif
