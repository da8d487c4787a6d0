#include "link/FrameSplitter.h"

#include "link/Protocol.h"

namespace quellon {

void FrameSplitter::append(std::string_view bytes) {
    // The consumed front goes before new bytes come in, so the buffer holds
    // at most one partial frame plus one batch.
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    buf_.append(bytes);
    frame_ = nullptr;
}

FrameSplitter::Next FrameSplitter::next() {
    if (skipping_) {
        const size_t cr = buf_.find(protocol::kFrameEnd, pos_);
        if (cr == std::string::npos) {
            pos_ = buf_.size();
            return Next::NeedMore;
        }
        pos_ = cr + 1;
        skipping_ = false;
        return Next::Resync;
    }
    if (buf_.size() - pos_ < protocol::kFrameSize) return Next::NeedMore;
    const std::string_view f(buf_.data() + pos_, protocol::kFrameSize);
    pos_ += protocol::kFrameSize;
    if (!protocol::frameMarksOk(f)) {
        skipping_ = true;
        return next();
    }
    frame_ = reinterpret_cast<const uint8_t*>(f.data());
    return Next::Frame;
}

void FrameSplitter::clear() {
    buf_.clear();
    pos_ = 0;
    frame_ = nullptr;
    skipping_ = false;
}

}  // namespace quellon
