#include "platform/utf16_path.h"

#include <cstdint>

namespace pocketmidi {
namespace {

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
  }
}

// Bytes that are not part of valid UTF-8 travel as the lone low surrogates
// U+DC80..U+DCFF, one per byte, and come back as the same bytes: a Linux
// file name is any byte string, and the UTF-16 path must name that file.
constexpr char32_t kEscapedByteBase = 0xDC00;
bool IsEscapedByte(char32_t u) { return u >= 0xDC80 && u <= 0xDCFF; }

// Decodes one UTF-8 sequence starting at text[i] and advances i past it. A
// malformed sequence yields its first byte, escaped, and decoding goes on
// at the next byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  const std::size_t start = i;
  const uint8_t lead = static_cast<uint8_t>(text[i++]);
  if (lead < 0x80) return lead;
  const auto invalid = [&] {
    i = start + 1;
    return kEscapedByteBase + lead;
  };
  int extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return invalid();
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size()) return invalid();
    const uint8_t next = static_cast<uint8_t>(text[i]);
    if ((next & 0xC0) != 0x80) return invalid();
    cp = (cp << 6) | (next & 0x3F);
    ++i;
  }
  if (cp < minimum || cp > 0x10FFFF || IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
    return invalid();
  }
  return cp;
}

}  // namespace

std::size_t Utf16Length(const char16_t* text) {
  std::size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0) ++n;
  }
  return n;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t u = text[i];
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (IsEscapedByte(u)) {
      out.push_back(static_cast<char>(u - kEscapedByteBase));
      continue;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      u = kReplacementCharacter;
    }
    AppendUtf8(out, u);
  }
  return out;
}

std::string Utf16ToUtf8(const char16_t* text) {
  return Utf16ToUtf8(std::u16string_view(text == nullptr ? u"" : text, Utf16Length(text)));
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) AppendUtf16(out, DecodeUtf8(text, i));
  return out;
}

bool CopyUtf16(char16_t* destination, std::size_t units, const char16_t* source) {
  if (units == 0) return false;
  if (source == nullptr) source = u"";
  for (std::size_t i = 0;; ++i) {
    if (i == units - 1) {
      destination[i] = 0;
      return source[i] == 0;
    }
    destination[i] = source[i];
    if (source[i] == 0) return true;
  }
}

bool WideToNarrow(const char16_t* source, char* destination, std::size_t n) {
  if (n == 0) return false;
  bool exact = true;
  for (std::size_t i = 0;; ++i) {
    if (i == n - 1) {
      destination[i] = 0;
      return exact && source[i] == 0;
    }
    const char16_t unit = source[i];
    if (unit > 0xFF) exact = false;
    destination[i] = static_cast<char>(unit & 0xFF);
    if (destination[i] == 0) return exact;
  }
}

bool NarrowToWide(const char* source, char16_t* destination, std::size_t n) {
  if (n == 0) return false;
  for (std::size_t i = 0;; ++i) {
    if (i == n - 1) {
      destination[i] = 0;
      return source[i] == 0;
    }
    destination[i] = static_cast<char16_t>(static_cast<unsigned char>(source[i]));
    if (destination[i] == 0) return true;
  }
}

std::string HandheldPathToHost(const char16_t* path) {
  std::string out = Utf16ToUtf8(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string NarrowHandheldPathToHost(const char* path) {
  std::string out;
  if (path == nullptr) return out;
  for (const char* p = path; *p != 0; ++p) {
    const uint8_t byte = static_cast<uint8_t>(*p);
    AppendUtf8(out, byte == '\\' ? U'/' : static_cast<char32_t>(byte));
  }
  return out;
}

}  // namespace pocketmidi
