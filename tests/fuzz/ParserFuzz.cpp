#include "ParserFuzz.h"

#include <unistd.h>

#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "LinkFuzz.h"
#include "link/BridgeLink.h"
#include "link/CommandExchange.h"
#include "network/LiveFeed.h"
#include "platform/PortMap.h"
#include "platform/SerialPort.h"
#include "platform/testing/FakePlatform.h"
#include "portscan/PortProbe.h"
#include "settings/Ini.h"

namespace quellon::fuzz {

namespace {

void check(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "fuzz invariant broken: %s\n", what), std::abort();
}

// Input as consecutive fields: a one-byte length, then that many bytes.
struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() { return n ? (--n, *p++) : 0; }
    std::string field() {
        size_t len = byte();
        if (len > n) len = n;
        std::string s(reinterpret_cast<const char*>(p), len);
        p += len, n -= len;
        return s;
    }
    std::string rest() {
        std::string s(reinterpret_cast<const char*>(p), n);
        p += n, n = 0;
        return s;
    }
};

std::vector<uint8_t> fromTokens(std::mt19937& rng, const std::vector<std::string_view>& tokens,
                                size_t fields, size_t maxLen) {
    std::vector<uint8_t> out;
    auto piece = [&](size_t len) {
        std::string s;
        while (s.size() < len) {
            if (rng() % 5 == 0) s += static_cast<char>(rng());
            else s += tokens[rng() % tokens.size()];
        }
        return s.substr(0, len);
    };
    out.push_back(static_cast<uint8_t>(rng()));
    for (size_t i = 0; i < fields; ++i) {
        const std::string s = piece(rng() % 24);
        out.push_back(static_cast<uint8_t>(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
    const std::string tail = piece(rng() % maxLen);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

std::string_view trimmed(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r\v\f");
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\v\f") - b + 1);
}

// The settings file as lines, the way a reader sees it.
std::optional<std::vector<std::string>> linesOf(const std::string& raw) {
    if (raw.find('\0') != std::string::npos) return std::nullopt;
    std::string_view t = raw;
    if (t.substr(0, 3) == "\xEF\xBB\xBF") t.remove_prefix(3);
    std::vector<std::string> out;
    while (!t.empty()) {
        const auto nl = t.find('\n');
        std::string_view line = t.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out.emplace_back(line);
        if (nl == std::string_view::npos) break;
        t.remove_prefix(nl + 1);
    }
    return out;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool runIni(const uint8_t* data, size_t size) {
    Reader r{data, size};
    const uint8_t op = r.byte();
    const std::string section = r.field(), key = r.field(), value = r.field(), before = r.rest();
    const std::string file = scratchDir() + "/Quellon.ini";
    { std::ofstream(file, std::ios::binary | std::ios::trunc) << before; }

    const std::string_view sec = trimmed(section), k = trimmed(key);
    const bool validNames = sec.find_first_of(std::string_view("]\r\n\0", 4)) == sec.npos &&
                            !k.empty() &&
                            k.find_first_of(std::string_view("=\r\n\0", 4)) == k.npos &&
                            k.front() != '[' && k.front() != ';';
    const auto got = IniLookup(section, key, file);
    check(!got || (!got->empty() && got->size() <= 254), "a value read is 1..254 bytes");
    if (op % 4 == 0) {
        const std::string v = ReadIni(section, key, file, "d");
        check(v.size() <= 254 && (got ? v == *got : v == "d"), "read gives the value or default");
        check(!validNames || ReadIni(section, key, file, "e") == v, "the default is written back");
    }
    WriteIni(section, key, value, file);
    const std::string after = slurp(file);
    // A damaged file (binary, oversized) was kept aside whole: it must hold the
    // bytes as they were, and goes so that the next run starts clean.
    for (const auto& e : std::filesystem::directory_iterator(scratchDir()))
        if (e.path().filename().string().rfind("Quellon.ini.damaged-", 0) == 0) {
            check(slurp(e.path().string()) == before, "a damaged file is kept whole");
            std::filesystem::remove(e.path());
        }

    if (!validNames) {
        check(after == before, "a name that cannot be written changes nothing");
        return false;
    }
    // Write then read gives the value: up to the first line break, without the
    // blanks around it, at most 254 bytes.
    std::string_view want = value;
    want = want.substr(0, want.find_first_of(std::string_view("\r\n\0", 3)));
    want = trimmed(want);
    const auto back = IniLookup(section, key, file);
    if (want.empty()) {
        check(!back, "an empty value reads as missing");
    } else {
        check(back.has_value(), "a written value can be read back");
        check(back->size() <= 254 && want.substr(0, back->size()) == *back &&
                  (want.size() <= 254 ? back->size() == want.size() : back->size() + 4 > 254),
              "write then read gives the value");
    }
    // Every other line is kept, in its order.
    const auto oldLines = before.size() <= (1u << 20) ? linesOf(before) : std::nullopt;
    const auto newLines = linesOf(after);
    check(newLines.has_value(), "the file stays text");
    if (!oldLines) return true;
    const auto& o = *oldLines;
    const auto& n = *newLines;
    check(n.size() >= o.size() && n.size() <= o.size() + 2, "at most a header and a key added");
    size_t pre = 0;
    while (pre < o.size() && pre < n.size() && o[pre] == n[pre]) ++pre;
    size_t suf = 0;
    while (suf < o.size() - pre && suf < n.size() - pre &&
           o[o.size() - 1 - suf] == n[n.size() - 1 - suf])
        ++suf;
    if (n.size() == o.size()) check(pre + suf + 1 >= o.size(), "only the key's line changed");
    else if (n.size() == o.size() + 1) check(pre + suf >= o.size(), "one line inserted");
    else check(pre == o.size(), "a new section goes at the end");
    return true;
}

std::vector<uint8_t> shapeIni(std::mt19937& rng) {
    static const std::string_view text[] = {
        "[",        "]",          "=",        "\n",
        "\r\n",     " ",          "\t",       ";",
        "Bridge",   "bridge",     "Port",     "PORT",
        "Ports",    "1",          "GUI",      "\xEF\xBB\xBF",
        "\xC3\xA9", "[Bridge]\n", "Port=3\n", "[Ports]\n1=/dev/ttyUSB0\n"};
    static std::vector<std::string_view> tokens(std::begin(text), std::end(text));
    if (tokens.size() == std::size(text)) tokens.emplace_back("\0", 1);  // a binary file
    return fromTokens(rng, tokens, 3, 200);
}

bool runSettingsText(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const SerialSettings s = parseSerialSettings(text);
        check(s.baud > 0, "baud");
        check(s.dataBits >= 5 && s.dataBits <= 8, "data bits");
        check(std::string_view("NEOMS").find(s.parity) != std::string_view::npos, "parity");
        check(s.stopBits >= 1 && s.stopBits <= 3, "stop bits");
        return true;
    } catch (const SerialError& e) {
        check(e.number() == serr::InvalidPropertyValue, "malformed settings are 380");
        return false;
    }
}

// Mostly the four fields in their places, each picked from what is valid and
// what is nearly valid, then a few random bytes changed.
std::string mutate(std::mt19937& rng, std::string s) {
    for (unsigned k = rng() % 4; k > 0 && !s.empty(); --k) {
        const size_t at = rng() % s.size();
        switch (rng() % 3) {
            case 0: s[at] = static_cast<char>(rng()); break;
            case 1: s.erase(at, 1); break;
            default: s.insert(at, 1, static_cast<char>(rng())); break;
        }
    }
    return s;
}

template <size_t N>
std::string_view pick(std::mt19937& rng, const std::string_view (&from)[N]) {
    return from[rng() % N];
}

std::vector<uint8_t> shapeSettingsText(std::mt19937& rng) {
    static const std::string_view bauds[] = {"115200",      "9600",  "0",   "-1",
                                             "99999999999", " 300 ", "1e3", ""};
    static const std::string_view parities[] = {"N", "e", "O", "m", "S", "X", "", "NN"};
    static const std::string_view bits[] = {"8", "7", "5", "4", "9", "", "8.0"};
    static const std::string_view stops[] = {"1", "2", "1.5", "0", "3", "", "1,"};
    std::string s = std::string(pick(rng, bauds)) + "," + std::string(pick(rng, parities)) + "," +
                    std::string(pick(rng, bits)) + "," + std::string(pick(rng, stops));
    if (rng() % 2) s = mutate(rng, s);
    return {s.begin(), s.end()};
}

bool runPorts(const uint8_t* data, size_t size) {
    Reader r{data, size};
    const int n = static_cast<int>(r.byte() % 12) - 1;
    const std::string numberText = r.field(), ini = r.rest();
    const int value = portNumberValue(numberText);
    check(value >= -32768 && value <= 32767, "port number in 16 bits");
    if (!numberText.empty() && numberText.size() <= 4 &&
        numberText.find_first_not_of("0123456789") == std::string::npos)
        check(value == std::atoi(numberText.c_str()), "plain numbers read as themselves");

    const std::string file = scratchDir() + "/Ports.ini";
    { std::ofstream(file, std::ios::binary | std::ios::trunc) << ini; }
    const std::vector<PortInfo> system{{"/dev/ttyUSB0", "FT232R"}, {"/dev/ttyS0", ""}};
    const std::string path = devicePathForPort(n, file, system);
    const auto pinned = n >= 1 ? IniLookup("Ports", std::to_string(n), file) : std::nullopt;
    if (n < 1) check(path.empty(), "no device below 1");
    else if (pinned && !trimmed(*pinned).empty()) check(path == trimmed(*pinned), "a pin wins");
    else check(path == (n <= 2 ? system[size_t(n) - 1].path : ""), "else the system's n-th");
    for (const auto& [num, info] : numberedPorts(file, 8, system))
        check(num >= 1 && num <= 8 && !info.path.empty(), "listed numbers have devices");
    return pinned.has_value();
}

std::vector<uint8_t> shapePorts(std::mt19937& rng) {
    static const std::string_view numbers[] = {"1",   "3", " 2 ", "-4",    "0",  "1.5",
                                               "2.5", "x", "",    "99999", "+7", "1e1"};
    static const std::string_view keys[] = {"1", "2", "3", "7", " 1", "01", "", "x", "10"};
    static const std::string_view values[] = {
        "/dev/ttyUSB0", " /dev/serial/by-id/usb-x ", "", "\t", "=", "/tmp/tty"};
    static const std::string_view headers[] = {"[Ports]",  "[ports]", " [Ports] ",
                                               "[Bridge]", "[Ports",  ";[Ports]"};
    std::string ini;
    for (unsigned k = rng() % 6; k > 0; --k) {
        if (rng() % 3 == 0) ini += std::string(pick(rng, headers)) + "\n";
        ini += std::string(pick(rng, keys)) + "=" + std::string(pick(rng, values)) +
               (rng() % 4 ? "\n" : "\r\n");
    }
    if (rng() % 3 == 0) ini = mutate(rng, ini);
    const std::string number = std::string(pick(rng, numbers));
    std::vector<uint8_t> out{static_cast<uint8_t>(rng()), static_cast<uint8_t>(number.size())};
    out.insert(out.end(), number.begin(), number.end());
    out.insert(out.end(), ini.begin(), ini.end());
    return out;
}

// The three reads of an acknowledged command each get one piece of the input.
bool runAck(const uint8_t* data, size_t size) {
    Reader r{data, size};
    const std::string pieces[3] = {r.field(), r.field(), r.rest()};
    FakePlatform p;
    FakeSerialPort port(&p);
    port.open();
    port.feed("stale frame bytes :ACK\r");  // from before the command: never counts
    int writes = 0;
    port.onWrite = [&](const std::string&, FakeSerialPort& self) {
        self.feed(pieces[writes++ % 3]);
    };
    CommandExchange ex(port, p);
    bool acked = false, done = false;
    ex.sendAck(":11\r", [&](const ExchangeResult& res) { acked = res.ok, done = true; });
    p.runUntil([&] { return done; }, 1000);
    int first = -1;
    for (int i = 0; i < 3 && first < 0; ++i)
        if (pieces[i].find(":ACK\r") != std::string::npos) first = i;
    check(acked == (first >= 0), "acknowledged iff one read holds :ACK CR");
    check(writes == (first >= 0 ? first + 1 : 3),
          "written until acknowledged, three times at most");
    return acked;
}

std::vector<uint8_t> shapeAck(std::mt19937& rng) {
    return fromTokens(rng, {":ACK\r", ":ACK", "\r", ":", "A", "C", "K", ":AC", "K\r", "x"}, 2, 16);
}

// A reply arriving in pieces while the reader polls.
bool runReply(const uint8_t* data, size_t size) {
    Reader r{data, size};
    const int gap = r.byte() % 40;
    FakePlatform p;
    p.pumpStepMs = 20;
    FakeSerialPort port(&p);
    port.open();
    std::string all;
    for (int i = 0; r.n > 0; ++i) {
        const std::string piece = r.field();
        all += piece;
        port.feedAfter(i * gap, piece);
    }
    CommandExchange ex(port, p);
    port.setBytesHandler([&] { ex.onBytes(); });
    std::string got;
    ex.sendForReply("", 0, [&](const ExchangeResult& res) { got = res.reply; });
    p.runUntil([&] { return !ex.busy(); }, 10000);
    const size_t cr = all.find('\r');
    check(got == (cr == std::string::npos ? std::string(kReplyTimeout) : all.substr(0, cr)),
          "the line up to its CR, or the timeout");
    return cr != std::string::npos;
}

std::vector<uint8_t> shapeReply(std::mt19937& rng) {
    return fromTokens(rng, {":wexlo", ",1.10", ",00025", "\r", ":", "0", "NAK Timeout", " "}, 4,
                      60);
}

// The probe's wait for ":wexlo" with the reply in pieces within the wait.
bool runProbe(const uint8_t* data, size_t size) {
    Reader r{data, size};
    const int gap = r.byte() % 50;
    std::vector<std::string> pieces;
    std::string all;
    while (r.n > 0) all += pieces.emplace_back(r.field());
    FakePlatform p;
    p.pumpStepMs = 10;
    p.onNewPort = [&](FakeSerialPort& port) {
        port.onWrite = [&](const std::string&, FakeSerialPort& self) {
            for (size_t i = 0; i < pieces.size(); ++i)
                self.feedAfter(static_cast<int>(i) * gap, pieces[i]);
        };
    };
    ModGlobal g;
    g.PortSettings = "115200,N,8,1";
    PortProbe probe(g, p);
    bool done = false;
    probe.probePort(1, [&] { done = true; });
    p.runUntil([&] { return done; }, 10000);
    const bool bridge = probe.slot(0).visible && probe.slot(0).icon == porticon::Bridge;
    if (all.size() < 4096)
        check(bridge == (all.find(":wexlo") != std::string::npos), "bridge iff :wexlo");
    else if (bridge)
        check(all.find(":wexlo") != std::string::npos, "never a bridge without :wexlo");
    return bridge;
}

std::vector<uint8_t> shapeProbe(std::mt19937& rng) {
    return fromTokens(rng, {":wexlo", ":wex", "lo", ":WEXLO", "\r", ":", "x", " 1.10"}, 4, 40);
}

// What the bridge sends (LinkFuzz.h): Kind 0 frames with small counts, 2 identification
// replies, 3 scale codes, each mostly in its own alphabet; some inputs cut short.
template <unsigned Kind>
std::vector<uint8_t> shapeLink(std::mt19937& rng) {
    const std::string_view alphabet = Kind == 2 ? "0123456789 . -+eE/" : ":0123456789x\r";
    const size_t len = Kind == 0 ? 23 : Kind == 2 ? 80 + rng() % 12 : rng() % 8;
    const auto b = [&] { return static_cast<uint8_t>(rng()); };
    std::vector<uint8_t> in{Kind, Kind == 3 ? uint8_t{':'} : b(), b(), ':',
                            static_cast<uint8_t>('A' + rng() % 2)};
    in.resize(Kind == 0 ? 5 : Kind == 3 && rng() % 4 ? 2 : 1);
    while (in.size() < len) {
        const bool highByte = Kind == 0 && in.size() % 2 == 0;
        in.push_back(static_cast<uint8_t>(rng() % 6 == 0 ? rng()
                                          : highByte     ? rng() % 5
                                          : Kind == 0    ? rng()
                                                         : alphabet[rng() % alphabet.size()]));
    }
    if (rng() % 8 == 0) in.resize(rng() % in.size());  // short reads
    return in;
}

}  // namespace

std::string scratchDir() {
    // In memory where it can be: the ini target rewrites its file on every run.
    static const QTemporaryDir dir(QStringLiteral("%1/quellon-fuzz-XXXXXX")
                                       .arg(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp"));
    check(dir.isValid(), "scratch folder");
    return dir.path().toStdString();
}

// Live and bridge messages from the broker: anything accepted is within the
// ranges the decoder gives, and writes back to a message that reads the same.
bool runFeed(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LiveMessage live;
    BridgeInfo bridge;
    const bool liveOk = parseLive(bytes, live).empty();
    const bool bridgeOk = parseBridge(bytes, bridge).empty();
    check(!(liveOk && bridgeOk), "a message is live or bridge, never both");
    if (liveOk) {
        check(bytes.size() <= kMaxLiveBytes, "a live message is short");
        LiveMessage again;
        check(parseLive(livePayload(live), again).empty(), "an accepted live message writes back");
        for (size_t i = 0; i < 2; ++i) {
            const ChannelReading& a = live.ch[i].reading.withTexts();
            const ChannelReading& b = again.ch[i].reading.withTexts();
            check(a.nDir >= 0 && a.nRevMax >= 0 && a.scaleMultText == b.scaleMultText &&
                      a.pwrDirText == b.pwrDirText && a.swrText == b.swrText &&
                      a.voltRefText == b.voltRefText && live.ch[i].count == again.ch[i].count &&
                      live.ch[i].scaleText.size() <= kMaxShortText,
                  "an accepted live message reads back the same");
        }
    }
    if (bridgeOk) {
        BridgeInfo again;
        check(parseBridge(bridgePayload(bridge), again).empty() && sameBridgeInfo(bridge, again),
              "an accepted bridge message reads back the same");
    }
    return liveOk || bridgeOk;
}

std::vector<uint8_t> shapeFeed(std::mt19937& rng) {
    static const std::string live = [] {
        LiveMessage m;
        for (size_t i = 0; i < 2; ++i) {
            m.ch[i].count = 3 + i;
            m.ch[i].reading.nDir = 700;
            m.ch[i].reading.swrKind = SwrKind::Value;
            m.ch[i].reading.swrTenths = 15;
            m.ch[i].scaleText = "100W";
        }
        return livePayload(m);
    }();
    static const std::string bridge = bridgePayload(BridgeInfo{});
    // Whole messages, now and then bent by a few bytes.
    const std::string& base = rng() % 2 ? live : bridge;
    std::string s = base;
    const unsigned edits = rng() % 4;
    for (unsigned i = 0; i < edits && !s.empty(); ++i) {
        const size_t at = rng() % s.size();
        static const std::string_view bits[] = {"-",       "1e9", "0.5", "\"\"", "null", "{", "}",
                                                "\\u0000", ",",   "9",   "true", "[]",   "\""};
        const std::string_view b = bits[rng() % std::size(bits)];
        if (rng() % 3 == 0) s.erase(at, 1 + rng() % 8);
        else s.insert(at, b);
    }
    return {s.begin(), s.end()};
}

const std::vector<ParserTarget>& parserTargets() {
    static const std::vector<ParserTarget> targets = {
        {"ini", runIni, shapeIni},
        {"live-feed", runFeed, shapeFeed},
        {"serial-settings", runSettingsText, shapeSettingsText},
        {"ports", runPorts, shapePorts},
        {"ack", runAck, shapeAck},
        {"reply", runReply, shapeReply},
        {"probe", runProbe, shapeProbe},
        {"frame", runOne, shapeLink<0>},
        {"identification", runOne, shapeLink<2>},
        {"scale-codes", runOne, shapeLink<3>},
    };
    return targets;
}

}  // namespace quellon::fuzz
