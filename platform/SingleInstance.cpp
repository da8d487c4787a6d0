#include "platform/SingleInstance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QLockFile>

namespace quellon {

namespace {

// A directory only this user can write: owned by the user (or root, who can
// write anywhere anyway), not a symbolic link, no write bits for group or others.
bool privateDir(const std::string& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_uid == ::geteuid()) &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// dir made ours: created 0700 when missing; our own with loose bits is closed.
// Whatever else stands there (another user's directory, a link, a file) is not
// used: another user could take or plant the lock in it.
bool ownPrivateDir(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return false;
    return privateDir(dir);
}

std::string absoluteEnv(const char* name) {
    const QString v = qEnvironmentVariable(name);
    return v.startsWith('/') ? v.toStdString() : std::string();
}

// XDG_RUNTIME_DIR is per user and cleared at log-out. Without it (a plain su
// session, a service) the user's cache directory, and last a directory of the
// user's own in the temporary directory; never a name in a folder shared by
// all users, where another user could plant a lock that keeps the program out.
std::string defaultDir() {
    if (const std::string run = absoluteEnv("XDG_RUNTIME_DIR"); !run.empty() && privateDir(run))
        return run;
    std::string cache = absoluteEnv("XDG_CACHE_HOME");
    if (cache.empty())
        if (const std::string home = absoluteEnv("HOME"); !home.empty()) cache = home + "/.cache";
    if (!cache.empty()) {
        ::mkdir(cache.c_str(), 0700);
        if (ownPrivateDir(cache + "/quellon")) return cache + "/quellon";
    }
    const std::string tmp =
        QDir::tempPath().toStdString() + "/quellon-" + std::to_string(::geteuid());
    if (ownPrivateDir(tmp)) return tmp;
    return {};
}

// Only letters, digits and a few marks, so the name cannot leave the directory.
std::string safeName(const std::string& name) {
    std::string out;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        out += ok ? c : '_';
    }
    if (out.empty() || out[0] == '.') out.insert(out.begin(), '_');
    return out;
}

}  // namespace

SingleInstance::SingleInstance(std::string dir) : dir_(std::move(dir)) {}

SingleInstance::~SingleInstance() { release(); }

bool SingleInstance::tryAcquire(const std::string& name) {
    if (held()) return true;
    const std::string dir = dir_.empty() ? defaultDir() : dir_;
    if (dir.empty()) {
        lockPath_.clear();
        problem_ =
            "No private folder for the lock of the running program could be made "
            "(the cache folder and the temporary folder are not usable).";
        return false;
    }
    problem_.clear();
    lockPath_ = dir + "/" + safeName(name) + "-" + std::to_string(::getuid()) + ".lock";
    auto lock = std::make_unique<QLockFile>(QString::fromStdString(lockPath_));
    // Age alone never makes a lock stale (the program may run for weeks); a
    // lock whose process is gone is stale and removed by QLockFile.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return false;
    lock_ = std::move(lock);
    return true;
}

void SingleInstance::release() {
    if (lock_) lock_->unlock();
    lock_.reset();
}

bool SingleInstance::held() const { return lock_ && lock_->isLocked(); }

}  // namespace quellon
