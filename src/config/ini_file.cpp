#include "config/ini_file.h"

#include <cstdlib>
#include <cstring>

#include "config/ini_line.h"

namespace pocketmidi {
namespace {

IniSection* TakeSection(IniFile* file) {
  if (file->sectionsUsed == kIniSectionsPerBlock) {
    auto* block = static_cast<IniSectionBlock*>(std::calloc(1, sizeof(IniSectionBlock)));
    if (block == nullptr) return nullptr;
    block->previous = file->sectionBlock;
    file->sectionBlock = block;
    file->sectionsUsed = 0;
  }
  return &file->sectionBlock->nodes[file->sectionsUsed++];
}

IniKey* TakeKey(IniFile* file) {
  if (file->keysUsed == kIniKeysPerBlock) {
    auto* block = static_cast<IniKeyBlock*>(std::calloc(1, sizeof(IniKeyBlock)));
    if (block == nullptr) return nullptr;
    block->previous = file->keyBlock;
    file->keyBlock = block;
    file->keysUsed = 0;
  }
  return &file->keyBlock->nodes[file->keysUsed++];
}

// Where the parse has got to: the current line in the window and the file,
// and the tails of the section and key lists.
struct ParseState {
  int32_t fileSize;
  int32_t filePosition;  // of the current line
  int32_t lineStart;     // of the current line in the window
  int32_t unparsed;      // window bytes from lineStart on
  bool endAppended;      // the CR LF after an unterminated last line is in
  IniSection* lastSection;
  IniKey* lastKey;
};

bool AddSection(IniFile* file, ParseState& state, const char* name, int32_t length) {
  char* copy = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
  if (copy == nullptr) return false;
  IniSection* section = TakeSection(file);
  if (section == nullptr) {
    std::free(copy);
    return false;
  }
  std::memcpy(copy, name, static_cast<std::size_t>(length));
  copy[length] = 0;
  section->name = copy;
  section->firstKey = nullptr;
  section->next = nullptr;
  if (state.lastSection != nullptr) {
    state.lastSection->next = section;
  } else {
    file->firstSection = section;
  }
  state.lastSection = section;
  state.lastKey = nullptr;
  return true;
}

bool AddKey(IniFile* file, ParseState& state, const char* line, const IniLine& parsed) {
  if (state.lastSection == nullptr) return false;  // a key before any header
  const auto keyBytes = static_cast<std::size_t>(parsed.nameLength);
  const auto valueBytes = static_cast<std::size_t>(parsed.valueLength);
  char* block = static_cast<char*>(std::malloc(keyBytes + valueBytes + 2));
  if (block == nullptr) return false;
  IniKey* key = TakeKey(file);
  if (key == nullptr) {
    std::free(block);
    return false;
  }
  std::memcpy(block, line + parsed.nameOffset, keyBytes);
  block[keyBytes] = 0;
  std::memcpy(block + keyBytes + 1, line + parsed.valueOffset, valueBytes);
  block[keyBytes + 1 + valueBytes] = 0;
  key->key = block;
  key->value = block + keyBytes + 1;
  key->next = nullptr;
  if (state.lastKey != nullptr) {
    state.lastKey->next = key;
  } else {
    state.lastSection->firstKey = key;
  }
  state.lastKey = key;
  return true;
}

// Brings the rest of an incomplete line to the window: more of the file, or
// CR LF after a last line that has none. False when the line cannot fit.
// A read that comes back short in mid-file (the file changed under us) is a
// failure too.
bool Refill(IniFile* file, ParseState& state) {
  if (state.unparsed == kIniWindowBytes || state.endAppended) return false;
  char* window = file->window;
  const int32_t following = state.filePosition + state.unparsed;
  if (following < state.fileSize) {
    std::memmove(window, window + state.lineStart, static_cast<std::size_t>(state.unparsed));
    state.lineStart = 0;
    int32_t wanted = kIniWindowBytes - state.unparsed;
    if (wanted > state.fileSize - following) wanted = state.fileSize - following;
    if (FileRead(file->stream, window + state.unparsed, wanted) != wanted) return false;
    state.unparsed += wanted;
    return true;
  }
  if (state.unparsed + 2 > kIniWindowBytes) return false;
  if (state.lineStart + state.unparsed + 2 > kIniWindowBytes) {
    std::memmove(window, window + state.lineStart, static_cast<std::size_t>(state.unparsed));
    state.lineStart = 0;
  }
  window[state.lineStart + state.unparsed] = '\r';
  window[state.lineStart + state.unparsed + 1] = '\n';
  state.unparsed += 2;
  state.endAppended = true;
  return true;
}

bool Parse(IniFile* file) {
  ParseState state{};
  state.fileSize = FileSize(file->stream);
  if (state.fileSize < 0) return false;
  while (state.filePosition < state.fileSize) {
    const char* line = file->window + state.lineStart;
    const IniLine parsed =
        ClassifyIniLine(reinterpret_cast<const uint8_t*>(line), state.unparsed);
    switch (parsed.kind) {
      case IniLineKind::kIncomplete:
        if (!Refill(file, state)) return false;
        continue;
      case IniLineKind::kSection:
        if (!AddSection(file, state, line + parsed.nameOffset, parsed.nameLength)) return false;
        break;
      case IniLineKind::kKey:
        if (!AddKey(file, state, line, parsed)) return false;
        break;
      default:  // blank, comment and invalid lines leave no trace
        break;
    }
    state.lineStart += parsed.length;
    state.unparsed -= parsed.length;
    // The CR LF appended to an unterminated last line is not in the file.
    state.filePosition += parsed.length;
    if (state.filePosition > state.fileSize) state.filePosition = state.fileSize;
  }
  return true;
}

}  // namespace

IniFile* IniFile::Open(const char* path) {
  auto* file = static_cast<IniFile*>(std::calloc(1, sizeof(IniFile)));
  if (file == nullptr) return nullptr;
  file->sectionBlock = &file->firstSectionBlock;
  file->keyBlock = &file->firstKeyBlock;
  file->window = static_cast<char*>(std::malloc(kIniWindowBytes));
  if (file->window != nullptr) {
    file->stream = FileOpen(path, FileExists(path) ? kOpenRead : kOpenWrite);
  }
  if (file->stream == nullptr || !Parse(file)) {
    Close(file);
    return nullptr;
  }
  return file;
}

void IniFile::Close(IniFile* file) {
  if (file == nullptr) return;
  for (IniSection* section = file->firstSection; section != nullptr; section = section->next) {
    std::free(section->name);
    for (IniKey* key = section->firstKey; key != nullptr; key = key->next) std::free(key->key);
  }
  while (file->sectionBlock != &file->firstSectionBlock) {
    IniSectionBlock* previous = file->sectionBlock->previous;
    std::free(file->sectionBlock);
    file->sectionBlock = previous;
  }
  while (file->keyBlock != &file->firstKeyBlock) {
    IniKeyBlock* previous = file->keyBlock->previous;
    std::free(file->keyBlock);
    file->keyBlock = previous;
  }
  std::free(file->window);
  if (file->stream != nullptr) FileClose(file->stream);
  std::free(file);
}

}  // namespace pocketmidi
