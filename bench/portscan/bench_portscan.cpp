// Time share of each port in a scan of eight ports: one bridge (COM2), one port
// that opens but never answers (COM5), six missing ports. The scan runs on a
// simulated clock (the waits are the program's own timer), so the figures are
// the time a user waits per port; the real CPU time spent per port and the
// number of event-loop rounds the test's pump ran are printed beside them.

#include <chrono>
#include <cstdio>

#include "platform/testing/FakePlatform.h"
#include "portscan/PortProbe.h"

using namespace quellon;

int main() {
    FakePlatform plat;
    // Every port but COM2 and COM5 is missing; COM2 answers ":16" as a bridge
    // would, after about the time the bridge needs for its reply.
    for (int n = 1; n <= kPortSlots; ++n)
        if (n != 2 && n != 5)
            plat.openFailures.emplace(n,
                                      SerialError(serr::InvalidPortNumber, "Invalid port number"));
    plat.onNewPort = [](FakeSerialPort& port) {
        port.onWrite = [](const std::string& data, FakeSerialPort& p) {
            if (p.portNumber() == 2 && data == ":16\r")
                p.feedAfter(15, ":wexlo 1.10 42 10 20 150 150 30 120 30 120 5 0 0\r");
        };
    };

    ModGlobal g;
    PortProbe probe(g, plat);
    probe.hideAllSlots();

    struct Row {
        uint32_t simMs;
        double cpuUs;
        uint64_t loops;
    };
    Row rows[kPortSlots]{};
    uint32_t totalSim = 0;
    for (int port = 1; port <= kPortSlots; ++port) {
        const uint32_t t0 = plat.now;
        const int l0 = plat.processEventsCalls;
        const auto c0 = std::chrono::steady_clock::now();
        bool done = false;
        probe.probePort(port, [&] { done = true; });
        plat.runUntil([&] { return done; }, 10000);
        const auto c1 = std::chrono::steady_clock::now();
        rows[port - 1] = {plat.now - t0, std::chrono::duration<double, std::micro>(c1 - c0).count(),
                          static_cast<uint64_t>(plat.processEventsCalls - l0)};
        totalSim += plat.now - t0;
    }
    std::printf("%-6s %-12s %10s %8s %12s %10s\n", "port", "outcome", "wait ms", "share", "cpu us",
                "polls");
    for (int i = 0; i < kPortSlots; ++i) {
        const SlotState& s = probe.slot(i);
        const char* outcome = !s.visible                   ? "missing"
                              : s.icon == porticon::Bridge ? "bridge"
                                                           : "silent";
        std::printf("COM%-3d %-12s %10u %7.1f%% %12.1f %10llu\n", i + 1, outcome, rows[i].simMs,
                    totalSim ? 100.0 * rows[i].simMs / totalSim : 0.0, rows[i].cpuUs,
                    static_cast<unsigned long long>(rows[i].loops));
    }
    std::printf("total scan time %u ms (simulated)\n", totalSim);
    return 0;
}
