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
  if (file == nullptr || query == nullptr || query->key == nullptr || file->stream == nullptr) {
    return 0;
  }
  if (query->type == kIniString ? (query->text == nullptr || query->size == 0)
                                : (query->type != kIniInteger || query->number == nullptr)) {
    return 0;
  }
  const Name section = Trim(query->section != nullptr ? query->section : "default");
  const IniKey* match = FindKey(file, section, Trim(query->key));
  if (match == nullptr) return 0;

  if (query->type == kIniString) {
    const std::size_t length = std::strlen(match->value);
    if (length >= query->size) return 0;  // does not fit: nothing is written
    std::memcpy(query->text, match->value, length + 1);
    query->size = static_cast<uint32_t>(length);
    return 1;
  }
  *query->number = RuntimeAtoi(match->value);
  return 1;
}

}  // namespace pocketmidi
