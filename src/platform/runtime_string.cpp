#include "platform/runtime_string.h"

#include <cstring>

namespace pocketmidi {
namespace {

unsigned char FoldAscii(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

bool IsRuntimeSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

int32_t RuntimeAtoi(const char* text) {
  if (text == nullptr) return 0;
  while (IsRuntimeSpace(*text)) ++text;
  bool negative = false;
  if (*text == '-' || *text == '+') negative = (*text++ == '-');
  uint32_t total = 0;
  while (*text >= '0' && *text <= '9') total = total * 10u + static_cast<uint32_t>(*text++ - '0');
  if (negative) total = 0u - total;
  return static_cast<int32_t>(total);
}

void RuntimeItoa(int32_t value, char* buffer) {
  // The magnitude in unsigned arithmetic, so that INT32_MIN has one too.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  if (value < 0) *buffer++ = '-';
  while (count > 0) *buffer++ = digits[--count];
  *buffer = 0;
}

bool RuntimeEqualsIgnoreCase(const char* a, const char* b, std::size_t bLength) {
  for (std::size_t i = 0; i < bLength; ++i) {
    if (a[i] == 0 || FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return a[bLength] == 0;
}

bool RuntimeEqualsIgnoreCase(const char* a, const char* b) {
  return RuntimeEqualsIgnoreCase(a, b, std::strlen(b));
}

}  // namespace pocketmidi
