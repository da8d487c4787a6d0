// The stream's bytes in pieces of any size become whole frames; a bad mark costs
// everything up to the next carriage return and one resync.
#include <gtest/gtest.h>

#include "link/FrameSplitter.h"
#include "tests/BridgeBytes.h"

using namespace quellon;
using quellon::test::frame;

namespace {

// Feeds the pieces one after the other and writes down what next() gives:
// "A"/"B" for a frame of that channel, "R" for a resync.
std::string run(FrameSplitter& s, const std::vector<std::string>& pieces) {
    std::string seen;
    for (const std::string& p : pieces) {
        s.append(p);
        for (;;) {
            const FrameSplitter::Next n = s.next();
            if (n == FrameSplitter::Next::NeedMore) break;
            seen += n == FrameSplitter::Next::Resync ? 'R' : static_cast<char>(s.frame()[1]);
        }
    }
    return seen;
}

}  // namespace

TEST(FrameSplitter, PiecesBecomeFramesAndBadMarksResyncAtTheNextReturn) {
    const std::string a = frame('A'), b = frame('B');
    std::string badEnd = frame('A');
    badEnd[19] = 'y';
    // What, the pieces, the frames seen, the bytes held afterwards.
    const std::tuple<const char*, std::vector<std::string>, std::string, size_t> rows[] = {
        {"one frame", {a}, "A", 0},
        {"a batch of frames", {a + b + a + b}, "ABAB", 0},
        {"byte by byte",
         [&] {
             std::vector<std::string> v;
             for (char c : a + b) v.emplace_back(1, c);
             return v;
         }(),
         "AB", 0},
        {"a frame and a part", {a + b.substr(0, 7)}, "A", 7},
        {"the part completed", {a + b.substr(0, 7), b.substr(7)}, "AB", 0},
        {"no start mark", {"x" + a.substr(1) + "tail\r" + b}, "RB", 0},
        {"no end mark: the return of the next frame ends the skip", {badEnd + a + b}, "RB", 0},
        {"skip goes on in the next batch", {badEnd + "abc", "def\r", a}, "RA", 0},
        {"return in the bad frame itself does not end the skip",
         {std::string(":A\r") + std::string(16, 'z') + "q" + "zz\r" + a},
         "RA",
         0},
    };
    for (const auto& [what, pieces, seen, left] : rows) {
        SCOPED_TRACE(what);
        FrameSplitter s;
        EXPECT_EQ(run(s, pieces), seen);
        EXPECT_EQ(s.buffered(), left);
    }
}

TEST(FrameSplitter, UndecodableFrameSkipsToTheNextReturnAndClearForgetsAll) {
    const std::string a = frame('A'), b = frame('B');
    FrameSplitter s;
    s.append(a + b + a);
    ASSERT_EQ(s.next(), FrameSplitter::Next::Frame);
    s.skipToLineEnd();  // the A frame's numbers were unusable: B goes with the skip
    EXPECT_EQ(run(s, {""}), "RA");
    EXPECT_EQ(run(s, {b}), "B");
    s.append(a.substr(0, 5));
    s.skipToLineEnd();
    s.clear();
    EXPECT_FALSE(s.skipping());
    EXPECT_EQ(run(s, {b}), "B");
}
