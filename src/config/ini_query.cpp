// Typed look-ups in a parsed configuration file.
#include <cstring>

#include "config/ini_file.h"
#include "platform/runtime_string.h"

namespace pocketmidi {
namespace {

struct Name {
  const char* text;
  std::size_t length;
};

// Leading and trailing spaces and tabs of a query name do not count.
Name Trim(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  std::size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) --length;
  return {text, length};
}

const IniKey* FindKey(const IniFile* file, Name section, Name key) {
  // Sections of the same name are all searched, so the first matching key
  // in file order wins.
  for (const IniSection* s = file->firstSection; s != nullptr; s = s->next) {
    if (!RuntimeEqualsIgnoreCase(s->name, section.text, section.length)) continue;
    for (const IniKey* k = s->firstKey; k != nullptr; k = k->next) {
      if (RuntimeEqualsIgnoreCase(k->key, key.text, key.length)) return k;
    }
  }
  return nullptr;
}

}  // namespace

int32_t IniFile::GetValue(const IniFile* file, IniQuery* query) {
  if (file == nullptr || query == nullptr || query->value == nullptr || query->key == nullptr ||
      query->size == 0 || file->stream == nullptr) {
    return 0;
  }
  if (query->type != kIniInteger && query->type != kIniString) return 0;
  const Name section = Trim(query->section != nullptr ? query->section : "default");
  const IniKey* match = FindKey(file, section, Trim(query->key));
  if (match == nullptr) return 0;

  if (query->type == kIniString) {
    const std::size_t length = std::strlen(match->value);
    if (length >= query->size) return 0;  // does not fit: nothing is written
    std::memcpy(query->value, match->value, length + 1);
    query->size = static_cast<uint32_t>(length);
    return 1;
  }
  const auto number = static_cast<uint32_t>(RuntimeAtoi(match->value));
  const uint32_t bytes = query->size < 4 ? query->size : 4;
  auto* out = static_cast<uint8_t*>(query->value);
  for (uint32_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(number >> (8 * i));
  return 1;
}

}  // namespace pocketmidi
