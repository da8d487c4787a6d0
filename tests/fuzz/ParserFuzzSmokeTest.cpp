// A short fixed-seed run of every parser target (scripts/fuzz.sh runs them long).
#include <gtest/gtest.h>

#include <cstdlib>

#include "ParserFuzz.h"

TEST(ParserFuzzSmoke, EveryParserSurvivesShapedRandomInput) {
    const char* env = std::getenv("QUELLON_PARSER_FUZZ_RUNS");
    const int runs = env && std::atoi(env) > 0 ? std::atoi(env) : 20000;
    // The shaping reaches the deep path often, or it has gone stale.
    for (const auto& t : quellon::fuzz::parserTargets())
        EXPECT_GT(quellon::fuzz::runShaped(t, runs, 20240917u), runs / 100) << t.name;
}
