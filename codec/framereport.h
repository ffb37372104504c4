#ifndef KWN_CODEC_FRAMEREPORT_H
#define KWN_CODEC_FRAMEREPORT_H

// One decoding entry point for every caller that decodes many frames (the
// command line, the bus monitor, the Bus page): frame text or frame bytes in,
// everything the Decode page would show out, with the texts printed for it.

#include "catalogue/definitions.h"
#include "catalogue/filestamp.h"
#include "codec/framedecoding.h"

#include <QHash>
#include <QSet>
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

// The catalogue of one folder, read when first needed: profiles, the product
// that each pair of node types names, and per product the message that each
// identifier names (the first by name, as on the Decode page). The files are
// checked again (identity, size, modification and change times) at most once
// per recheck interval, and whatever changed is read again, so a long-running
// reader sees edits and deletions.
class DecodeCatalogue
{
public:
    explicit DecodeCatalogue(const QString &folder);
    ~DecodeCatalogue();
    DecodeCatalogue(const DecodeCatalogue &) = delete;
    DecodeCatalogue &operator=(const DecodeCatalogue &) = delete;

    QString folder() const { return m_folder; }

    // Default 1000 ms; 0 checks before every decode.
    void setRecheckIntervalMs(int ms) { m_recheckMs = ms; }

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
    // caller then takes the general path.
    bool appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size, QByteArray &out,
                                const QByteArray &time = QByteArray(), const QByteArray &direction = QByteArray());

    // Checks the files now, whatever the interval.
    void recheck();

    struct PreparedMessage;
    struct PreparedDevice;

private:
    struct Device
    {
        QString product;
        QStringList files; // the message files its messages come from
        std::array<int, 256> messageIndex{};
        QVector<MessageDefinition> messages;
        // Its texts in UTF-8 for appendPlainFrameReport, made when first used.
        std::shared_ptr<PreparedDevice> prepared;
    };
    void ensureLoaded();
    void decodeParsed(FrameReport &report);
    void reload();
    const Device *deviceForFrame(const FrameFields &fields);
    const Device *deviceForPair(int sourceNodeType, int destinationNodeType);
    const PreparedMessage &preparedMessage(const Device &device, quint8 id);
    MessageDefinition messageOf(const Device &device, quint8 id) const;
    void watch(const QString &path);

    QString m_folder;
    bool m_loaded = false;
    int m_recheckMs = 1000;
    qint64 m_checkedAtMs = 0; // coarseClockMs() at the last check
    ProfileMap m_profiles;
    std::array<bool, 256> m_productKnown{};
    std::array<QString, 256> m_productOfPair;
    QHash<QString, Device> m_devices;
    std::array<const Device *, 256> m_deviceOfPair{}; // into m_devices, cleared when it changes
    QByteArray m_data; // the data bytes of the frame at hand, reused
    QHash<QString, FileStamp> m_stamps; // every file and folder read, as it was then
    QSet<QString> m_profileFiles;
};

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
