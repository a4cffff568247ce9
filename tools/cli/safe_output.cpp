#include "cli/safe_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace pocketmidi::cli {
namespace {

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "dir/.name.XXXXXX": hidden, on the same file system as the target (so the
// rename is atomic), and named after it so a leftover after a crash can be
// recognised.
std::string TemporaryTemplate(const std::string& target) {
  std::string name = NameOf(target);
  while (!name.empty() && name.back() == '/') name.pop_back();
  if (name.size() > 200) name.resize(200);
  return ParentOf(target) + "/." + name + ".XXXXXX";
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// What a new file's permissions would be had fopen created it.
mode_t CreationMode() { return 0666 & ~CurrentUmask(); }

// Makes a rename inside directory durable; file systems that cannot sync a
// directory are not an error.
void SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// The target to write through: a symbolic link is followed, so the link
// keeps pointing at the new contents.
std::string ResolvedTarget(const std::string& target) {
  struct stat link;
  if (lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return target;
  char resolved[PATH_MAX];
  return realpath(target.c_str(), resolved) != nullptr ? std::string(resolved) : target;
}

bool FlushAndSync(FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

}  // namespace

std::string SystemReason(int error) { return std::strerror(error); }

SafeOutputFile::~SafeOutputFile() { Abandon(); }

bool SafeOutputFile::Fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
  return false;
}

bool SafeOutputFile::Open(const std::string& target, std::string* error) {
  target_ = ResolvedTarget(target);
  struct stat info;
  const bool exists = stat(target_.c_str(), &info) == 0;
  if (exists && (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode))) {
    // Nothing to keep: write straight through. A FIFO nobody reads would
    // block the open for ever, so it is opened without waiting.
    const int fd = open(target_.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) {
      *error = "cannot write " + Quoted(target) + ": " +
               (errno == ENXIO ? "no process reads this FIFO" : SystemReason(errno));
      return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) close(fd);
    return file_ != nullptr || (*error = "cannot write " + Quoted(target), false);
  }
  if (exists && !S_ISREG(info.st_mode)) {
    *error = "cannot write " + Quoted(target) + ": " +
             (S_ISDIR(info.st_mode) ? "it is a directory" : "it is not a regular file");
    return false;
  }
  if (exists) {
    // A file that cannot be written (read-only, /proc/version) is named as
    // such rather than by what failed beside it. Opening does not truncate.
    const int probe = open(target_.c_str(), O_WRONLY | O_NONBLOCK);
    if (probe < 0) {
      *error = "cannot write " + Quoted(target) + ": " + SystemReason(errno);
      return false;
    }
    close(probe);
  }
  std::string name = TemporaryTemplate(target_);
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    *error = "cannot write " + Quoted(target) + ": cannot create the temporary file " +
             Quoted(name) + " beside it: " + SystemReason(errno);
    return false;
  }
  temporary_ = name;
  fchmod(fd, exists ? (info.st_mode & 07777) : CreationMode());
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int reason = errno;
    close(fd);
    Abandon();
    *error = "cannot write " + Quoted(target) + ": " + SystemReason(reason);
    return false;
  }
  return true;
}

bool SafeOutputFile::Write(const void* data, size_t bytes) {
  if (file_ == nullptr || error_ != 0) return false;
  errno = 0;
  if (bytes > 0 && std::fwrite(data, 1, bytes, file_) != bytes) return Fail(errno);
  return true;
}

bool SafeOutputFile::WriteAt(uint64_t offset, const void* data, size_t bytes) {
  if (file_ == nullptr || error_ != 0) return false;
  errno = 0;
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return Fail(errno);
  if (!Write(data, bytes)) return false;
  if (std::fseek(file_, 0, SEEK_END) != 0) return Fail(errno);
  return true;
}

bool SafeOutputFile::Commit(std::string* error) {
  if (file_ == nullptr) return false;
  errno = 0;
  if (error_ == 0) {
    // A device is only flushed: there is no file to sync or rename.
    if (temporary_.empty() ? std::fflush(file_) != 0 : !FlushAndSync(file_)) Fail(errno);
  }
  FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(file) != 0) Fail(errno);
  if (error_ == 0 && !temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    Fail(errno);
  }
  if (error_ != 0) {
    *error = FailureMessage();
    Abandon();
    return false;
  }
  if (!temporary_.empty()) SyncDirectory(ParentOf(target_));
  temporary_.clear();
  return true;
}

void SafeOutputFile::Abandon() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

std::string SafeOutputFile::FailureMessage() const {
  return "cannot write " + Quoted(target_) + ": " + SystemReason(error_ != 0 ? error_ : EIO);
}

bool WriteFileDurably(const std::string& path, const std::vector<uint8_t>& bytes,
                      std::string* error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot write " + Quoted(path) + ": " + SystemReason(errno);
    return false;
  }
  errno = 0;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = ok && FlushAndSync(file);
  int reason = errno;
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  if (!ok) *error = "cannot write " + Quoted(path) + ": " + SystemReason(reason ? reason : EIO);
  return ok;
}

StagingDirectory::~StagingDirectory() { RemoveStaged(); }

bool StagingDirectory::Create(const std::string& target, std::string* error) {
  target_ = target;
  while (target_.size() > 1 && target_.back() == '/') target_.pop_back();
  target_ = ResolvedTarget(target_);
  struct stat info;
  targetExists_ = stat(target_.c_str(), &info) == 0;
  if (targetExists_ && !S_ISDIR(info.st_mode)) {
    *error = "cannot write the set into " + Quoted(target) + ": it is not a directory";
    return false;
  }
  if (!targetExists_ && errno != ENOENT) {
    *error = "cannot write the set into " + Quoted(target) + ": " + SystemReason(errno);
    return false;
  }
  std::string name = TemporaryTemplate(target_);
  if (mkdtemp(name.data()) == nullptr) {
    *error = "cannot write the set into " + Quoted(target) + ": cannot create a directory in " +
             Quoted(ParentOf(target_)) + ": " + SystemReason(errno);
    return false;
  }
  staging_ = name;
  return true;
}

std::string StagingDirectory::Path(const std::string& name) const { return staging_ + "/" + name; }

bool StagingDirectory::Add(const std::string& name, const std::vector<uint8_t>& bytes,
                           std::string* error) {
  names_.push_back(name);
  return WriteFileDurably(Path(name), bytes, error);
}

bool StagingDirectory::Commit(std::string* error) {
  if (staging_.empty()) return false;
  if (!targetExists_) {
    // A new set appears whole: the directory itself is renamed into place.
    chmod(staging_.c_str(), 0777 & ~CurrentUmask());  // mkdtemp made it 0700
    if (std::rename(staging_.c_str(), target_.c_str()) != 0) {
      *error = "cannot create " + Quoted(target_) + ": " + SystemReason(errno);
      return false;
    }
    SyncDirectory(ParentOf(target_));
    staging_.clear();
    return true;
  }
  // An existing directory may hold the user's other files: only the set's
  // own files are replaced, each by an atomic rename of a complete file.
  for (const std::string& name : names_) {
    if (std::rename(Path(name).c_str(), (target_ + "/" + name).c_str()) != 0) {
      *error = "cannot move " + Quoted(name) + " into " + Quoted(target_) + ": " +
               SystemReason(errno);
      return false;
    }
  }
  SyncDirectory(target_);
  RemoveStaged();
  return true;
}

void StagingDirectory::RemoveStaged() {
  if (staging_.empty()) return;
  for (const std::string& name : names_) unlink(Path(name).c_str());
  rmdir(staging_.c_str());
  staging_.clear();
}

}  // namespace pocketmidi::cli
