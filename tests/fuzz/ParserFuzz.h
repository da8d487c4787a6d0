#pragma once
// One target per parser of bytes from outside the program; each checks its own invariants
// and aborts on a broken one. Inputs are shaped so the deep paths are reached unguided.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace quellon::fuzz {

inline void check(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "fuzz invariant broken: %s\n", what), std::abort();
}

struct ParserTarget {
    const char* name;
    // Runs one input; returns whether it reached the parser's deep path.
    bool (*run)(const uint8_t* data, size_t size);
    // Makes one input from the generator.
    std::vector<uint8_t> (*shape)(std::mt19937& rng);
};

const std::vector<ParserTarget>& parserTargets();

// Runs the target on `runs` shaped inputs from `seed`; returns how many reached the deep path.
long long runShaped(const ParserTarget& t, long long runs, unsigned seed);

// One input against the frame decoder, identification or scale reply (the first byte
// picks), for the libFuzzer target too; returns whether it got past the parser's refusal.
bool runOne(const uint8_t* data, size_t size);

}  // namespace quellon::fuzz
