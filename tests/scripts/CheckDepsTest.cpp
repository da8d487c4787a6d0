// scripts/check-deps.sh must name the package when the deps script stops
// installing one the build uses.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome run(const std::string& command) {
    Outcome r;
    FILE* f = popen((command + " 2>&1").c_str(), "r");
    if (!f) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) r.output.append(buf.data(), n);
    const int st = pclose(f);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool installed(const std::string& pkg) {
    return run("dpkg-query -W -f='${Status}' " + pkg + " | grep -q 'install ok installed'")
               .status == 0;
}

struct Removal {
    const char* dropped;   // package deleted from the deps script's list
    const char* reported;  // package the guard must then name
};

class CheckDeps : public ::testing::TestWithParam<Removal> {};

TEST_P(CheckDeps, FailsNamingThePackageDroppedFromTheList) {
    const Removal r = GetParam();
    if (run("command -v dpkg && command -v apt-cache").status != 0)
        GTEST_SKIP() << "not a Debian system";
    if (!installed(r.dropped)) GTEST_SKIP() << r.dropped << " is not installed here";

    const fs::path src = QUELLON_SOURCE_DIR;
    const std::string deps = readAll(src / "scripts/deps.sh");
    const std::regex word(std::string("(^|[ (])") + r.dropped + "(?=[ )\n])");
    ASSERT_TRUE(std::regex_search(deps, word)) << r.dropped << " is not in deps.sh";

    char dirTemplate[] = "/tmp/quellon-deps-test-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const fs::path dir = dirTemplate;
    const fs::path copy = dir / "deps.sh";
    {
        std::ofstream out(copy);
        out << std::regex_replace(deps, word, "$1");
    }
    fs::permissions(copy, fs::perms::owner_all);

    const Outcome result =
        run("QUELLON_DEPS_SCRIPT='" + copy.string() + "' '" +
            (src / "scripts/check-deps.sh").string() + "' '" + QUELLON_BUILD_DIR + "'");
    fs::remove_all(dir);
    EXPECT_NE(result.status, 0) << result.output;
    EXPECT_NE(result.output.find(std::string("package ") + r.reported + " "), std::string::npos)
        << result.output;
}

// The SVG module (bitmap icons) and GoogleTest are pulled in by no other
// package of the list, so dropping either must be noticed.
INSTANTIATE_TEST_SUITE_P(Rows, CheckDeps,
                         ::testing::Values(Removal{"qt6-svg-dev", "qt6-svg-dev"},
                                           Removal{"libgtest-dev", "libgtest-dev"}));

}  // namespace
