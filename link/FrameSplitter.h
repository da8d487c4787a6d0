#pragma once
// Cuts the stream's bytes into 20-byte frames. Bytes are appended as they
// arrive, in pieces of any size; next() hands out one complete frame at a time.
// A frame whose start or end mark is wrong is dropped with everything up to
// and including the next carriage return, and next() then says Resync once:
// the stream has to be started again and the last channel forgotten.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quellon {

class FrameSplitter {
public:
    enum class Next {
        NeedMore,  // no complete frame waits
        Frame,     // frame() holds the next one
        Resync,    // a bad frame was dropped up to the next carriage return
    };

    void append(std::string_view bytes);
    Next next();
    // The frame of the last Frame result; valid until the next append or clear.
    const uint8_t* frame() const { return frame_; }
    // Drops everything up to and including the next carriage return, then
    // reports Resync (a frame that could not be decoded).
    void skipToLineEnd() { skipping_ = true; }
    // Forgets everything held, and a skip in progress.
    void clear();
    bool skipping() const { return skipping_; }
    size_t buffered() const { return buf_.size() - pos_; }

private:
    std::string buf_;
    size_t pos_ = 0;
    const uint8_t* frame_ = nullptr;
    bool skipping_ = false;
};

}  // namespace quellon
