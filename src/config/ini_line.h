// Classification of one line of a configuration file. Lines end only at
// CR LF; everything else (bare LF, lone CR) is part of the line.
#pragma once

#include <cstdint>

namespace pocketmidi {

enum class IniLineKind {
  kIncomplete,  // no CR LF before the end of the bytes given
  kBlank,
  kComment,     // first non-blank byte '#', ';' or '*'
  kInvalid,     // starts with '=', a bad section header, or a key without '='
  kSection,
  kKey,
};

// Offsets are relative to the start of the line.
struct IniLine {
  IniLineKind kind;
  int32_t length;       // bytes including the CR LF; 0 when incomplete
  int32_t nameOffset;   // section name or key
  int32_t nameLength;   // 0 for "[]"
  int32_t valueOffset;  // key lines only
  int32_t valueLength;  // 0 for "key="
};

// Examines the line starting at bytes[0] with count bytes available.
IniLine ClassifyIniLine(const uint8_t* bytes, int32_t count);

}  // namespace pocketmidi
