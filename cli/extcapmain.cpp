// kwn-extcap: the capture program Wireshark runs from its extcap folder to
// capture the bus live (see extcap/). Built apart from kwn-frame.

#include "cli/interrupt.h"
#include "extcap/extcaprequest.h"
#include "extcap/livecapture.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <csignal>
#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Runs until Wireshark stops it (SIGTERM, or its end of a pipe closed): 0.
// A port that cannot be opened or goes away, or a capture that cannot be
// written, is said on standard error, which Wireshark shows, with 1.
int runCapture(const extcap::Request &request)
{
    // A closed pipe is an error of the write, not the end of the process.
    std::signal(SIGPIPE, SIG_IGN);
    cli::catchInterrupt();
    extcap::LiveCapture live;
    if (!live.start(request)) {
        if (cli::interrupted())
            return 0; // stopped while waiting for Wireshark to read
        print(stderr, QStringLiteral("kwn-extcap: %1\n").arg(live.errorText()));
        return 1;
    }
    QEventLoop loop;
    QObject::connect(&live, &extcap::LiveCapture::ended, &loop, &QEventLoop::quit);
    cli::quitOnInterrupt(loop);
    if (!cli::interrupted())
        loop.exec();
    const int status = live.finish();
    if (status != 0)
        print(stderr, QStringLiteral("kwn-extcap: %1\n").arg(live.errorText()));
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kwn-extcap"));
    const QString version =
        QStringLiteral("%1.%2.%3").arg(KWN_VERSION_MAJOR).arg(KWN_VERSION_MINOR).arg(KWN_VERSION_PATCH);
    QCoreApplication::setApplicationVersion(version);

    const extcap::Request request = extcap::parseRequest(app.arguments().mid(1));
    if (!request.problem.isEmpty()) {
        print(stderr, QStringLiteral("kwn-extcap: %1\nSee kwn-extcap --help\n").arg(request.problem));
        return 2;
    }
    switch (request.step) {
    case extcap::Request::Interfaces:
        print(stdout, extcap::interfacesText(version));
        return 0;
    case extcap::Request::LinkTypes:
        print(stdout, extcap::linkTypesText());
        return 0;
    case extcap::Request::Config:
        print(stdout, extcap::configText(SerialConnection::availablePorts()));
        return 0;
    case extcap::Request::ReloadOption:
        print(stdout, extcap::reloadText(request.reloadOption, SerialConnection::availablePorts()));
        return 0;
    case extcap::Request::Capture:
        return runCapture(request);
    case extcap::Request::Version:
        print(stdout, QStringLiteral("kwn-extcap %1\n").arg(version));
        return 0;
    case extcap::Request::Help:
        break;
    }
    print(stdout, extcap::helpText());
    return 0;
}
