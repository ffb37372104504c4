#ifndef KWN_EXTCAP_LIVECAPTURE_H
#define KWN_EXTCAP_LIVECAPTURE_H

// One capture for Wireshark: the bus session on the port chosen, every
// frame, bad frame and noise run written to Wireshark's FIFO by the writer of
// `kwn-frame monitor --pcap`, flushed batch by batch; and, when Wireshark
// shows the toolbar, its frame sent as the Bus page sends one, which the
// capture then holds as TX.

#include "extcap/controlpacket.h"
#include "extcap/extcaprequest.h"
#include "serial/bussession.h"

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace capture {
class RecordWriter;
}

namespace extcap {

class ControlChannel;

class LiveCapture : public QObject
{
    Q_OBJECT

public:
    explicit LiveCapture(QObject *parent = nullptr);
    ~LiveCapture() override;

    // Opens the port, then the capture (waiting until Wireshark opens the
    // FIFO), then the toolbar's pipes when given. False: errorText() says why.
    bool start(const Request &request);
    // Closes the port and writes what it still read; the file is then
    // complete. 0, or 1 when the capture failed (errorText() says why).
    int finish();
    QString errorText() const { return m_error; }

signals:
    // The capture cannot go on: the port went away, a write failed, or
    // Wireshark stopped reading (which is no failure).
    void ended();

private:
    void write(const QVector<BusRecord> &records);
    void fail(const QString &error);
    bool readerGone() const;
    void watchReader(const QString &fifo);
    void control(const ControlPacket &packet);
    void sendFrame();
    void log(const QString &line);

    BusSession m_session;
    std::unique_ptr<capture::RecordWriter> m_writer;
    ControlChannel *m_control = nullptr;
    QString m_frameText; // the toolbar's frame field
    QString m_error;
    // The FIFO opened a second time, to learn that Wireshark closed it
    // while nothing is written.
    int m_readerProbe = -1;
    QSocketNotifier *m_readerNotifier = nullptr;
};

} // namespace extcap

#endif
