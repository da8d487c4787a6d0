// What an alarm does besides showing: the user's command (its arguments, no
// shell, at most once in 10 s, its failures), the journal (file and list) and
// the tray's notifications (once a minute for each cause).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <fstream>

#include "alarm/AlarmCommand.h"
#include "alarm/AlarmJournal.h"
#include "alarm/ui/AlarmTray.h"
#include "tests/platform/TestUtil.h"

using namespace quellon;
using namespace quellon::alarm;

namespace {

using quellon::test::pumpUntil;

AlarmEvent edge(AlarmEdge e, int ch, double swr, double fwd) {
    AlarmEvent ev;
    ev.edge = e;
    ev.channel = ch;
    ev.swr = ev.peakSwr = swr;
    ev.forwardW = ev.peakForwardW = fwd;
    ev.threshold = 3.0;
    return ev;
}

TEST(AlarmCommand, ArgumentsArriveWholeWithoutAShell) {
    QTemporaryDir dir;
    const std::string out = dir.filePath("args").toStdString();
    const std::string script = dir.filePath("record.sh").toStdString();
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done > \"$OUT\"\n"
                             "exit \"$CODE\"\n";
    chmod(script.c_str(), 0755);
    qputenv("OUT", QByteArray::fromStdString(out));
    qputenv("CODE", "0");
    int64_t now = 100000;
    AlarmCommand cmd(script + " \"a;b c\" \"x $HOME\" --ptt", [&] { return now; });
    cmd.onAlarm(edge(AlarmEdge::Start, 1, 3.4, 100), 0);
    ASSERT_TRUE(pumpUntil([&] { return !cmd.running(); }));
    EXPECT_EQ(test::readFile(out), "a;b c|x $HOME|--ptt|B|3.4|100.0|");
    EXPECT_EQ(cmd.status(), "");

    // Within 10 s: not again. Ends and the other channel do not count.
    std::remove(out.c_str());
    now += 9999;
    cmd.onAlarm(edge(AlarmEdge::Start, 0, 5, 50), 0);
    cmd.onAlarm(edge(AlarmEdge::End, 1, 3.4, 100), 0);
    EXPECT_EQ(cmd.runs(), 1);
    // After them, a failing run is reported.
    qputenv("CODE", "3");
    now += 1;
    cmd.onAlarm(edge(AlarmEdge::Start, 0, 5, 50), 0);
    ASSERT_TRUE(pumpUntil([&] { return !cmd.status().empty(); }));
    EXPECT_EQ(cmd.status(), "Alarm command \"" + script + "\" ended with code 3");
    EXPECT_EQ(test::readFile(out), "a;b c|x $HOME|--ptt|A|5.0|50.0|");

    AlarmCommand missing("/nonexistent/ptt-off", [&] { return now; });
    missing.onAlarm(edge(AlarmEdge::Start, 0, 5, 50), 0);
    ASSERT_TRUE(pumpUntil([&] { return !missing.status().empty(); }));
    EXPECT_EQ(
        missing.status().rfind("Alarm command \"/nonexistent/ptt-off\" could not be started", 0),
        0u);
    AlarmCommand none("", [&] { return now; });
    EXPECT_FALSE(none.configured());
}

TEST(AlarmJournal, EveryStartAndEndInTheFileAndTheLast50InTheList) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("alarms.csv").toStdString();
    std::ofstream(path, std::ios::binary)
        << AlarmJournal::headerLine() << "\r\n2026-01-01 00:00";  // torn
    AlarmJournal j(path);
    AlarmEvent a = edge(AlarmEdge::Start, 0, 3.4, 100);
    j.onAlarm(a, 0);
    a.edge = AlarmEdge::End;
    a.peakSwr = std::numeric_limits<double>::infinity();
    a.peakForwardW = 120;
    a.cause = EndCause::LinkLost;
    j.onAlarm(a, 1500);
    const std::string text = test::readFile(path);
    const std::string start = localTimeText(0), end = localTimeText(1500);
    EXPECT_EQ(text, AlarmJournal::headerLine() + "\r\n2026-01-01 00:00\r\n" + start +
                        ",start,A,3.4,3.00,100.0,\r\n" + end +
                        ",end,A,inf,3.00,120.0,bridge lost\r\n");
    ASSERT_EQ(j.entries().size(), 1u);
    EXPECT_EQ(j.entries()[0].endMs, 1500);
    EXPECT_DOUBLE_EQ(j.entries()[0].peakForwardW, 120);
    for (int i = 0; i < 60; ++i) j.onAlarm(edge(AlarmEdge::Start, i % 2, 4, 10 + i), 2000 + i);
    EXPECT_EQ(j.entries().size(), AlarmJournal::kKept);
    EXPECT_DOUBLE_EQ(j.entries().front().peakForwardW, 20);
    EXPECT_EQ(j.error(), "");

    AlarmJournal bad(dir.filePath("no/such/dir/alarms.csv").toStdString());
    bad.onAlarm(a, 0);
    EXPECT_NE(bad.error().find("cannot open"), std::string::npos);
}

TEST(AlarmTray, NotificationsAtMostOnceAMinuteForEachCause) {
    int64_t now = 0;
    AlarmMonitor monitor({0, 1.0}, [&] { return now; });
    AlarmTray tray(monitor, nullptr, {});
    std::vector<std::string> shown;
    tray.notify = [&](const std::string& title, const std::string& text) {
        shown.push_back(title + ": " + text);
    };
    ModGlobal g;
    ChannelReading rd;
    g.params.MaxSwrA = 300;
    rd.channel = "A";
    rd.pwrDir = rd.pwrDirMax = 1000;
    auto frame = [&](float swr) {
        rd.swrKind = swr > 3 ? SwrKind::High : SwrKind::Value;
        rd.swrValue = swr;
        const ReadingEvent e{rd, g, 0};
        monitor.onReading(e);
        tray.onReading(e);
    };
    tray.onLinkState(LinkState::Streaming);
    frame(3.5);
    EXPECT_EQ(tray.light(), AlarmTray::Light::Alarm);
    frame(1.2);
    now = 59999;
    frame(3.5);  // a second alarm within the minute: seen, not notified again
    frame(1.2);
    tray.onLinkState(LinkState::Lost);
    EXPECT_EQ(tray.light(), AlarmTray::Light::NoBridge);
    now = 60000;
    tray.onLinkState(LinkState::Streaming);
    frame(3.5);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "SWR alarm on channel A: SWR 3.5 > 3.0 at 100.0 W forward",
                         "Bridge lost: No data from the bridge: the SWR is not watched.",
                         "SWR alarm on channel A: SWR 3.5 > 3.0 at 100.0 W forward"}));
    EXPECT_NE(tray.toolTip().find("A: 100.0 W, SWR 3.5  ALARM"), std::string::npos);
}

}  // namespace
