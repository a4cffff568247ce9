// Durations and decimal figures as the tool prints them, formatted with
// integers only: printf's formatting code is a large part of the C library
// that a rendering process would otherwise map just for its report line.
#pragma once

#include <cstdint>
#include <string>

namespace pocketmidi::cli {

// value in decimal, at least `width` digits (leading zeros).
inline std::string ZeroPadded(uint64_t value, size_t width) {
  std::string text = std::to_string(value);
  return text.size() < width ? std::string(width - text.size(), '0') + text : text;
}

// "M:SS.mmm".
inline std::string DurationText(uint32_t ms) {
  return std::to_string(ms / 60000u) + ":" + ZeroPadded(ms / 1000u % 60u, 2) + "." +
         ZeroPadded(ms % 1000u, 3);
}

}  // namespace pocketmidi::cli
