#ifndef KWN_TESTS_TOOLRUN_H
#define KWN_TESTS_TOOLRUN_H

// One run of a program the build made, started by the test and killed by
// its id if it outlives the time limit.

#include <QByteArray>
#include <QProcess>
#include <QStringList>

struct ToolRun
{
    int exitCode = -1; // -1: it crashed or hung
    QByteArray out;
    QByteArray err;
};

// `program` in `folder` (the test's own if empty), `input` on its standard input.
inline ToolRun runTool(const QString &program, const QStringList &arguments, const QString &folder = {},
                       const QByteArray &input = {}, int timeoutMs = 30000)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    process.waitForStarted();
    process.write(input);
    process.closeWriteChannel();
    ToolRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

#endif
