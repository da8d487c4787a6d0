#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

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
