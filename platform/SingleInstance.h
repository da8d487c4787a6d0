#pragma once
// Refuses a second copy of the program: a lock file in the user's runtime
// directory (or the temporary directory), held while the program runs. The lock
// records the holder's process id, so the lock of a crashed instance is
// recognised as stale and taken over.

#include <memory>
#include <string>

class QLockFile;

namespace quellon {

class SingleInstance {
public:
    // dir: where the lock lives; empty picks the user's runtime directory.
    explicit SingleInstance(std::string dir = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this is the only instance of name (then held until release or
    // destruction); false while another live process holds it.
    bool tryAcquire(const std::string& name);
    void release();
    bool held() const;
    const std::string& lockPath() const { return lockPath_; }

private:
    std::string dir_;
    std::string lockPath_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace quellon
