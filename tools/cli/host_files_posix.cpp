// The tool's file system calls on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/host_files.h"

namespace pocketmidi::cli::host {
namespace {

int LastError() { return errno != 0 ? errno : EIO; }

mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return Kind::kRegular;
  if (S_ISDIR(mode)) return Kind::kDirectory;
  if (S_ISFIFO(mode)) return Kind::kFifo;
  if (S_ISCHR(mode)) return Kind::kCharacterDevice;
  if (S_ISBLK(mode)) return Kind::kBlockDevice;
  if (S_ISSOCK(mode)) return Kind::kSocket;
  return Kind::kOther;
}

std::FILE* StreamOf(int fd, int* error) {
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    *error = LastError();
    close(fd);
  }
  return file;
}

}  // namespace

std::string Reason(int error) { return std::strerror(error); }

bool IsSeparator(char c) { return c == '/'; }

int Inspect(const std::string& path, Kind* kind) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return LastError();
  *kind = KindOf(info.st_mode);
  return 0;
}

int ProbeOpen(const std::string& path, bool forWriting) {
  const int fd = open(path.c_str(), (forWriting ? O_WRONLY : O_RDONLY) | O_NONBLOCK);
  if (fd < 0) return LastError();
  close(fd);
  return 0;
}

std::string ResolveLink(const std::string& path) {
  struct stat link;
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

std::FILE* OpenDevice(const std::string& path, int* error) {
  // Opened without waiting, as a FIFO nobody reads would block the open for
  // ever; the writes that follow may wait.
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd < 0) {
    *error = LastError();
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return StreamOf(fd, error);
}

std::FILE* CreateTemporaryFile(const std::string& prefix, const std::string& model,
                               std::string* name, int* error) {
  // A name nobody else uses: the process id and a counter, created with
  // O_EXCL, which refuses any existing entry (a planted symbolic link too);
  // a name left by an earlier run is skipped. (mkstemp would do the same
  // with random letters, checking its pattern with code a rendering
  // process otherwise never maps.) Created 0666 less the umask, as fopen
  // creates a file.
  const std::string stem = prefix + std::to_string(getpid()) + ".";
  constexpr int kAttempts = 1000;
  int fd = -1;
  for (int attempt = 0; attempt < kAttempts && fd < 0; ++attempt) {
    *name = stem + std::to_string(attempt);
    fd = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    *error = LastError();
    return nullptr;
  }
  // A replaced file keeps its permissions.
  struct stat info;
  if (!model.empty() && stat(model.c_str(), &info) == 0) fchmod(fd, info.st_mode & 07777);
  std::FILE* file = StreamOf(fd, error);
  if (file == nullptr) unlink(name->c_str());
  return file;
}

std::FILE* OpenForReading(const std::string& path, int* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) *error = LastError();
  return file;
}

std::FILE* OpenForWriting(const std::string& path, int* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) *error = LastError();
  return file;
}

int FlushToDisk(std::FILE* file) {
  errno = 0;
  return std::fflush(file) == 0 && fsync(fileno(file)) == 0 ? 0 : LastError();
}

int MoveIntoPlace(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : LastError();
}

// File systems that cannot sync a directory are not an error.
void SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

int CreateTemporaryDirectory(const std::string& prefix, std::string* name) {
  *name = prefix + "XXXXXX";
  return mkdtemp(name->data()) != nullptr ? 0 : LastError();
}

// mkdtemp makes it 0700.
void PublishDirectory(const std::string& directory) {
  chmod(directory.c_str(), 0777 & ~CurrentUmask());
}

void RemoveFile(const std::string& path) { unlink(path.c_str()); }

void RemoveEmptyDirectory(const std::string& path) { rmdir(path.c_str()); }

// Linux names an open directory /proc/self/fd/N, a short ASCII path
// whatever the directory's own name is.
std::string OpenDirectoryAlias(const std::string& directory, int* handle) {
  *handle = -1;
#ifdef __linux__
  *handle = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (*handle >= 0) return "/proc/self/fd/" + std::to_string(*handle) + "/";
#else
  (void)directory;
#endif
  return "";
}

void CloseDirectoryAlias(int handle) {
  if (handle >= 0) close(handle);
}

}  // namespace pocketmidi::cli::host
