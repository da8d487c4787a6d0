// Long fuzz runs of the parsers of outside bytes, for scripts/fuzz.sh:
//   fuzz_parsers [--target NAME|all] [--runs N] [--seed S]
// Prints per target the executions, how many reached the deep path, and the time.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "ParserFuzz.h"

namespace {

// The input being run, written out when an invariant aborts the run.
const std::vector<uint8_t>* current = nullptr;

void dumpInput(int) {
    if (current) {
        static const char hex[] = "0123456789abcdef";
        const char head[] = "failing input (hex): ";
        (void)!::write(2, head, sizeof head - 1);
        for (uint8_t b : *current) {
            const char pair[2] = {hex[b >> 4], hex[b & 15]};
            (void)!::write(2, pair, 2);
        }
        (void)!::write(2, "\n", 1);
    }
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGABRT, dumpInput);
    std::string only = "all";
    long long runs = 1000000;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--target")) only = argv[i + 1];
        else if (!std::strcmp(argv[i], "--runs")) runs = std::atoll(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--seed"))
            seed = static_cast<unsigned>(std::atoll(argv[i + 1]));
    }
    int matched = 0;
    for (const auto& t : quellon::fuzz::parserTargets()) {
        if (only != "all" && only != t.name) continue;
        ++matched;
        std::mt19937 rng(seed);
        long long deep = 0;
        const auto start = std::chrono::steady_clock::now();
        for (long long i = 0; i < runs; ++i) {
            const std::vector<uint8_t> in = t.shape(rng);
            current = &in;
            deep += t.run(in.data(), in.size());
        }
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-16s executions %lld  deep %lld  %.1f s  %.0f exec/s\n", t.name, runs, deep,
                    s, s > 0 ? static_cast<double>(runs) / s : 0.0);
        std::fflush(stdout);
    }
    if (matched == 0) std::fprintf(stderr, "no target named %s\n", only.c_str());
    return matched == 0 ? 2 : 0;
}
