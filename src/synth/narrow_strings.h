// Conversions between the UTF-16 paths of the library's boundary and the
// single-byte strings of the configuration code. Both map characters
// U+0000..U+00FF to the byte of the same value (Latin-1), the mapping the
// platform layer also uses for single-byte paths, so a converted path names
// the same file both ways.
#pragma once

#include <cstddef>

namespace pocketmidi {

// Copies at most n - 1 units of source and a terminating zero into
// destination (nothing at all when n is 0). Each unit becomes its low byte,
// so a unit whose low byte is 0 ends the string. True when the whole string
// fitted and every unit was Latin-1; a caller that needs an exact path
// refuses it otherwise.
bool WideToNarrow(const char16_t* source, char* destination, std::size_t n);

// Copies at most n - 1 bytes of source and a terminating zero into
// destination (nothing when n is 0), each byte widened to the UTF-16 unit of
// the same value. True when the whole string fitted.
bool NarrowToWide(const char* source, char16_t* destination, std::size_t n);

}  // namespace pocketmidi
