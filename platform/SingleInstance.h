#pragma once
// Refuses a second copy of the program: a lock file in a directory only the user
// can write (the runtime directory, else ~/.cache/quellon, else a private
// quellon-<uid> in the temporary directory), held while the program runs. The lock
// records the holder's process id, so the lock of a crashed instance is
// recognised as stale and taken over.

#include <memory>
#include <string>

class QLockFile;

namespace quellon {

class SingleInstance {
public:
    // dir: where the lock lives; empty picks the user's private directory.
    explicit SingleInstance(std::string dir = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this is the only instance of name (then held until release or
    // destruction); false while another live process holds it, or when no
    // private directory could be had (then problem() says so).
    bool tryAcquire(const std::string& name);
    const std::string& problem() const { return problem_; }
    void release();
    bool held() const;
    const std::string& lockPath() const { return lockPath_; }

private:
    std::string dir_;
    std::string lockPath_;
    std::string problem_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace quellon
