#ifndef KWN_CAPTURE_INPUTFILE_H
#define KWN_CAPTURE_INPUTFILE_H

// A file of records opened once and read once from its start to its end,
// whatever it is: a regular file, a pipe, a FIFO, a terminal, or standard
// input, named "-". Its first bytes are read ahead to tell a capture from a
// log, and the readers made from it read them again first, so that a pipe
// loses nothing. A FIFO is opened without waiting for a writer: with none
// it reads as empty.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdio>
#include <memory>

namespace capture {

// The name of `path` in messages: "standard input" for "-".
QString inputName(const QString &path);

struct InputSource;

// An InputFile handed over as a sequential device: its first bytes again,
// then the rest.
class InputDevice : public QIODevice
{
public:
    explicit InputDevice(std::unique_ptr<InputSource> source);
    ~InputDevice() override;
    bool isSequential() const override { return true; }
    // Whether a read failed (errorString() says why), rather than ended.
    bool failed() const { return m_failed; }
    // Bytes handed out so far.
    qint64 bytesRead() const { return m_read; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::unique_ptr<InputSource> m_source;
    bool m_failed = false;
    qint64 m_read = 0;
};

class InputFile
{
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Opens the file and reads its first bytes; false with errorText()
    // when it cannot be opened or read.
    bool open(const QString &path);
    QString errorText() const { return m_error; }

    // The first bytes (up to 4, fewer only for a shorter file); they are
    // still to be read by what reads the file.
    const QByteArray &head() const;
    // Whether the first bytes are those of a pcap or pcapng capture.
    bool isCapture() const;
    // The file descriptor, to read on after head(); -1 once handed over.
    int handle() const;

    // Hands the file over as a stdio stream that gives head() and then the
    // rest; fclose closes it. nullptr when the stream cannot be made.
    FILE *takeStream();
    // Hands the file over as a device that gives head() and then the rest.
    std::unique_ptr<InputDevice> takeDevice();

private:
    std::unique_ptr<InputSource> m_source;
    QString m_error;
};

} // namespace capture

#endif
