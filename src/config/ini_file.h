// Reader of configuration files made of "[section]" headers and
// "key = value" lines. The whole file is parsed into memory at open; look-ups
// are by section and key, case-insensitive, typed as integer or string.
#pragma once

#include <cstdint>

#include "io/file_stream.h"

namespace pocketmidi {

enum IniValueType : int32_t {
  kIniInteger = 1,  // atoi of the value, into number as a host int32_t
  kIniString = 2,   // the value with its NUL, into text
};

// One look-up request, filled in by the caller. Each type has its own typed
// destination: an integer is delivered as an int32_t of the host, never as
// bytes in a fixed order through an untyped pointer.
struct IniQuery {
  const char* section;  // null means the section named "default"
  const char* key;      // must not be null
  char* text;           // kIniString: receives the value; must not be null
  IniValueType type;    // any value other than 1 or 2 is refused
  uint32_t size;        // kIniString: in: capacity of text (not 0); out: length
  int32_t* number = nullptr;  // kIniInteger: receives the value; must not be null
};

struct IniKey {
  char* key;    // one allocation: key, NUL, value, NUL
  char* value;  // points into the key's allocation
  IniKey* next;
};

struct IniSection {
  char* name;  // as written, case kept
  IniKey* firstKey;
  IniSection* next;
};

constexpr int32_t kIniWindowBytes = 2048;
constexpr uint32_t kIniSectionsPerBlock = 8;
constexpr uint32_t kIniKeysPerBlock = 128;

// Node pools: the first block lives in the IniFile, later ones on the heap,
// each chained back to the block before it.
struct IniSectionBlock {
  IniSection nodes[kIniSectionsPerBlock];
  IniSectionBlock* previous;
};

struct IniKeyBlock {
  IniKey nodes[kIniKeysPerBlock];
  IniKeyBlock* previous;
};

struct IniFile {
  FileStream* stream;  // open until Close
  char* window;        // kIniWindowBytes, used while parsing
  IniSection* firstSection;
  IniSectionBlock firstSectionBlock;
  IniSectionBlock* sectionBlock;  // block nodes are taken from
  uint32_t sectionsUsed;          // nodes used in sectionBlock
  IniKeyBlock firstKeyBlock;
  IniKeyBlock* keyBlock;
  uint32_t keysUsed;

  // Opens (creating it empty when it does not exist) and parses the file.
  // Null when memory runs out, the file cannot be opened or created, a key
  // line comes before every section header, or a line does not fit the
  // window.
  static IniFile* Open(const char* path);

  // 1 when found and delivered, 0 otherwise (buffer and size untouched).
  static int32_t GetValue(const IniFile* file, IniQuery* query);

  // Releases everything; the file on disk is left as it is. Null is ignored.
  static void Close(IniFile* file);
};

}  // namespace pocketmidi
