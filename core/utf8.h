// Byte classes of UTF-8 text, for code that steps through it without decoding. Pure; any thread.
#pragma once

namespace utf8 {

// A byte that continues a character (0x80-0xBF), so never the start of one.
inline bool is_continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace utf8
