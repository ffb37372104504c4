#ifndef KWN_EXTCAP_CONTROLPACKET_H
#define KWN_EXTCAP_CONTROLPACKET_H

// The packets of the toolbar's control pipes between Wireshark and a capture
// program: 'T', the length of what follows it in three bytes (most
// significant first), the control's number, the command and up to 65535
// bytes of payload.

#include <QByteArray>
#include <QString>

namespace extcap {

enum class ControlCommand : quint8 {
    Initialized = 0, // from Wireshark: the controls' values are all sent
    Set = 1,
    Add = 2,
    Remove = 3,
    Enable = 4,
    Disable = 5,
    StatusMessage = 6,
    InformationMessage = 7,
    WarningMessage = 8,
    ErrorMessage = 9,
};

constexpr int kMaxControlPayload = 65535;

struct ControlPacket
{
    quint8 control = 0;
    ControlCommand command = ControlCommand::Set;
    QByteArray payload;
};

// The packet's bytes; a payload past kMaxControlPayload is cut there.
QByteArray controlPacketBytes(const ControlPacket &packet);

// Packets out of the bytes of a pipe, however the reads cut them.
class ControlPacketReader
{
public:
    void append(const char *data, qsizetype size);
    // The next whole packet; false when none is whole yet, or when the bytes
    // are out of step (errorText() then says how, and no packet follows).
    bool next(ControlPacket *packet);
    QString errorText() const { return m_error; }

private:
    QByteArray m_buffer;
    qsizetype m_start = 0; // where the next packet begins in m_buffer
    QString m_error;
};

} // namespace extcap

#endif
