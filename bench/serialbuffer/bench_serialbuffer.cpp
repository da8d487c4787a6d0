// Resident memory while the receive handler cannot run (a modal box opened from
// it, or anything else that holds the stream up) and the bridge keeps sending
// its 576 frames a second: with the port's read limit, and without it.
//
//   bench_serialbuffer [seconds per run, default 20]
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "bench/Process.h"
#include "platform/QtSerialPort.h"

using namespace quellon;

using quellon::bench::residentMB;

namespace {

void run(int seconds, bool limited) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    const std::string path = name;
    QtSerialPort port([&](int) { return path; });
    port.setSettings("115200,N,8,1");
    if (!limited) port.setReadBufferLimit(0);
    port.open();
    bool boxShown = false;
    double after = 0;
    port.setBytesHandler([&] {
        if (!boxShown) {
            // The box stays up, unanswered, for the whole run: its own event
            // loop runs, the handler does not come back.
            boxShown = true;
            QEventLoop box;
            QTimer::singleShot(seconds * 1000, &box, [&] {
                after = residentMB();
                box.quit();
            });
            box.exec();
        }
        port.read();
    });

    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread line([&] {
        const std::string frame = ":A" + std::string(17, '\x01') + "\r";
        auto next = std::chrono::steady_clock::now();
        while (!stop) {
            // 576 frames a second, written one by one as the bridge does.
            if (::write(master, frame.data(), frame.size()) > 0) sent += 20;
            next += std::chrono::microseconds(1736);
            std::this_thread::sleep_until(next);
        }
    });
    const double before = residentMB();
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();  // the first frame opens the box, which holds this loop up

    stop = true;
    line.join();
    std::printf("%-22s %3d s  line %6.1f KB/s  resident %6.1f -> %6.1f MB  (%+.2f MB/s)\n",
                limited ? "read limit 4 KB:" : "no read limit:", seconds,
                static_cast<double>(sent) / 1024.0 / seconds, before, after,
                (after - before) / seconds);
    port.close();
    ::close(master);
    ::close(slave);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    run(seconds, false);
    run(seconds, true);
    return 0;
}
