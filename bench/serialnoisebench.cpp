// Cost of a serial port that streams random noise at 1 MB/s: a pseudo-terminal
// made here, the connection reading and splitting on its own thread. The CPU
// time of that thread over the run is the figure. Goal: under 5% of a core.

#include "serial/serialconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kSeconds = 5;
constexpr int kBytesPerSecond = 1000000;
constexpr int kTickMs = 10;
constexpr double kGoalCorePercent = 5;

// CPU seconds used so far by this process's thread named `name`, -1 if none.
double threadCpuSeconds(const QByteArray &name)
{
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray text = stat.readAll();
        // Fields after the command in parentheses; utime and stime are the 14th and 15th.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
        return ticks / double(sysconf(_SC_CLK_TCK));
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::printf("no pseudo-terminal\n");
        return 2;
    }
    termios t;
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, O_NONBLOCK);

    SerialConnection connection;
    SerialSettings settings;
    settings.port = QString::fromLocal8Bit(name);
    settings.baudRate = 115200;
    if (!connection.open(settings)) {
        std::printf("cannot open %s: %s\n", name, qPrintable(connection.errorText()));
        return 2;
    }
    qint64 noiseBytes = 0;
    QObject::connect(&connection, &SerialConnection::received, [&] {
        for (const BusRecord &item : connection.takeReceived())
            noiseBytes += item.bytes.size();
    });

    QRandomGenerator random(3);
    QByteArray chunk(kBytesPerSecond * kTickMs / 1000, Qt::Uninitialized);
    const double cpuBefore = qMax(0.0, threadCpuSeconds("serial"));
    QElapsedTimer timer;
    timer.start();
    qint64 written = 0;
    while (timer.elapsed() < kSeconds * 1000) {
        for (char &c : chunk)
            c = char(random.bounded(256));
        const ssize_t n = ::write(master, chunk.constData(), size_t(chunk.size()));
        written += qMax<ssize_t>(0, n);
        QCoreApplication::processEvents(QEventLoop::AllEvents, kTickMs);
        const qint64 due = written * 1000 / kBytesPerSecond;
        if (due > timer.elapsed())
            QThread::msleep(quint32(due - timer.elapsed()));
    }
    QThread::msleep(200);
    QCoreApplication::processEvents();
    const double cpu = threadCpuSeconds("serial") - cpuBefore;
    const double seconds = timer.elapsed() / 1000.0;
    const double percent = 100.0 * cpu / seconds;
    connection.close();
    ::close(master);
    ::close(slave);
    const bool ok = cpu >= 0 && percent < kGoalCorePercent;
    std::printf("serial thread, %.1f MB of random noise at %.2f MB/s through a pseudo-terminal (%.1f MB split): "
                "%.2f%% of a core, goal < %g%%: %s\n",
                written / 1e6, written / 1e6 / seconds, noiseBytes / 1e6, percent, kGoalCorePercent,
                ok ? "ok" : "MISSED");
    return ok ? 0 : 1;
}
