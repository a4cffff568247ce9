// UTF-16 <-> UTF-8 conversion and the mapping of the handheld's path syntax
// onto POSIX paths. The library's boundary speaks UTF-16 with backslash
// separators ("\Storage Card\song.mid"); the host file system here speaks
// UTF-8 with '/' separators.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pocketmidi {

// Replacement for a lone surrogate that stands for no byte.
constexpr char32_t kReplacementCharacter = 0xFFFD;

// A host file name is any byte string, not always UTF-8. Each byte that is
// not part of valid UTF-8 crosses to UTF-16 as the lone low surrogate
// U+DC80..U+DCFF of its value and comes back as that byte, so every host
// path survives the round trip; valid UTF-16 (a Windows-style host's) is
// unaffected, since proper text never holds a lone surrogate.

// Proper UTF-16 -> UTF-8: surrogate pairs are combined, a lone U+DC80..U+DCFF
// becomes the byte it stands for, any other lone surrogate U+FFFD. A null
// pointer gives an empty string.
std::string Utf16ToUtf8(std::u16string_view text);
std::string Utf16ToUtf8(const char16_t* text);

// UTF-8 -> UTF-16: code points above U+FFFF become surrogate pairs; each byte
// of a malformed, overlong or surrogate-encoding sequence becomes one
// U+DC80..U+DCFF. This is how
// tools and tests build the UTF-16 paths the library's interface expects.
std::u16string Utf8ToUtf16(std::string_view text);

// Length in code units of a NUL-terminated UTF-16 string (0 for null).
std::size_t Utf16Length(const char16_t* text);

// Copies source (null: empty) into destination, which holds units code
// units, terminator included; writes nothing when units is 0. True when the
// whole string fitted; otherwise its first units - 1 units are copied and
// terminated, and a caller that needs the exact path refuses it.
bool CopyUtf16(char16_t* destination, std::size_t units, const char16_t* source);

// Conversions between the UTF-16 paths of the library's boundary and the
// single-byte strings of the configuration code. Both map characters
// U+0000..U+00FF to the byte of the same value (Latin-1), the mapping the
// single-byte path functions below and MultiByteToWideChar also use, so a
// converted path names the same file both ways.
//
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

// A handheld UTF-16 path as a host path: UTF-8, every '\' turned into '/'.
// So "\Storage Card\song.mid" is "/Storage Card/song.mid" and "\" is "/".
std::string HandheldPathToHost(const char16_t* path);

// A single-byte handheld path (OEM code page; each byte is taken as the
// Latin-1 character of the same value, which is also what the byte
// conversion of MultiByteToWideChar does) as a host path, with '\' -> '/'.
// Using the same byte mapping on both routes keeps FileOpen and FileExists
// agreeing on which file a single-byte path names.
std::string NarrowHandheldPathToHost(const char* path);

}  // namespace pocketmidi
