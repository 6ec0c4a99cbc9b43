// SPDX-License-Identifier: MIT
// What comm's window costs while nothing happens, as a share of one core
// (user and system time of the whole process over wall time): with the port
// closed, open on a quiet pty, and with 拔出后自动重连 waiting for a device
// that was unplugged. Each state is measured for the same time in one run.
//
//   bench_idle [--seconds N]
#include "form1.h"
#include "portwatch.h"
#include "ptypair.h"
#include "resultline.h"
#include "serialcontrol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `seconds` and prints the share of a core used.
void measure(const char *state, int seconds)
{
    QElapsedTimer wall;
    const double before = cpuSeconds();
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double used = cpuSeconds() - before;
    std::printf("bench=idle state=%s seconds=%d cpu_percent_of_a_core=%.3f\n", state, seconds,
                100.0 * used / (double(wall.elapsed()) / 1000.0));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = intOption(app.arguments(), QStringLiteral("--seconds"), 10, 1);

    PtyPair pty;
    QTemporaryDir dev;
    const QString board = dev.filePath(QStringLiteral("ttyBOARD"));
    QFile::link(pty.devicePath(), board);
    pty.linkTo(1, board);
    Form1 window(new SerialControl);
    window.show();

    measure("closed", seconds);
    window.setReconnect(true);
    window.CmdOpen->click();
    if (!window.MSComm1->PortOpen()) {
        std::fprintf(stderr, "bench_idle: the pty did not open\n");
        return 1;
    }
    measure("open_quiet_pty", seconds);
    pty.closeMaster();
    QFile::remove(board);
    QElapsedTimer waited;
    waited.start();
    while (!window.portWatch()->watching() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!window.portWatch()->watching()) {
        std::fprintf(stderr, "bench_idle: the unplug was not noticed\n");
        return 1;
    }
    measure("waiting_for_the_device", seconds);
    return 0;
}
