#include "platform/file_system.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/utf16_path.h"

namespace pocketmidi {
namespace {

// Opens a host path and refuses directories: glibc would open a directory
// for reading and then fail every read, the handheld refuses the open.
std::FILE* OpenHostFile(const std::string& hostPath, const char* mode) {
  if (hostPath.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  std::FILE* file = std::fopen(hostPath.c_str(), mode);
  if (file == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

}  // namespace

uint32_t GetFileAttributesW(const char16_t* path) {
  const std::string hostPath = HandheldPathToHost(path);
  struct stat info;
  if (hostPath.empty() || stat(hostPath.c_str(), &info) != 0) return kInvalidFileAttributes;
  return S_ISDIR(info.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
}

int32_t MultiByteToWideChar(uint32_t codePage, uint32_t /*flags*/, const char* source,
                            int32_t sourceBytes, char16_t* dest, int32_t destUnits) {
  if (source == nullptr || sourceBytes == 0 || sourceBytes < -1 || destUnits < 0) return 0;
  if (codePage != kCodePageAnsi && codePage != kCodePageOem) return 0;
  std::size_t count = sourceBytes == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceBytes);
  if (count > 0x7FFFFFFF) return 0;
  if (destUnits == 0) return static_cast<int32_t>(count);
  if (dest == nullptr || count > static_cast<std::size_t>(destUnits)) return 0;
  for (std::size_t i = 0; i < count; ++i) {
    dest[i] = static_cast<char16_t>(static_cast<uint8_t>(source[i]));
  }
  return static_cast<int32_t>(count);
}

std::FILE* _wfopen(const char16_t* path, const char16_t* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  std::string narrowMode;
  for (const char16_t* m = mode; *m != 0; ++m) {
    if (*m >= 0x80) return nullptr;
    narrowMode.push_back(static_cast<char>(*m));
  }
  return OpenHostFile(HandheldPathToHost(path), narrowMode.c_str());
}

std::FILE* HandheldFopen(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  return OpenHostFile(NarrowHandheldPathToHost(path), mode);
}

}  // namespace pocketmidi
