// What the Bus page costs while an engineer watches it: the whole window on a
// real X server (Xvfb; run.sh starts one), a device on a pseudo-terminal at
// 100 and at 2,000 frames/s, the process's CPU time (the device's own thread
// left out) with the Bus page shown and with the Encode page shown. At 2,000
// frames/s also with Latest in place of the list and Nodes in place of the
// detail pane: what those views (and the load line, always there) add to the
// page. Then the resident memory once 100,000 frames are in the list.
//
//   guibuscpubench [seconds per run]     default 10

#include "app/mainwindow.h"
#include "busdevice.h"
#include "codec/frame.h"
#include "monitor/frametablemodel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

using busdevice::residentMb;

// Latest and Nodes shown in place of the list and the detail pane may cost
// this much more of a core, at 2,000 frames/s.
constexpr double kGoalViewsAddPercent = 2;
using busdevice::sampleFrames;

double processCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A device writing `rate` frames per second in 10 ms ticks, on a thread of its own.
class Device
{
public:
    Device(int master, const QVector<QByteArray> &frames) : m_master(master), m_frames(frames) {}

    // Runs at `rate` for `seconds` while `pump` runs the window's event loop; the
    // CPU seconds the writing took are returned in `*ownCpu`.
    void run(int rate, double seconds, const std::function<void(double)> &pump, double *ownCpu)
    {
        std::atomic<bool> stop{false};
        std::atomic<double> cpu{0};
        std::thread writer([&] {
            using clock = std::chrono::steady_clock;
            auto next = clock::now();
            double carry = 0;
            while (!stop) {
                carry += rate / 100.0;
                QByteArray chunk;
                for (; carry >= 1; carry -= 1)
                    chunk += m_frames.at(int(m_next++ % size_t(m_frames.size())));
                busdevice::writeAll(m_master, chunk);
                next += std::chrono::milliseconds(10);
                std::this_thread::sleep_until(next);
            }
            cpu = threadCpuSeconds();
        });
        pump(seconds);
        stop = true;
        writer.join();
        *ownCpu = cpu;
    }

private:
    int m_master;
    QVector<QByteArray> m_frames;
    size_t m_next = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 10;
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR));
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));

    int master = -1;
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 2;
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);

    MainWindow *window = MainWindow::instance();
    window->resize(740, 600);
    window->show();
    auto click = [&](const char *button) { window->findChild<QPushButton *>(QLatin1String(button))->click(); };
    click("buttonBus");
    window->findChild<QComboBox *>(QStringLiteral("comboBoxPort"))->setEditText(QString::fromLocal8Bit(name));
    click("buttonConnect");
    auto *model = qobject_cast<FrameTableModel *>(
        window->findChild<QTableView *>(QStringLiteral("tableViewFrames"))->model());
    if (!model) {
        std::fprintf(stderr, "no frame list\n");
        return 2;
    }
    // The event loop as the tool runs it: waiting for events, not polling.
    const auto pump = [&](double forSeconds) {
        QEventLoop loop;
        QTimer::singleShot(int(forSeconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
    };
    Device device(master, sampleFrames(4096));
    bool allMet = true;
    pump(1);
    const double emptyMb = residentMb();

    struct Case
    {
        int rate;
        bool busShown;
        double goalPercent; // 0: for comparison only
        bool latestAndNodes = false;
    };
    auto *latest = window->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"));
    auto *detailTabs = window->findChild<QTabWidget *>(QStringLiteral("tabWidgetDetail"));
    if (!latest || !detailTabs) {
        std::fprintf(stderr, "no Latest or Nodes view\n");
        return 2;
    }
    double listPercent = 0; // at 2,000 frames/s
    for (const Case &c : {Case{100, true, 5}, Case{100, false, 0}, Case{2000, true, 25}, Case{2000, false, 0},
                          Case{2000, true, 0, true}}) {
        click(c.busShown ? "buttonBus" : "buttonBuild");
        latest->setChecked(c.latestAndNodes);
        detailTabs->setCurrentIndex(c.latestAndNodes ? 1 : 0);
        // Settle, then measure.
        double ignored = 0;
        device.run(c.rate, 1, pump, &ignored);
        const double before = processCpuSeconds();
        double writer = 0;
        device.run(c.rate, seconds, pump, &writer);
        const double used = processCpuSeconds() - before - writer;
        const double percent = 100.0 * used / seconds;
        if (c.latestAndNodes) {
            const double added = percent - listPercent;
            const bool met = added <= kGoalViewsAddPercent;
            allMet = allMet && met;
            std::printf("  %d frames/s, Latest and Nodes shown: %.1f %% of a core; Nodes, load and Latest views "
                        "add %.1f %%, goal <= %.0f %%: %s\n",
                        c.rate, percent, added, kGoalViewsAddPercent, met ? "ok" : "MISSED");
        } else if (c.goalPercent > 0) {
            if (c.rate == 2000)
                listPercent = percent;
            const bool met = percent <= c.goalPercent;
            allMet = allMet && met;
            std::printf("  %d frames/s, Bus page shown: %.1f %% of a core, goal <= %.0f %%: %s\n", c.rate, percent,
                        c.goalPercent, met ? "ok" : "MISSED");
        } else {
            std::printf("  %d frames/s, Encode page shown: %.1f %% of a core (for comparison)\n", c.rate, percent);
        }
    }

    // Memory with the list full: 100,000 frames at 10,000 frames/s.
    click("buttonBus");
    double ignored = 0;
    QElapsedTimer filling;
    filling.start();
    while (model->heldCount() < FrameTableModel::kDefaultCapacity && filling.elapsed() < 60000)
        device.run(10000, 1, pump, &ignored);
    const double mb = residentMb();
    const bool memoryMet = mb <= 150 && model->heldCount() >= FrameTableModel::kDefaultCapacity;
    allMet = allMet && memoryMet;
    std::printf("  resident memory with %d frames in the list %.0f MB (%.0f MB before the first), goal <= 150 MB: %s\n",
                model->heldCount(), mb, emptyMb, memoryMet ? "ok" : "MISSED");
    ::close(master);
    return allMet ? 0 : 1;
}
