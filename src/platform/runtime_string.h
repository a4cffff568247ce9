// The handheld runtime's string conversions and comparisons, with their
// results pinned down where the C library leaves them open.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pocketmidi {

// atoi: leading white space (space, \t \n \v \f \r), an optional sign, then
// decimal digits up to the first other byte ("12abc" -> 12, "abc" -> 0).
// Values beyond 32 bits wrap modulo 2^32 as the handheld's 32-bit runtime
// accumulates them, instead of being undefined.
int32_t RuntimeAtoi(const char* text);

// _itoa in base 10: '-' for a negative value, the decimal digits, a 0 byte.
// The buffer holds at least kRuntimeItoaBytes bytes (enough for INT32_MIN).
constexpr std::size_t kRuntimeItoaBytes = 12;
void RuntimeItoa(int32_t value, char* buffer);

// _stricmp equality: ASCII letters compare without regard to case, every
// other byte (including 128..255) must match exactly.
bool RuntimeEqualsIgnoreCase(const char* a, const char* b);

// As above, with b given as the first bLength bytes of a longer buffer; a
// matches when it is exactly that long.
bool RuntimeEqualsIgnoreCase(const char* a, const char* b, std::size_t bLength);

}  // namespace pocketmidi
