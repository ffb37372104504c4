// The Bus page fed 10,000 frames per second through a pseudo-terminal, under
// the offscreen platform, with the list shown and following the bottom.
// Reports the frames lost, the longest time the event loop was blocked, the
// resident memory once the 100,000-frame ring is full and at the end. Then,
// the frames still coming, types words into the filter field over the full
// list, a key every 50 ms as a quick typist: the longest block of the event
// loop while typing and until the last text is applied to every row, goal
// <= 20 ms. Then, the bus quiet, types a filter expression a key at a time:
// the time the whole expression takes to apply to the rows, and the longest
// key.
//
//   guibuspagebench [seconds]       default 20 s (the goal is stated for 60 s)

#include "busdevice.h"
#include "codec/frame.h"
#include "monitor/buslayout.h"
#include "monitor/frametablemodel.h"
#include "serial/bussession.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <ctime>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

using busdevice::residentMb;
using busdevice::sampleFrames;

const int kFramesPerSecond = 10000;

qint64 threadCpuNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Until the rows shown are those of the filter's text (the list may filter
// them in slices from the event loop).
void waitForFilter(FrameTableModel *model)
{
    QElapsedTimer waited;
    waited.start();
    while (model->isFilterPending() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Types words into the filter field, a key every 50 ms, the event loop
// running between the keys, then waits for the last text to be applied.
// Returns the count the field's label shows then.
QString typeWords(QWidget &page, FrameTableModel *model)
{
    auto *filter = page.findChild<QLineEdit *>(QStringLiteral("LineEditFilter"));
    for (const QString &words : {QStringLiteral("Move down"), QStringLiteral("-noise post")}) {
        for (int n = 1; n <= words.size(); ++n) {
            filter->setText(words.left(n));
            QElapsedTimer key;
            key.start();
            while (key.elapsed() < 50)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        waitForFilter(model);
    }
    QString count = page.findChild<QLabel *>(QStringLiteral("labelFilterCount"))->text();
    filter->clear();
    waitForFilter(model);
    return count;
}

// Types each expression into the filter field a key at a time, then sets
// it whole again after clearing the field, and says how long it took: one
// read from the bytes, one from the decoded status line.
void timeTypedFilter(QWidget &page, FrameTableModel *model)
{
    auto *filter = page.findChild<QLineEdit *>(QStringLiteral("LineEditFilter"));
    for (const QString &expression :
         {QStringLiteral("[Position] > 40 or not checksum_ok"), QStringLiteral("status contains \"length\"")}) {
        QElapsedTimer timer;
        qint64 longestKeyNs = 0;
        for (int n = 1; n <= expression.size(); ++n) {
            timer.start();
            filter->setText(expression.left(n));
            longestKeyNs = qMax(longestKeyNs, timer.nsecsElapsed());
        }
        waitForFilter(model);
        filter->clear();
        waitForFilter(model);
        timer.start();
        filter->setText(expression);
        waitForFilter(model);
        const qint64 wholeNs = timer.nsecsElapsed();
        std::printf("  %s over %d rows (%d shown): applied in %.1f ms, goal <= 100 ms: %s; longest key typing "
                    "it %.1f ms\n",
                    qPrintable(expression), model->heldCount(), model->shownCount(), wholeNs / 1e6,
                    wholeNs <= 100000000 ? "ok" : "MISSED", longestKeyNs / 1e6);
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 20;
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR));

    int master = -1;
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);

    const QVector<QByteArray> frames = sampleFrames(4096);
    BusLayout *bus = new BusLayout;
    QWidget page;
    page.setLayout(bus->getLayout());
    page.resize(515, 560);
    page.show();
    page.findChild<QComboBox *>(QStringLiteral("comboBoxPort"))->setEditText(QString::fromLocal8Bit(name));
    page.findChild<QPushButton *>(QStringLiteral("buttonConnect"))->click();
    if (!bus->session()->isOpen()) {
        std::fprintf(stderr, "could not connect to %s\n", name);
        return 1;
    }
    auto *view = page.findChild<QTableView *>(QStringLiteral("tableViewFrames"));
    auto *model = qobject_cast<FrameTableModel *>(view->model());

    // The device: 100 frames every 10 ms, on a thread of its own.
    std::atomic<bool> stop{false};
    std::atomic<quint64> written{0};
    std::thread device([&] {
        using clock = std::chrono::steady_clock;
        auto next = clock::now();
        size_t k = 0;
        const int perTick = kFramesPerSecond / 100;
        while (!stop) {
            QByteArray chunk;
            for (int i = 0; i < perTick; ++i)
                chunk += frames.at(int(k++ % size_t(frames.size())));
            busdevice::writeAll(master, chunk);
            written += quint64(perTick);
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
    });

    // The event loop's pulse: a 1 ms timer; a late tick is a blocked loop.
    QElapsedTimer pulse;
    pulse.start();
    qint64 lastTick = 0;
    qint64 longestBlockNs = 0;
    // The same in CPU time of this thread: the work done between two turns
    // of the loop, apart from the time the shared machine gives to others.
    qint64 lastTickCpuNs = 0;
    qint64 longestWorkNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = pulse.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        if (lastTick > 0) {
            longestBlockNs = qMax(longestBlockNs, now - lastTick - 1000000);
            longestWorkNs = qMax(longestWorkNs, cpu - lastTickCpuNs);
        }
        lastTick = now;
        lastTickCpuNs = cpu;
    });
    ticker.start();

    double fullMb = 0;
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < seconds * 1000) {
        app.processEvents(QEventLoop::AllEvents, 50);
        if (fullMb == 0 && model->heldCount() >= FrameTableModel::kDefaultCapacity)
            fullMb = residentMb();
    }
    // Typing while the frames come: blocks counted apart.
    const qint64 longestBeforeTypingNs = longestBlockNs;
    const qint64 longestWorkBeforeTypingNs = longestWorkNs;
    longestBlockNs = 0;
    longestWorkNs = 0;
    const int heldWhileTyping = model->heldCount();
    const QString typedCount = typeWords(page, model);
    const qint64 longestTypingNs = longestBlockNs;
    const qint64 longestTypingWorkNs = longestWorkNs;
    longestBlockNs = longestBeforeTypingNs;
    stop = true;
    device.join();
    // Let the last bytes through.
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 1000)
        app.processEvents(QEventLoop::AllEvents, 50);
    ticker.stop();

    const quint64 seen = quint64(model->heldCount()) + model->droppedCount();
    const quint64 lost = written > seen ? written - seen : 0;
    const double endMb = residentMb();
    std::printf("Bus page, %d frames/s through a pseudo-terminal for %d s\n", kFramesPerSecond, seconds);
    std::printf("  frames written %llu, in the list %d, dropped from the ring %llu, lost %llu: %s\n",
                (unsigned long long)written.load(), model->heldCount(),
                (unsigned long long)model->droppedCount(), (unsigned long long)lost,
                lost == 0 ? "ok" : "MISSED");
    std::printf("  longest event-loop block %.1f ms, goal <= 50 ms: %s; the most CPU time of this thread between "
                "two turns of the loop %.1f ms\n",
                longestBlockNs / 1e6, longestBlockNs <= 50000000 ? "ok" : "MISSED", longestWorkBeforeTypingNs / 1e6);
    if (fullMb > 0)
        std::printf("  resident memory with the ring full %.0f MB, at the end %.0f MB, goal <= 150 MB: %s\n",
                    fullMb, endMb, qMax(fullMb, endMb) <= 150 ? "ok" : "MISSED");
    else
        std::printf("  resident memory at the end %.0f MB (the ring did not fill in %d s)\n", endMb, seconds);
    std::printf("  typing words in the filter field over %d rows, frames coming: longest event-loop block %.1f ms, "
                "goal <= 20 ms: %s (last count shown \"%s\"); the most CPU time of this thread between two "
                "turns of the loop %.1f ms\n",
                heldWhileTyping, longestTypingNs / 1e6, longestTypingNs <= 20000000 ? "ok" : "MISSED",
                qPrintable(typedCount), longestTypingWorkNs / 1e6);
    timeTypedFilter(page, model);
    delete bus;
    ::close(master);
    return 0;
}
