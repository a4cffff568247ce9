#include "config/ini_line.h"

namespace pocketmidi {
namespace {

bool IsIndent(uint8_t b) { return b == ' ' || b == '\t'; }

// Inside a line every CR that is not the line's end is a lone CR, and a lone
// CR counts as white space.
bool IsBlank(uint8_t b) { return b == ' ' || b == '\t' || b == '\r'; }

// Index of the CR of the first CR LF at or after start, or -1.
int32_t FindLineEnd(const uint8_t* bytes, int32_t start, int32_t count) {
  for (int32_t j = start; j + 1 < count; ++j) {
    if (bytes[j] == '\r' && bytes[j + 1] == '\n') return j;
  }
  return -1;
}

IniLine Make(IniLineKind kind, int32_t end) {
  IniLine line{};
  line.kind = kind;
  line.length = end + 2;
  return line;
}

// "[" at start: a header when the last non-blank byte before end is ']'. The
// name spans the first to the last byte that is neither blank nor ']', so
// "[a]b]" names "a]b" and "[ ]" names "".
IniLine ClassifySection(const uint8_t* bytes, int32_t start, int32_t end) {
  bool closed = false;
  int32_t first = -1;
  int32_t last = -1;
  for (int32_t j = start + 1; j < end; ++j) {
    const uint8_t b = bytes[j];
    if (IsBlank(b)) continue;
    closed = (b == ']');
    if (!closed) {
      if (first < 0) first = j;
      last = j;
    }
  }
  IniLine line = Make(closed ? IniLineKind::kSection : IniLineKind::kInvalid, end);
  if (closed && first >= 0) {
    line.nameOffset = first;
    line.nameLength = last - first + 1;
  }
  return line;
}

// The key starts at start whatever that byte is. The first '=' switches to
// the value; further '=' bytes neither start nor end the value, so "a=b="
// gives "b" and "a==b" gives "b", while "a=b=c" gives "b=c".
IniLine ClassifyKey(const uint8_t* bytes, int32_t start, int32_t end) {
  int32_t keyLast = start;
  bool inValue = false;
  int32_t valueFirst = -1;
  int32_t valueLast = -1;
  for (int32_t j = start + 1; j < end; ++j) {
    const uint8_t b = bytes[j];
    if (IsBlank(b)) continue;
    if (!inValue) {
      if (b == '=') {
        inValue = true;
      } else {
        keyLast = j;
      }
    } else if (b != '=') {
      if (valueFirst < 0) valueFirst = j;
      valueLast = j;
    }
  }
  if (!inValue) return Make(IniLineKind::kInvalid, end);
  IniLine line = Make(IniLineKind::kKey, end);
  line.nameOffset = start;
  line.nameLength = keyLast - start + 1;
  if (valueFirst >= 0) {
    line.valueOffset = valueFirst;
    line.valueLength = valueLast - valueFirst + 1;
  }
  return line;
}

}  // namespace

IniLine ClassifyIniLine(const uint8_t* bytes, int32_t count) {
  IniLine incomplete{};
  incomplete.kind = IniLineKind::kIncomplete;
  if (bytes == nullptr || count < 2) return incomplete;
  int32_t i = 0;
  while (i < count && IsIndent(bytes[i])) ++i;
  if (i + 1 >= count) return incomplete;
  if (bytes[i] == '\r' && bytes[i + 1] == '\n') return Make(IniLineKind::kBlank, i);

  const int32_t end = FindLineEnd(bytes, i + 1, count);
  if (end < 0) return incomplete;
  switch (bytes[i]) {
    case '#':
    case ';':
    case '*':
      return Make(IniLineKind::kComment, end);
    case '=':
      return Make(IniLineKind::kInvalid, end);
    case '[':
      return ClassifySection(bytes, i, end);
    default:
      return ClassifyKey(bytes, i, end);
  }
}

}  // namespace pocketmidi
