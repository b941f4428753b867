// Timed driver: process start to the first painted main window, offscreen,
// on the simulated meter. The parent starts this same program as a child
// (so the time includes exec, loading the libraries and the Qt start-up),
// the child builds the program exactly as brevane --simulate does and writes
// one byte into a pipe when the main window has painted for the first time.
//
// Prints
//   startup to first paint: X.XXX s   (target < 1 s; best and median of 5)

#include "CBrevaneApp.h"
#include "CBrevaneDlg.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSystemClock.h"

#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class CFirstPaint : public QObject {
public:
    CFirstPaint(QDialog& dlg, int fd) : m_dlg(dlg), m_fd(fd) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_dlg && event->type() == QEvent::Paint && m_fd >= 0) {
            const char done = 1;
            (void)!write(m_fd, &done, 1);
            close(m_fd);
            m_fd = -1;
            QTimer::singleShot(0, &m_dlg, [this] { m_dlg.done(0); });
        }
        return false;
    }

private:
    QDialog& m_dlg;
    int m_fd;
};

int RunChild(int argc, char** argv, int fd)
{
    CBrevaneApp app(argc, argv);
    CSystemClock clock;
    CSimMeter meter(clock);
    CSimBridge bridge(meter, clock);
    app.SetMainWindowRunner([&](CBrevaneApp& a) {
        CBrevaneDlg dlg(bridge, clock, a.m_sysInfo);
        CFirstPaint watch(dlg, fd);
        dlg.installEventFilter(&watch);
        return dlg.exec();
    });
    return app.Run();
}

double StartOnce(const char* self)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1.0;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(self, self, "--child", fd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char byte = 0;
    const ssize_t got = read(fds[0], &byte, 1);
    const auto painted = std::chrono::steady_clock::now();
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != 1)
        return -1.0;
    return std::chrono::duration<double>(painted - start).count();
}

}   // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--child") {
        int childArgc = 1;
        return RunChild(childArgc, argv, std::atoi(argv[2]));
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const double t = StartOnce("/proc/self/exe");
        if (t < 0) {
            std::fprintf(stderr, "the program did not paint its window\n");
            return 1;
        }
        times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    std::printf("startup to first paint: %.3f s (best), %.3f s (median of %zu)\n", times.front(),
                times[times.size() / 2], times.size());
    return 0;
}
