// A short fixed-seed run of every parser target (scripts/fuzz.sh runs them long).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "ParserFuzz.h"

TEST(ParserFuzzSmoke, EveryParserSurvivesShapedRandomInput) {
    const char* env = std::getenv("QUELLON_PARSER_FUZZ_RUNS");
    const int runs = env && std::atoi(env) > 0 ? std::atoi(env) : 20000;
    for (const auto& t : quellon::fuzz::parserTargets()) {
        SCOPED_TRACE(t.name);
        std::mt19937 rng(20240917u);
        int deep = 0;
        for (int i = 0; i < runs; ++i) {
            const std::vector<uint8_t> in = t.shape(rng);
            deep += t.run(in.data(), in.size());
        }
        // The shaping reaches the deep path often, or it has gone stale.
        EXPECT_GT(deep, runs / 100) << t.name;
    }
}
