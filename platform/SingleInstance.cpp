#include "platform/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLockFile>

namespace quellon {

namespace {

std::string defaultDir() {
    // XDG_RUNTIME_DIR is per user and cleared at log-out; without it (a plain
    // su session, a service) the temporary directory serves.
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QDir(dir).exists()) dir = QDir::tempPath();
    return dir.toStdString();
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
    // The temporary directory is shared by all users: the user id keeps one
    // user's instance from blocking another's.
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
