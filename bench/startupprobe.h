#ifndef KWN_BENCH_STARTUPPROBE_H
#define KWN_BENCH_STARTUPPROBE_H

// Shared by the two programs that the start-up bench starts: once the window
// has been painted and the event loop is about to wait for the first time
// after that, prints "idle" on standard output and quits. The bench times
// from starting the process to reading that line.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <cstdio>

class StartupProbe : public QObject
{
public:
    explicit StartupProbe(QWidget *window) : QObject(window)
    {
        window->installEventFilter(this);
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                         [this] {
                             if (!painted || done)
                                 return;
                             done = true;
                             std::fputs("idle\n", stdout);
                             std::fflush(stdout);
                             QCoreApplication::quit();
                         });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }

private:
    bool painted = false;
    bool done = false;
};

#endif
