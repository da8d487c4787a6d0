#include "ParserFuzz.h"

#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>

#include "link/BridgeLink.h"
#include "network/LiveFeed.h"
#include "platform/PortMap.h"
#include "settings/Ini.h"

namespace quellon::fuzz {

namespace {

// Input as consecutive fields: a one-byte length, then that many bytes.
struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() { return n ? (--n, *p++) : 0; }
    std::string take(size_t len) {
        std::string s(reinterpret_cast<const char*>(p), std::min(len, n));
        p += s.size(), n -= s.size();
        return s;
    }
    std::string field() { return take(byte()); }
    std::string rest() { return take(n); }
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

// Where the settings targets keep their files: a private folder, removed at exit, in
// memory where it can be, for the ini target rewrites its files on every run.
std::string scratchDir() {
    static const QTemporaryDir dir(QStringLiteral("%1/quellon-fuzz-XXXXXX")
                                       .arg(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp"));
    check(dir.isValid(), "scratch folder");
    return dir.path().toStdString();
}

// Cheap properties only: the settings tests fix which lines a write keeps and changes.
bool runIni(const uint8_t* data, size_t size) {
    Reader r{data, size};
    const uint8_t op = r.byte();
    const std::string section = r.field(), key = r.field(), value = r.field(), before = r.rest();
    const std::string file = scratchDir() + "/Quellon.ini", heldFile = scratchDir() + "/Held.ini";
    for (const std::string& f : {file, heldFile})
        std::ofstream(f, std::ios::binary | std::ios::trunc) << before;

    const auto got = IniLookup(section, key, file);
    check(!got || (!got->empty() && got->size() <= 254), "a value read is 1..254 bytes");
    if (op % 4 == 0) {
        const std::string v = ReadIni(section, key, file, "d");
        check(v.size() <= 254 && (got ? v == *got : v == "d"), "read gives the value or default");
    }
    WriteIni(section, key, value, file);
    const auto back = IniLookup(section, key, file);
    check(!back || (back->size() <= 254 && back->find_first_of("\r\n") == std::string::npos &&
                    value.find(*back) != std::string::npos),
          "what reads back is a single line of the value written");
    // The same change to the file held in memory and saved whole.
    {
        IniFile held(heldFile);
        check(held.lookup(section, key) == got, "held, the file reads the same");
        held.write(section, key, value);
        held.save();
    }
    // A damaged file (binary, oversized) was kept aside whole: it must hold the
    // bytes as they were, and goes so that the next run starts clean.
    bool damaged = false;
    for (const auto& e : std::filesystem::directory_iterator(scratchDir()))
        if (e.path().filename().string().find(".ini.damaged-") != std::string::npos) {
            std::ifstream in(e.path(), std::ios::binary);
            check(std::string(std::istreambuf_iterator<char>(in), {}) == before,
                  "a damaged file is kept whole");
            std::filesystem::remove(e.path());
            damaged = true;
        }
    check(damaged || IniLookup(section, key, heldFile) == back, "held or not, a write is the same");
    return back.has_value();
}

std::vector<uint8_t> shapeIni(std::mt19937& rng) {
    using namespace std::literals;
    // The last token makes a binary file.
    static const std::vector<std::string_view> tokens = {
        "[",        "]",          "=",        "\n",
        "\r\n",     " ",          "\t",       ";",
        "Bridge",   "bridge",     "Port",     "PORT",
        "Ports",    "1",          "GUI",      "\xEF\xBB\xBF",
        "\xC3\xA9", "[Bridge]\n", "Port=3\n", "[Ports]\n1=/dev/ttyUSB0\n",
        "\0"sv};
    return fromTokens(rng, tokens, 3, 200);
}

bool runPorts(const uint8_t* data, size_t size) {
    Reader r{data, size};
    const int n = static_cast<int>(r.byte() % 12) - 1;
    const std::string numberText = r.field(), ini = r.rest();
    const int value = portNumberValue(numberText);
    check(value >= -32768 && value <= 32767, "port number in 16 bits");

    const std::string file = scratchDir() + "/Ports.ini";
    { std::ofstream(file, std::ios::binary | std::ios::trunc) << ini; }
    const std::vector<PortInfo> system{{"/dev/ttyUSB0", "FT232R"}, {"/dev/ttyS0", ""}};
    const std::string path = devicePathForPort(n, file, system);
    check(n >= 1 || path.empty(), "no device below 1");
    bool pinned = false;  // numbers above the system's two come only from pins
    for (const auto& [num, info] : numberedPorts(file, 8, system)) {
        check(num >= 1 && num <= 8 && !info.path.empty(), "listed numbers have devices");
        pinned = pinned || num > 2;
    }
    return pinned;
}

std::vector<uint8_t> shapePorts(std::mt19937& rng) {
    // Port numbers, then settings with pins among other lines.
    static const std::vector<std::string_view> tokens = {
        "1",  " 2 ",        "-4",           "0",          "2.5",         "x",         "99999",
        "+7", "=",          "\n",           "\r\n",       "[Ports]\n",   "[ports]\n", " [Ports] \n",
        ";",  "[Bridge]\n", "3=/tmp/tty\n", " 7 = /x \n", "01=/dev/x\n", "4=\n",      "5=\t\n"};
    return fromTokens(rng, tokens, 1, 120);
}

// What the bridge sends (runOne): Kind 0 frames with small counts, 2 identification
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

// Live and bridge messages from the broker: anything accepted is within the
// ranges the decoder gives, and writes back to a message that reads the same.
bool runFeed(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LiveMessage live, again;
    BridgeInfo bridge, back;
    const bool liveOk = parseLive(bytes, live).empty();
    const bool bridgeOk = parseBridge(bytes, bridge).empty();
    check(!(liveOk && bridgeOk), "a message is live or bridge, never both");
    check(!liveOk || (bytes.size() <= kMaxLiveBytes && parseLive(livePayload(live), again).empty()),
          "an accepted live message is short and writes back");
    for (size_t i = 0; liveOk && i < 2; ++i)
        check(live.ch[i].reading.withTexts().swrText == again.ch[i].reading.withTexts().swrText &&
                  live.ch[i].count == again.ch[i].count,
              "an accepted live message reads back the same");
    check(!bridgeOk ||
              (parseBridge(bridgePayload(bridge), back).empty() && sameBridgeInfo(bridge, back)),
          "an accepted bridge message reads back the same");
    return liveOk || bridgeOk;
}

// Whole messages, now and then bent by a few bytes.
std::vector<uint8_t> shapeFeed(std::mt19937& rng) {
    static const std::string live = [] {
        LiveMessage m;
        m.ch[0].count = 3;
        m.ch[1].count = 4;
        m.ch[1].scaleText = "100W";
        return livePayload(m);
    }();
    static const std::string bridge = bridgePayload(BridgeInfo{});
    std::string s = rng() % 2 ? live : bridge;
    static const std::string_view bits[] = {"-", "1e9", "0.5", "\"\"", "null", "{", "\\u0000", ","};
    for (unsigned i = rng() % 4; i > 0 && !s.empty(); --i) {
        const size_t at = rng() % s.size();
        if (rng() % 3 == 0) s.erase(at, 1 + rng() % 8);
        else s.insert(at, bits[rng() % std::size(bits)]);
    }
    return {s.begin(), s.end()};
}

long long runShaped(const ParserTarget& t, long long runs, unsigned seed) {
    std::mt19937 rng(seed);
    long long deep = 0;
    for (long long i = 0; i < runs; ++i) {
        const std::vector<uint8_t> in = t.shape(rng);
        deep += t.run(in.data(), in.size());
    }
    return deep;
}

const std::vector<ParserTarget>& parserTargets() {
    static const std::vector<ParserTarget> targets = {
        {"ini", runIni, shapeIni},
        {"live-feed", runFeed, shapeFeed},
        {"ports", runPorts, shapePorts},
        {"frame", runOne, shapeLink<0>},
        {"identification", runOne, shapeLink<2>},
        {"scale-codes", runOne, shapeLink<3>},
    };
    return targets;
}

}  // namespace quellon::fuzz
