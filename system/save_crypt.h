// Sealed values: a byte string encrypted and authenticated with the program's built-in key
// ("QMSV", version 1, 24-byte nonce, 16-byte tag, cipher text). No shared state: every
// function may run on any thread at the same time. Never throws for bad input, never logs.
#pragma once

// <unistd.h> declares a libc function crypt(), which cannot live beside a namespace of that
// name. Its declaration is renamed here, so this header must come before any <unistd.h>
// (gtest includes it too).
#ifdef _UNISTD_H
#error "include system/save_crypt.h before <unistd.h>"
#endif
#define crypt libc_crypt_not_used
#include <unistd.h>
#undef crypt

#include <cstddef>
#include <string>

namespace crypt {

constexpr size_t kHeaderSize = 45;  // magic 4, version 1, nonce 24, tag 16

// The sealed value of `plain`: kHeaderSize + plain.size() bytes, a fresh nonce every call.
std::string encrypt(const std::string& plain);
// 0: authentic, `*out` holds the plain text; 1: empty input; 2: not a sealed value of this
// format, or changed, cut or foreign. `out` may be null; on 1 and 2 it is left empty.
int decrypt(const std::string& sealed, std::string* out);
// At least kHeaderSize bytes beginning with the magic; the version byte is not looked at.
bool looks_sealed(const std::string& text);
// Overwrites every byte of `text` with zeros (in a way the compiler keeps) and empties it: for
// plain text that came out of decrypt() once it has been used.
void wipe(std::string& text);

}  // namespace crypt
