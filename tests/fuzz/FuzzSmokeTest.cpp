// Without libFuzzer: a fixed-seed random run over the same entry points. The
// inputs are shaped like the real thing (frames with small counts, replies of
// about the right length with digits and blanks) so the deep paths are hit,
// with a share of plain random bytes.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "LinkFuzz.h"

namespace quellon::fuzz {
namespace {

std::vector<uint8_t> shapedInput(std::mt19937& rng) {
    auto byte = [&] { return static_cast<uint8_t>(rng() & 0xFF); };
    auto pick = [&](std::string_view s) { return static_cast<uint8_t>(s[rng() % s.size()]); };
    std::vector<uint8_t> in;
    const unsigned kind = rng() % 8;
    if (kind < 4) {
        // Selector, scale setup, then a frame with mostly small counts.
        in = {static_cast<uint8_t>(4 * (rng() % 64)), byte(), byte(), ':'};
        in.push_back(rng() % 2 ? 'A' : (rng() % 2 ? 'B' : byte()));
        for (int i = 0; i < 12; ++i)
            in.push_back(i % 2 ? static_cast<uint8_t>(rng() % 16 == 0 ? byte() : rng() % 5)
                               : byte());
        for (int i = 0; i < 4; ++i) in.push_back(byte());
        in.push_back(static_cast<uint8_t>(rng() % 5));
        in.push_back('\r');
        if (rng() % 8 == 0) in.resize(rng() % in.size());  // short reads
    } else if (kind < 6) {
        // An identification reply after ":wexlo": separators, digits, signs, points.
        in.push_back(2);
        const size_t len = rng() % 4 == 0 ? rng() % 100 : 80 + rng() % 12;
        for (size_t i = 0; i < len; ++i)
            in.push_back(rng() % 6 == 0 ? byte() : pick("0123456789 . -+eE/"));
    } else if (kind == 6) {
        in.push_back(3);
        const size_t len = rng() % 8;
        for (size_t i = 0; i < len; ++i)
            in.push_back(i == 0 && rng() % 4 ? ':' : pick("012345678x:\r"));
    } else {
        in.resize(rng() % 128);
        for (auto& b : in) b = byte();
    }
    return in;
}

TEST(FuzzSmoke, ParsersSurviveRandomInput) {
    const char* env = std::getenv("QUELLON_FUZZ_ITERATIONS");
    const int n = env && std::atoi(env) > 0 ? std::atoi(env) : 200000;
    std::mt19937 rng(20240601u);
    for (int i = 0; i < n; ++i) {
        const std::vector<uint8_t> in = shapedInput(rng);
        runOne(in.data(), in.size());
    }
    const Stats& s = stats();
    const long counts[] = {s.framesDecoded, s.frameErrors,    s.infoAccepted, s.infoOldFirmware,
                           s.infoRefused,   s.scalesAccepted, s.scalesRefused};
    std::printf(
        "frames decoded/refused, info accepted/old firmware/refused, scales "
        "accepted/refused: %ld %ld %ld %ld %ld %ld %ld\n",
        counts[0], counts[1], counts[2], counts[3], counts[4], counts[5], counts[6]);
    // Every outcome is reached often, or the shaping above has gone stale.
    if (n >= 10000) {
        for (long count : counts) EXPECT_GT(count, n / 2000);
    }
}

}  // namespace
}  // namespace quellon::fuzz
