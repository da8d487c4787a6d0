#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/SingleInstance.h"

using quellon::SingleInstance;

namespace {

// Starts this test binary as a second program that takes the lock.
bool startHolder(QProcess& proc, const QString& dir, const QString& name) {
    proc.start(QCoreApplication::applicationFilePath(), {"--hold-lock", dir, name});
    if (!proc.waitForStarted(10000) || !proc.waitForReadyRead(10000)) return false;
    return proc.readLine().trimmed() == "ready";
}

}  // namespace

TEST(SingleInstance, SecondInstanceIsRefusedUntilTheFirstEnds) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    auto first = std::make_unique<SingleInstance>(d);
    ASSERT_TRUE(first->tryAcquire("quellon"));
    EXPECT_TRUE(first->held());
    EXPECT_TRUE(first->tryAcquire("quellon"));  // asking again is fine

    SingleInstance second(d);
    EXPECT_FALSE(second.tryAcquire("quellon"));
    EXPECT_TRUE(second.tryAcquire("other-program"));  // names are separate

    first.reset();
    SingleInstance third(d);
    EXPECT_TRUE(third.tryAcquire("quellon"));
}

TEST(SingleInstance, LiveProcessBlocksCrashedOneDoesNot) {
    QTemporaryDir dir;
    QProcess holder;
    ASSERT_TRUE(startHolder(holder, dir.path(), "quellon"));
    {
        SingleInstance me(dir.path().toStdString());
        EXPECT_FALSE(me.tryAcquire("quellon"));
    }
    // A crash leaves the lock file behind; it names a process that is gone.
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(10000));
    SingleInstance me(dir.path().toStdString());
    EXPECT_TRUE(me.tryAcquire("quellon"));
}

TEST(SingleInstance, NameCannotLeaveTheDirectory) {
    QTemporaryDir dir;
    SingleInstance s(dir.path().toStdString());
    ASSERT_TRUE(s.tryAcquire("../../etc/x"));
    EXPECT_EQ(s.lockPath().rfind(dir.path().toStdString() + "/", 0), 0u);
    EXPECT_EQ(s.lockPath().find('/', dir.path().size() + 1), std::string::npos) << s.lockPath();
}
