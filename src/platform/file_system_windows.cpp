// The file system calls on Windows: the system's own GetFileAttributesW and
// _wfopen, which take the handheld's path syntax as it is (UTF-16, '\' or
// '/' separators). wchar_t is the UTF-16 unit there.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/file_system.h"

namespace pocketmidi {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
static_assert(kInvalidFileAttributes == INVALID_FILE_ATTRIBUTES &&
              kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY &&
              kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);

uint32_t GetFileAttributesW(const char16_t* path) {
  if (path == nullptr || path[0] == 0) return kInvalidFileAttributes;
  return ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path));
}

// The system refuses to open a directory as a stream already.
std::FILE* _wfopen(const char16_t* path, const char16_t* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  return ::_wfopen(reinterpret_cast<const wchar_t*>(path), reinterpret_cast<const wchar_t*>(mode));
}

// Each byte is the UTF-16 unit of the same value, as MultiByteToWideChar here
// converts it, so a single-byte path and its conversion name the same file.
std::FILE* HandheldFopen(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  std::u16string widePath, wideMode;
  for (const char* p = path; *p != 0; ++p) widePath.push_back(static_cast<uint8_t>(*p));
  for (const char* m = mode; *m != 0; ++m) wideMode.push_back(static_cast<uint8_t>(*m));
  return _wfopen(widePath.c_str(), wideMode.c_str());
}

}  // namespace pocketmidi
