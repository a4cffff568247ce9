// The tool's file system calls on Windows: the UTF-8 paths go to the
// system's wide (UTF-16) calls, and Win32 errors come back as the errno
// value that says the same, so the tool's messages read as on other systems.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "cli/host_files.h"
#include "platform/utf16_path.h"

namespace pocketmidi::cli::host {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");

std::wstring Wide(const std::string& path) {
  const std::u16string wide = Utf8ToUtf16(path);
  return std::wstring(wide.begin(), wide.end());
}

// The errno value for a Win32 error where one means the same thing; other
// errors are kept, negated, for Reason to ask the system about.
int FromWin32(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_SUCCESS: return EIO;
    default: return -static_cast<int>(code);
  }
}

int LastError() { return FromWin32(GetLastError()); }

int LastCrtError() { return errno != 0 ? errno : EIO; }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Six characters that make a temporary name unique with high probability;
// a clash is retried by the caller.
std::string UniqueSuffix(int attempt) {
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  uint64_t bits = (static_cast<uint64_t>(counter.QuadPart) + static_cast<uint64_t>(attempt)) *
                      0x9E3779B97F4A7C15u ^
                  (uint64_t{GetCurrentProcessId()} << 32);
  std::string suffix;
  for (int i = 0; i < 6; ++i, bits /= 36) suffix.push_back(kDigits[bits % 36]);
  return suffix;
}

constexpr int kNameAttempts = 100;

// A stream over a handle this file created; on failure the file is removed.
std::FILE* StreamOf(HANDLE handle, const std::string& name, int* error) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
  if (file == nullptr) {
    *error = LastCrtError();
    if (fd >= 0) {
      _close(fd);
    } else {
      CloseHandle(handle);
    }
    DeleteFileW(Wide(name).c_str());
  }
  return file;
}

}  // namespace

std::string Reason(int error) {
  if (error >= 0) return std::strerror(error);
  wchar_t* text = nullptr;
  const DWORD units = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(-error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = units > 0 ? Utf16ToUtf8(std::u16string_view(
                                       reinterpret_cast<const char16_t*>(text), units))
                                 : "system error " + std::to_string(-error);
  if (text != nullptr) LocalFree(text);
  // The system's sentences end in ".\r\n"; the tool's messages go on after.
  while (!reason.empty() && std::strchr(".\r\n ", reason.back()) != nullptr) reason.pop_back();
  return reason;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int Inspect(const std::string& path, Kind* kind) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  const int attributesError = attributes == INVALID_FILE_ATTRIBUTES ? LastError() : 0;
  if (attributesError == 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *kind = Kind::kDirectory;
    return 0;
  }
  // Devices (NUL, CON, COM1) and pipes differ from files only in the type of
  // an open handle; opening for no access reads nothing from them.
  const HANDLE handle =
      CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (attributesError != 0) return attributesError;
    *kind = Kind::kRegular;
    return 0;
  }
  switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: *kind = Kind::kRegular; break;
    case FILE_TYPE_CHAR: *kind = Kind::kCharacterDevice; break;
    case FILE_TYPE_PIPE: *kind = Kind::kFifo; break;
    default: *kind = Kind::kOther; break;
  }
  CloseHandle(handle);
  return 0;
}

int ProbeOpen(const std::string& path, bool forWriting) {
  const HANDLE handle = CreateFileW(Wide(path).c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                                    kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  CloseHandle(handle);
  return 0;
}

// MoveFileExW would replace a symbolic link itself: the link's final path is
// the file to replace, without the "\\?\" prefix (which turns off the '/'
// separators the tool adds).
std::string ResolveLink(const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return path;
  }
  const HANDLE handle = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return path;
  wchar_t finalPath[MAX_PATH * 4];
  const DWORD units = GetFinalPathNameByHandleW(handle, finalPath, MAX_PATH * 4, FILE_NAME_NORMALIZED);
  CloseHandle(handle);
  if (units == 0 || units >= MAX_PATH * 4) return path;
  std::string resolved =
      Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(finalPath), units));
  if (resolved.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + resolved.substr(8);
  if (resolved.rfind("\\\\?\\", 0) == 0) return resolved.substr(4);
  return resolved;
}

std::FILE* OpenDevice(const std::string& path, int* error) {
  errno = 0;
  std::FILE* file = _wfopen(Wide(path).c_str(), L"wb");
  if (file == nullptr) *error = LastCrtError();
  return file;
}

// The new file gets a new file's attributes and the directory's inherited
// permissions, as a file the tool created in place would; the target was
// checked writable before.
std::FILE* CreateTemporaryFile(const std::string& prefix, const std::string& /*model*/,
                               std::string* name, int* error) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    *name = prefix + UniqueSuffix(attempt);
    const HANDLE handle = CreateFileW(Wide(*name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return StreamOf(handle, *name, error);
    if (GetLastError() != ERROR_FILE_EXISTS) {
      *error = LastError();
      return nullptr;
    }
  }
  *error = EEXIST;
  return nullptr;
}

std::FILE* OpenForReading(const std::string& path, int* error) {
  errno = 0;
  std::FILE* file = _wfopen(Wide(path).c_str(), L"rb");
  if (file == nullptr) *error = LastCrtError();
  return file;
}

std::FILE* OpenForWriting(const std::string& path, int* error) {
  errno = 0;
  std::FILE* file = _wfopen(Wide(path).c_str(), L"wb");
  if (file == nullptr) *error = LastCrtError();
  return file;
}

int FlushToDisk(std::FILE* file) {
  errno = 0;
  if (std::fflush(file) != 0) return LastCrtError();
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return FlushFileBuffers(handle) ? 0 : LastError();
}

// MOVEFILE_WRITE_THROUGH returns once the rename is on the disk, which
// stands for the directory sync of other systems. A directory only ever
// moves to a free name, and MOVEFILE_REPLACE_EXISTING refuses directories.
int MoveIntoPlace(const std::string& from, const std::string& to) {
  const std::wstring source = Wide(from);
  const DWORD attributes = GetFileAttributesW(source.c_str());
  DWORD flags = MOVEFILE_WRITE_THROUGH;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    flags |= MOVEFILE_REPLACE_EXISTING;
  }
  return MoveFileExW(source.c_str(), Wide(to).c_str(), flags) ? 0 : LastError();
}

void SyncDirectory(const std::string& /*directory*/) {}

int CreateTemporaryDirectory(const std::string& prefix, std::string* name) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    *name = prefix + UniqueSuffix(attempt);
    if (CreateDirectoryW(Wide(*name).c_str(), nullptr)) return 0;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return LastError();
  }
  return EEXIST;
}

// The directory has its parent's inherited permissions from the start.
void PublishDirectory(const std::string& /*directory*/) {}

void RemoveFile(const std::string& path) { DeleteFileW(Wide(path).c_str()); }

void RemoveEmptyDirectory(const std::string& path) { RemoveDirectoryW(Wide(path).c_str()); }

// Windows has no path that names an open directory (no /proc/self/fd): the
// set's path goes to the library as it is, and a directory its single-byte
// paths cannot name (not Latin-1, or past 127 bytes) is refused by the
// caller with a message saying so.
std::string OpenDirectoryAlias(const std::string& /*directory*/, int* handle) {
  *handle = -1;
  return "";
}

void CloseDirectoryAlias(int /*handle*/) {}

}  // namespace pocketmidi::cli::host
