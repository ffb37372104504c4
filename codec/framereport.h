#ifndef KWN_CODEC_FRAMEREPORT_H
#define KWN_CODEC_FRAMEREPORT_H

// One decoding entry point for every caller that decodes many frames (the
// command line, the bus monitor, the Bus page): frame text or frame bytes in,
// everything the Decode page would show out, with the texts printed for it.

#include "catalogue/definitions.h"
#include "catalogue/devicecatalogue.h"
#include "codec/framedecoding.h"

#include <QString>
#include <QVector>

#include <array>
#include <functional>
#include <memory>

struct FrameReport
{
    QString input;             // the text as given (for bytes: their hex text)
    QString status;            // the status line
    bool error = false;        // the status line is red
    bool parsed = false;       // the text was accepted as a frame
    bool productFound = false; // header, device and message apply
    ParsedFrame frame;
    QString device;
    MessageDecoding message;
    bool checksumOk = false;   // meaningful when parsed
    QString bytesText;         // the frame's bytes as hexadecimal text, when known already
    // Carried from a bus log line ("" when the input was a plain frame text).
    QString time;
    QString direction;
};

// Output of `kwn-frame decode` and `kwn-frame monitor`.
enum class ReportStyle { Blocks, SingleLine, Json };

// What the quick way of plain frames (DecodeCatalogue::appendPlainFrameReport)
// has read of a frame before it writes its report: all that a filter asks
// of such a frame but its parameters, which it reads from `fields.data`.
// Its status line is decodedStatusText().
struct PlainFrameFacts
{
    const QByteArray &bytes;   // as on the bus
    const FrameFields &fields;
    const QString &product;
    const MessageDefinition &message;
    bool checksumOk;
};

// Whether the quick way writes a frame it has read: the decision of a
// caller that writes only some frames, made on what was read for the report.
class PlainFrameGate
{
public:
    // What a gate says of every frame of one device and message (one pair
    // of node types and one message identifier): it admits them all, none,
    // or must be asked frame by frame. Asked once per gate and message, with
    // the first frame's facts, and kept beside the message's texts, so that
    // a gate that decides by the message alone costs nothing per frame.
    enum class Rule : quint8 { AskEach, AdmitAll, AdmitNone };
    virtual Rule ruleFor(const PlainFrameFacts &facts)
    {
        Q_UNUSED(facts)
        return Rule::AskEach;
    }
    virtual bool admits(const PlainFrameFacts &facts) = 0;
    // Never 0, and no two gates alike, so that a rule kept is never taken
    // for that of a gate made later at the same address.
    quint64 gateId() const { return m_gateId; }

protected:
    PlainFrameGate();
    PlainFrameGate(const PlainFrameGate &) = delete;
    PlainFrameGate &operator=(const PlainFrameGate &) = delete;
    ~PlainFrameGate() = default;

private:
    const quint64 m_gateId;
};

// What the quick way did with a line: wrote its report, left it out at the
// gate's word, or did not take it (the caller takes the general way).
enum class PlainReport { NotPlain, Written, LeftOut };

// Decoding against the catalogue of one folder (DeviceCatalogue: read when
// first needed, its files checked again at most once per recheck interval).
class DecodeCatalogue
{
public:
    explicit DecodeCatalogue(const QString &folder);
    ~DecodeCatalogue();
    DecodeCatalogue(const DecodeCatalogue &) = delete;
    DecodeCatalogue &operator=(const DecodeCatalogue &) = delete;

    QString folder() const { return m_catalogue.folder(); }

    // Default 1000 ms; 0 checks before every decode.
    void setRecheckIntervalMs(int ms) { m_catalogue.setRecheckIntervalMs(ms); }

    FrameReport decodeText(const QString &text);
    // The same for text given as UTF-8 bytes, without ever holding it as a
    // QString; the report's input text is left empty.
    FrameReport decodeText(const char *utf8, qsizetype size);
    FrameReport decodeBytes(const QByteArray &frameBytes);

    // For a line of nothing but hexadecimal digits holding a whole frame of
    // a known device and message: appends its report in UTF-8, the very
    // bytes that appendReport would give for decodeText of the line (with
    // the time and direction of a bus log line, when given), without
    // building the report. Returns false, appending nothing, for any other
    // line, or a time or direction that is not plain printable ASCII: the
    // caller then takes the general path. (plainframereport.cpp)
    bool appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size, QByteArray &out,
                                const QByteArray &time = QByteArray(), const QByteArray &direction = QByteArray());
    // The same, the report written only when `gate` admits the frame: the
    // frame read once, for the gate and the report alike.
    PlainReport appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size, PlainFrameGate &gate,
                                       QByteArray &out, const QByteArray &time = QByteArray(),
                                       const QByteArray &direction = QByteArray());

    // Checks the files now, whatever the interval (reads them when first called).
    void recheck() { m_catalogue.recheck(); }
    // Reads the files when first called, checks them when the interval has
    // passed: what every decode does first, for a caller of deviceOf.
    void refresh() { m_catalogue.refresh(); }
    // Moves whenever what deviceOf gave may have gone (DeviceCatalogue::generation).
    quint64 generation() const { return m_catalogue.generation(); }

    // The profiles the last decode went by (none before the first).
    const ProfileMap &profiles() const { return m_catalogue.profiles(); }

    // The choices of every decoding here, which the dissector's tables are
    // made of too: the device that decodes frames of these node types
    // (nullptr when no product applies), valid until the next call or check;
    // and its message that decodes frames of an identifier (nullptr when the
    // message is unknown).
    const DeviceCatalogue::Device *deviceOf(quint8 sourceNodeType, quint8 destinationNodeType)
    {
        return m_catalogue.deviceForNodeTypes(sourceNodeType, destinationNodeType);
    }
    static const MessageDefinition *messageOf(const DeviceCatalogue::Device &device, quint8 messageId)
    {
        const MessageDefinition *message = device.message(messageId);
        return message && isKnownMessage(*message) ? message : nullptr;
    }

    struct PreparedMessage;
    struct PreparedDevice;

private:
    void decodeParsed(FrameReport &report);
    PlainReport appendPlainFrame(ReportStyle style, const char *line, qsizetype size, PlainFrameGate *gate,
                                 QByteArray &out, const QByteArray &time, const QByteArray &direction);
    PreparedDevice &preparedDevice(const DeviceCatalogue::Device &device, int pair);

    DeviceCatalogue m_catalogue;
    // The texts of appendPlainFrameReport in UTF-8 per pair of node types,
    // made when first used, dropped when the catalogue's generation moves.
    std::array<std::shared_ptr<PreparedDevice>, 256> m_prepared;
    quint64 m_preparedGeneration = 0;
    QByteArray m_frame;   // the plain frame at hand, reused
    FrameFields m_fields; // its fields, reused
};

// The writers of the reports (reportwriters.cpp).

// Appends the report in the given style, with its line end (a block ends with
// an empty line). A report carrying a time and direction is prefixed with them
// ("Time:" and "Direction:" lines, "TIME DIR " before the line, or "time" and
// "direction" keys). In JSON each integer or bitfield parameter carries its
// number as read in "raw" (DecodedRow::rawNumber: a signed integer's value
// with its sign, -5 rather than 251), besides its shown "value"; a string
// has no "raw".
void appendReport(ReportStyle style, const FrameReport &report, QString &out);

// Whether the text is printable ASCII without '"' or '\\': text that every
// style echoes byte for byte.
bool isPlainAsciiText(const char *text, qsizetype size);

// Whether the text is UTF-8 that QString::fromUtf8 reads as it is, every
// byte kept (no invalid sequence, no byte order mark at the start): text
// that every style echoes byte for byte, but for JSON's escapes.
bool isEchoedUtf8Text(const char *text, qsizetype size);

// appendReport in UTF-8 for a report whose input text, such text, is given
// apart rather than in report.input (left empty): it is written straight
// from `input` (escaped for JSON, trimmed for a single line), without ever
// being held as a QString, as is the frame's bytes text, from
// report.frame.bytes. `write` is called with the report's pieces in order;
// the large ones are handed over as they are, so that the caller may write
// them out without a copy.
void writeReportUtf8(ReportStyle style, const FrameReport &report, const char *input, qsizetype size,
                     const std::function<void(const char *, qsizetype)> &write);
// writeReportUtf8 appending to `out`.
void appendReportUtf8(ReportStyle style, const FrameReport &report, const char *input, qsizetype size,
                      QByteArray &out);

// The line of `kwn-frame decode --single-line` for a report, without its line
// end, time and direction; without the leading input text unless asked.
QString singleLineText(const FrameReport &report, bool withInput = false);

// The parameters part of that line: "Position=75, Speed=Normal", a
// bitfield's checked bits in brackets ("Faults=[Bit 0: Obstacle detected]").
// Empty when no parameter is shown (no product, no message, no data).
QString parametersText(const FrameReport &report);
// One parameter's value as that line shows it after "Name=".
QString parameterValueText(const DecodedRow &row);

// A noise run as the monitor prints it: "noise: HEX" (after "TIME " when a
// time is given), or {"noise": "HEX", "time": TIME} in JSON.
void appendNoise(ReportStyle style, const QByteArray &bytes, const QString &time, QString &out);

#endif
