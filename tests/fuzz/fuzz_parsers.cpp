// Long fuzz runs of the parsers of outside bytes, for scripts/fuzz.sh:
//   fuzz_parsers [--target NAME|all] [--runs N] [--seed S]
// Prints per target the executions, how many reached the deep path, and the time.
// A broken invariant aborts; the same seed gives the same inputs again.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ParserFuzz.h"

int main(int argc, char** argv) {
    std::string only = "all";
    long long runs = 1000000;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--target") only = argv[i + 1];
        else if (opt == "--runs") runs = std::atoll(argv[i + 1]);
        else if (opt == "--seed") seed = static_cast<unsigned>(std::atoll(argv[i + 1]));
    }
    int matched = 0;
    for (const auto& t : quellon::fuzz::parserTargets()) {
        if (only != "all" && only != t.name) continue;
        ++matched;
        const auto start = std::chrono::steady_clock::now();
        const long long deep = quellon::fuzz::runShaped(t, runs, seed);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-16s executions %lld  deep %lld  %.1f s  %.0f exec/s\n", t.name, runs, deep,
                    s, s > 0 ? static_cast<double>(runs) / s : 0.0);
        std::fflush(stdout);
    }
    if (matched == 0) std::fprintf(stderr, "no target named %s\n", only.c_str());
    return matched == 0 ? 2 : 0;
}
