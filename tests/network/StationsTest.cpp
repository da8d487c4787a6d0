// The Stations window against a real broker: publishers as the program runs
// them, and foreign and hostile messages beside them.

#include <gtest/gtest.h>

#include <QTableWidget>

#include "network/MqttPublisher.h"
#include "network/ui/frmStations.h"
#include "tests/network/TestBroker.h"

using namespace quellon;
using namespace quellon::testing;

TEST(Stations, ListsEveryNodeLiveAndDropsWhatIsNotAFeed) {
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    ModGlobal g;
    ChannelReading rd;
    g.ScaleTextA = {"100W", "1KW"};
    std::vector<std::unique_ptr<MqttPublisher>> nodes;
    for (const char* n : {"shack", "field-day", "idle"}) {
        nodes.push_back(std::make_unique<MqttPublisher>(stationSettings(broker, n, 10), ""));
        nodes.back()->start();
    }
    auto feed = [&](MqttPublisher& p, const char* ch, int pwrDir, SwrKind kind) {
        rd.channel = ch;
        rd.pwrDir = static_cast<int16_t>(pwrDir);
        rd.swrKind = kind;
        rd.swrTenths = 15;
        rd.textsStale = true;
        p.onReading(ReadingEvent{rd, g, 1709647629250});
    };
    // The stream goes on while the window watches (the live feed is not retained).
    auto stream = [&] {
        feed(*nodes[0], "A", 516, SwrKind::High);
        feed(*nodes[0], "B", 90, SwrKind::Value);
        feed(*nodes[1], "A", 1234, SwrKind::Value);
    };

    frmStations w(stationSettings(broker, "viewer"));
    std::string opened;
    w.openViewer = [&](const std::string& n) { opened = n; };
    QTableWidget& t = *w.table();
    auto cell = [&](int row, int col) { return t.item(row, col)->text().toStdString(); };
    auto rows = [&] {
        std::string s;
        for (int r = 0; r < t.rowCount(); ++r) {
            for (int c = 0; c < frmStations::Columns; ++c) s += cell(r, c) + "|";
            s += "\n";
        }
        return s;
    };
    // Rows in node order; a node without readings shows its status only.
    const std::string want =
        "field-day|online|up|123 W|1.5||||\nidle|online|down||||||\n"
        "shack|online|up|51 W|HIG|9 W|1.5|A|\n";
    ASSERT_TRUE(waitUntil([&] {
        stream();
        return rows() == want;
    })) << rows();

    // Hostile and foreign messages: counted, dropped, never shown.
    const std::vector<Message> bad = {
        {"quellon/shack/live", "{\"a\":{\"count\":1}}"},
        {"quellon/shack/live", std::string(10 << 20, '{')},
        {"quellon/shack/status", "maybe"},
        {"quellon/bad/live", "not json"},
        {"quellon/bad/bridge", "{}"},
        {"quellon/n.ode/status", "online"},
    };
    ASSERT_TRUE(publishRaw(broker, bad));
    ASSERT_TRUE(waitUntil([&] {
        stream();
        return w.watcher().dropped() >= bad.size();
    })) << w.watcher().dropped()
        << " " << w.watcher().lastDropped();
    w.refresh();
    EXPECT_EQ(rows(), want);

    // A node going away: its status follows.
    nodes[1]->stop();
    ASSERT_TRUE(waitUntil([&] { return cell(0, frmStations::Status) == "offline"; }));
    emit t.cellDoubleClicked(2, 0);
    EXPECT_EQ(opened, "shack");
}
