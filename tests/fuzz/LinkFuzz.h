#pragma once
// One fuzz input against the parsers of what the bridge sends (frame decoder,
// identification reply, scale reply): the first byte picks the entry point. A
// broken invariant aborts. Returns whether the input got past the parser's
// refusal, so a generator that misses the deep paths shows up.
#include <cstddef>
#include <cstdint>

namespace quellon::fuzz {
bool runOne(const uint8_t* data, size_t size);
}
