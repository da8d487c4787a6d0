// The toolkit's share of the floor: a process that reads the simulator's stream
// the way the program's event loop does (the widget application, its event
// dispatcher and Qt's serial port, notified as bytes arrive and taking 20-byte
// frames), and does nothing else with them. Beside the bare reader it shows how
// much of the program's CPU per frame the toolkit takes before any decoding,
// logging or painting.
//
//   bench_toolkit_reader PORT
//
// Standard input takes "stats" (answered on standard output with "frames N")
// and ends the reader at end of file.

#include <unistd.h>

#include <QApplication>
#include <QSerialPort>
#include <QSocketNotifier>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_toolkit_reader PORT\n");
        return 2;
    }
    // The same event dispatcher as the program uses.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QSerialPort port;
    port.setPortName(QString::fromLocal8Bit(argv[1]));
    if (!port.open(QIODevice::ReadWrite) || !port.setBaudRate(115200)) {
        std::fprintf(stderr, "bench_toolkit_reader: cannot open %s\n", argv[1]);
        return 1;
    }
    port.write(":11\r", 4);
    port.flush();

    unsigned long long bytes = 0;
    char frame[20];
    QObject::connect(&port, &QSerialPort::readyRead, &port, [&] {
        while (port.bytesAvailable() >= static_cast<qint64>(sizeof frame)) {
            const qint64 n = port.read(frame, sizeof frame);
            if (n > 0) bytes += static_cast<unsigned long long>(n);
        }
    });

    std::string line;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[64];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            app.quit();
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                line += buf[i];
                continue;
            }
            // The stream's acknowledgement (":ACK\r") is not a frame.
            if (line == "stats")
                std::printf("frames %llu\n", bytes > 5 ? (bytes - 5) / sizeof frame : 0);
            std::fflush(stdout);
            line.clear();
        }
    });
    return app.exec();
}
