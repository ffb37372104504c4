#ifndef KWN_TESTS_TOOLRUN_H
#define KWN_TESTS_TOOLRUN_H

// One run of a program the build made, started by the test and killed by
// its id if it outlives the time limit.

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <signal.h>

#include <functional>

struct ToolRun
{
    int exitCode = -1; // -1: it crashed or hung
    QByteArray out;
    QByteArray err;
    bool hung = false; // still running at the time limit, and killed
};

// `program` in `folder` (the test's own if empty), `input` on its standard
// input, in `environment` (the test's own if empty); `whileRunning`, if
// given, is called every 20 ms or so until the program ends.
inline ToolRun runTool(const QString &program, const QStringList &arguments, const QString &folder = {},
                       const QByteArray &input = {}, int timeoutMs = 30000,
                       const QProcessEnvironment &environment = QProcessEnvironment(),
                       const std::function<void()> &whileRunning = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForStarted();
    process.write(input);
    process.closeWriteChannel();
    ToolRun run;
    QElapsedTimer timer;
    timer.start();
    bool finished = false;
    while (!(finished = process.waitForFinished(whileRunning ? 20 : timeoutMs)) && whileRunning
           && process.state() != QProcess::NotRunning && timer.elapsed() < timeoutMs)
        whileRunning();
    if (!finished) {
        run.hung = process.state() != QProcess::NotRunning;
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Reads the process's output into `out` until it holds `lines` lines or
// time runs out; returns it.
inline QByteArray readLines(QProcess &process, QByteArray &out, int lines, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (out.count('\n') < lines && timer.elapsed() < timeoutMs) {
        process.waitForReadyRead(50);
        out += process.readAllStandardOutput();
    }
    return out;
}

// Sends `signal` to the process by its id while it runs: one that ended has
// the id 0, which would name this process's whole group.
inline void signalProcess(const QProcess &process, int signal)
{
    if (process.state() == QProcess::Running && process.processId() > 0)
        ::kill(pid_t(process.processId()), signal);
}

// Waits for the process to end, killing it by its id if it outlives
// `timeoutMs`; its exit status, -1 when it crashed or had to be killed.
inline int finish(QProcess &process, int timeoutMs = 20000)
{
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Stops the process with Ctrl-C, by its id, and returns its exit status;
// what it printed still is appended to `out`.
inline int interrupt(QProcess &process, QByteArray &out)
{
    signalProcess(process, SIGINT);
    const int status = finish(process, 10000);
    out += process.readAllStandardOutput();
    return status;
}

// Waits until the process `pid` holds the file `path` open (a terminal's far
// end), or with a negative `pid` until any process but this one does.
inline bool waitUntilHeld(qint64 pid, const QString &path, int timeoutMs = 10000)
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QDir proc(QStringLiteral("/proc"));
        const QStringList pids =
            pid >= 0 ? QStringList{QString::number(pid)} : proc.entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
        for (const QString &id : pids) {
            const QDir fds(QStringLiteral("/proc/%1/fd").arg(id));
            for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
                if (id != self && QFileInfo(fds.filePath(fd)).symLinkTarget() == path)
                    return true;
            }
        }
        QTest::qWait(10);
    }
    return false;
}

inline bool waitUntilOpen(const QProcess &process, const QString &path)
{
    return waitUntilHeld(process.processId(), path);
}

#endif
