// The file system calls where the system has none of its own: POSIX paths
// in UTF-8 with '/' separators.
#include "platform/file_system.h"

#include <sys/stat.h>

#include <cerrno>
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
