// scripts/check-deps.sh must name the package when the deps script stops
// installing one the build uses.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

namespace {

namespace fs = std::filesystem;

// The exit status (-1: none) and the output of a shell command.
std::pair<int, std::string> run(const std::string& command) {
    std::string out;
    FILE* f = popen((command + " 2>&1").c_str(), "r");
    if (!f) return {-1, out};
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    const int st = pclose(f);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

// The SVG module (bitmap icons, a build with the extras only) and GoogleTest are
// pulled in by no other package of the list, so dropping either must be noticed.
TEST(CheckDeps, FailsNamingThePackageDroppedFromTheList) {
    if (run("command -v dpkg && command -v apt-cache").first != 0)
        GTEST_SKIP() << "not a Debian system";
    const fs::path src = QUELLON_SOURCE_DIR;
    std::stringstream deps;
    deps << std::ifstream(src / "scripts/deps.sh").rdbuf();
    int checked = 0;
    for (const std::string pkg : {"qt6-svg-dev", "libgtest-dev"}) {
        SCOPED_TRACE(pkg);
        if (pkg == "qt6-svg-dev" && !QUELLON_EXTRAS) continue;  // not used by this build
        const std::string query = "dpkg-query -W -f='${Status}' " + pkg;
        if (run(query + " | grep -q 'install ok installed'").first != 0) continue;  // not here
        ++checked;
        const std::regex word("(^|[ (])" + pkg + "(?=[ )\n])");
        ASSERT_TRUE(std::regex_search(deps.str(), word)) << "not in deps.sh";
        char dirTemplate[] = "/tmp/quellon-deps-test-XXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        const fs::path copy = fs::path(dirTemplate) / "deps.sh";
        std::ofstream(copy) << std::regex_replace(deps.str(), word, "$1");
        fs::permissions(copy, fs::perms::owner_all);
        const auto [status, output] =
            run("QUELLON_DEPS_SCRIPT='" + copy.string() + "' '" +
                (src / "scripts/check-deps.sh").string() + "' '" + QUELLON_BUILD_DIR + "'");
        fs::remove_all(dirTemplate);
        EXPECT_NE(status, 0) << output;
        EXPECT_NE(output.find("package " + pkg + " "), std::string::npos) << output;
    }
    if (checked == 0) GTEST_SKIP() << "neither package is installed here";
}

}  // namespace
