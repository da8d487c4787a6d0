// Without libFuzzer: a fixed-seed random run over the same entry points, inputs shaped
// like frames (small counts) and replies so the deep paths are reached, some plain bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string_view>
#include <vector>

#include "LinkFuzz.h"

TEST(FuzzSmoke, ParsersSurviveRandomInput) {
    const char* env = std::getenv("QUELLON_FUZZ_ITERATIONS");
    const int n = env && std::atoi(env) > 0 ? std::atoi(env) : 200000;
    std::mt19937 rng(20240601u);
    int deep[4] = {};
    for (int i = 0; i < n; ++i) {
        const unsigned kind = rng() % 4;  // frame, frame, identification, scale codes
        const std::string_view pick = kind == 2 ? "0123456789 . -+eE/" : ":0123456789x\r";
        const size_t len = kind < 2 ? 23 : kind == 2 ? 80 + rng() % 12 : rng() % 8;
        const auto b = [&] { return static_cast<uint8_t>(rng()); };
        std::vector<uint8_t> in{static_cast<uint8_t>(kind), kind == 3 ? uint8_t{':'} : b(), b(),
                                ':', static_cast<uint8_t>('A' + rng() % 2)};
        in.resize(kind < 2 ? 5 : kind == 3 && rng() % 4 ? 2 : 1);
        while (in.size() < len) {
            const bool highByte = kind < 2 && in.size() % 2 == 0;  // counts stay small
            in.push_back(static_cast<uint8_t>(rng() % 6 == 0 ? rng()
                                              : highByte     ? rng() % 5
                                              : kind < 2     ? rng()
                                                             : pick[rng() % pick.size()]));
        }
        if (rng() % 8 == 0) in.resize(rng() % in.size());  // short reads
        deep[kind] += quellon::fuzz::runOne(in.data(), in.size());
    }
    // Every entry point gets past its refusal often, or the shaping above has gone stale.
    for (int count : deep) EXPECT_TRUE(n < 10000 || count > n / 2000) << count;
}
