#pragma once
// One input against the frame decoder, identification or scale reply (the first byte
// picks); a broken invariant aborts. Returns whether it got past the parser's refusal.
#include <cstddef>
#include <cstdint>

namespace quellon::fuzz {
bool runOne(const uint8_t* data, size_t size);
}
