#ifndef KWN_SERIAL_PORTCHECK_H
#define KWN_SERIAL_PORTCHECK_H

// What stands in the way of opening a serial port, found before QSerialPort
// tries, since Qt reports most of it badly or not at all: a file that is no
// terminal fails on an ioctl; a port that another program holds is either
// opened a second time (root ignores TIOCEXCL, and Qt's lock file is named
// after the path given, so another name of the device passes) or comes back
// as a permission error; a lock file of a running program that lacks Qt's
// own lines is taken over as stale.
//
// Nothing here waits on a device: the only device opened is a character
// device, without blocking and without becoming the controlling terminal.
// On systems other than Unix every port passes.

#include <QByteArray>
#include <QString>
#include <QStringList>

class PortCheck
{
public:
    enum Verdict {
        Openable,  // nothing found against it: QSerialPort may try
        Missing,   // no such file
        NotSerial, // a regular file, a directory, a FIFO, or a device that is no terminal
        InUse,     // open in another program, or by QSerialPort in this one
        Locked,    // a lock file names a running process: lockingProcess()
        NoAccess,  // the user may not read and write the device
    };

    // Checks the device file `path` (a name already turned into a path).
    explicit PortCheck(const QString &path);
    // Keep the check until the port is open: the device stays open in
    // between, so that the last close does not drop the modem lines just
    // before QSerialPort raises them again (that resets some boards).
    ~PortCheck();
    PortCheck(const PortCheck &) = delete;
    PortCheck &operator=(const PortCheck &) = delete;

    Verdict verdict() const { return m_verdict; }
    qint64 lockingProcess() const { return m_lockPid; }

    // The process a lock file names: its first line in decimal ("  1234\n"
    // as UUCP programs write it, "1234\nprogram\nhost..." as QLockFile
    // does), or a 4-byte int in the machine's order; 0 when it names none.
    static qint64 lockFileProcess(const QByteArray &contents);
    // Names of the lock files that may guard the device file: as Qt forms
    // them (the path below /dev with '/' as '_') and as UUCP programs do
    // (the file name): LCK..pts_5 and LCK..5 for /dev/pts/5.
    static QStringList lockFileNames(const QString &device);

    // The ports this process holds open: a port in exclusive mode that no
    // program holds any more (one that ended without closing it left the
    // mode set) is not in use, one held here is. holdPort returns what
    // releasePort takes back; 0 when the path is no device.
    static quint64 holdPort(const QString &path);
    static void releasePort(quint64 held);

private:
    Verdict check(const QString &path);

    Verdict m_verdict = Openable;
    qint64 m_lockPid = 0;
    int m_descriptor = -1;
};

#endif
