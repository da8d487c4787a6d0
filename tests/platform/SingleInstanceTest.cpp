#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>

#include "platform/SingleInstance.h"

using quellon::SingleInstance;

TEST(SingleInstance, SecondInstanceIsRefusedUntilTheFirstEndsOrCrashes) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    auto first = std::make_unique<SingleInstance>(d);
    ASSERT_TRUE(first->tryAcquire("quellon"));
    EXPECT_FALSE(SingleInstance(d).tryAcquire("quellon"));
    first.reset();
    EXPECT_TRUE(SingleInstance(d).tryAcquire("quellon"));

    // Another live process blocks; once it crashed, its left-over lock file does not.
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {"--hold-lock", dir.path(), "quellon"});
    ASSERT_TRUE(holder.waitForStarted(10000) && holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readLine().trimmed(), "ready");
    EXPECT_FALSE(SingleInstance(d).tryAcquire("quellon"));
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_TRUE(SingleInstance(d).tryAcquire("quellon"));
}

TEST(SingleInstance, NameCannotLeaveTheDirectory) {
    QTemporaryDir dir;
    SingleInstance s(dir.path().toStdString());
    ASSERT_TRUE(s.tryAcquire("../../etc/x"));
    EXPECT_EQ(s.lockPath().rfind(dir.path().toStdString() + "/", 0), 0u);
    EXPECT_EQ(s.lockPath().find('/', dir.path().size() + 1), std::string::npos) << s.lockPath();
}

// The lock lives where only this user can write; a directory another user owns,
// a link, or one open to all is passed over (or closed, when it is ours).
TEST(SingleInstance, LockLivesInAPrivateDirectoryOnly) {
    QTemporaryDir t;
    const std::string d = t.path().toStdString();
    const auto make = [&](const std::string& p, mode_t mode, uid_t owner = ::geteuid()) {
        ::mkdir(p.c_str(), mode), ::chmod(p.c_str(), mode);
        return ::chown(p.c_str(), owner, owner) == 0;
    };
    const char* vars[] = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME", "TMPDIR"};
    std::map<std::string, QByteArray> saved;
    for (const char* v : vars) saved[v] = qgetenv(v);
    const std::string run = d + "/run", cache = d + "/home/.cache/quellon";
    const std::string tmp = d + "/tmp/quellon-" + std::to_string(::geteuid());
    // What, the set-up (false: cannot be done here, needs root), the lock's folder
    // (empty: refused with a reason).
    const std::tuple<const char*, std::function<bool()>, std::string> rows[] = {
        {"runtime dir", [&] { return make(run, 0700); }, run},
        {"runtime dir open to all", [&] { return make(run, 0777); }, cache},
        {"runtime dir a link", [&] { return make(d + "/r", 0700) && !::symlink("r", run.c_str()); },
         cache},
        {"own cache dir open to all: closed", [&] { return make(cache, 0777); }, cache},
        {"cache planted", [&] { return make(cache, 0700, 65534); }, tmp},
        {"everything planted", [&] { return make(cache, 0700, 65534) && make(tmp, 0700, 65534); },
         ""},
    };
    for (const auto& [what, set, lockDir] : rows) {
        std::filesystem::remove_all(d + "/"),
            std::filesystem::create_directories(d + "/home/.cache");
        std::filesystem::create_directories(d + "/tmp");
        for (const char* v : vars) qunsetenv(v);
        qputenv("HOME", (d + "/home").c_str()), qputenv("TMPDIR", (d + "/tmp").c_str());
        if (std::string(what).rfind("runtime", 0) == 0) qputenv("XDG_RUNTIME_DIR", run.c_str());
        if (!set()) continue;
        SingleInstance s;
        EXPECT_EQ(s.tryAcquire("quellon"), !lockDir.empty()) << what;
        EXPECT_EQ(s.problem().empty(), !lockDir.empty()) << what;
        if (lockDir.empty()) continue;
        EXPECT_EQ(QFileInfo(QString::fromStdString(s.lockPath())).path().toStdString(), lockDir)
            << what;
        struct stat st {};
        ASSERT_EQ(::lstat(lockDir.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u) << what;
    }
    for (const char* v : vars) {
        if (saved[v].isNull()) qunsetenv(v);
        else qputenv(v, saved[v]);
    }
}
