#include "cli/safe_output.h"

#include <cerrno>

#include "cli/host_files.h"

namespace pocketmidi::cli {
namespace {

size_t LastSeparator(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (host::IsSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

std::string ParentOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && host::IsSeparator(path.back())) path.pop_back();
  return path;
}

// "dir/.name.": hidden, on the same file system as the target (so the
// rename is atomic), and named after it so a leftover after a crash can be
// recognised. The system adds a unique suffix.
std::string TemporaryPrefix(const std::string& target) {
  std::string name = NameOf(target);
  if (name.size() > 200) name.resize(200);
  return ParentOf(target) + "/." + name + ".";
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

std::string SystemReason(int error) { return host::Reason(error); }

SafeOutputFile::~SafeOutputFile() { Abandon(); }

bool SafeOutputFile::Fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
  return false;
}

bool SafeOutputFile::Open(const std::string& target, std::string* error) {
  // A symbolic link is followed, so the link keeps pointing at the new
  // contents.
  target_ = host::ResolveLink(target);
  host::Kind kind = host::Kind::kOther;
  const bool exists = host::Inspect(target_, &kind) == 0;
  int reason = 0;
  if (exists && (kind == host::Kind::kCharacterDevice || kind == host::Kind::kFifo)) {
    // Nothing to keep: write straight through.
    file_ = host::OpenDevice(target_, &reason);
    if (file_ == nullptr) {
      *error = "cannot write " + Quoted(target) + ": " +
               (reason == ENXIO ? "no process reads this FIFO" : SystemReason(reason));
      return false;
    }
    return true;
  }
  if (exists && kind != host::Kind::kRegular) {
    *error = "cannot write " + Quoted(target) + ": " +
             (kind == host::Kind::kDirectory ? "it is a directory" : "it is not a regular file");
    return false;
  }
  // A file that cannot be written (read-only, /proc/version) is named as
  // such rather than by what failed beside it. Opening does not truncate.
  if (exists && (reason = host::ProbeOpen(target_, true)) != 0) {
    *error = "cannot write " + Quoted(target) + ": " + SystemReason(reason);
    return false;
  }
  std::string name;
  file_ = host::CreateTemporaryFile(TemporaryPrefix(target_), exists ? target_ : "", &name,
                                    &reason);
  if (file_ == nullptr) {
    *error = "cannot write " + Quoted(target) + ": cannot create the temporary file " +
             Quoted(name) + " beside it: " + SystemReason(reason);
    return false;
  }
  temporary_ = name;
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
  if (error_ == 0) {
    // A device is only flushed: there is no file to sync or rename.
    errno = 0;
    if (temporary_.empty()) {
      if (std::fflush(file_) != 0) Fail(errno);
    } else if (const int reason = host::FlushToDisk(file_); reason != 0) {
      Fail(reason);
    }
  }
  FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(file) != 0) Fail(errno);
  if (error_ == 0 && !temporary_.empty()) {
    const int reason = host::MoveIntoPlace(temporary_, target_);
    if (reason != 0) Fail(reason);
  }
  if (error_ != 0) {
    *error = FailureMessage();
    Abandon();
    return false;
  }
  if (!temporary_.empty()) host::SyncDirectory(ParentOf(target_));
  temporary_.clear();
  return true;
}

void SafeOutputFile::Abandon() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) host::RemoveFile(temporary_);
  temporary_.clear();
}

std::string SafeOutputFile::FailureMessage() const {
  return "cannot write " + Quoted(target_) + ": " + SystemReason(error_ != 0 ? error_ : EIO);
}

bool WriteFileDurably(const std::string& path, const std::vector<uint8_t>& bytes,
                      std::string* error) {
  int reason = 0;
  FILE* file = host::OpenForWriting(path, &reason);
  if (file == nullptr) {
    *error = "cannot write " + Quoted(path) + ": " + SystemReason(reason);
    return false;
  }
  errno = 0;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  reason = errno;
  if (ok && (reason = host::FlushToDisk(file)) != 0) ok = false;
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  if (!ok) *error = "cannot write " + Quoted(path) + ": " + SystemReason(reason ? reason : EIO);
  return ok;
}

StagingDirectory::~StagingDirectory() { RemoveStaged(); }

bool StagingDirectory::Create(const std::string& target, std::string* error) {
  target_ = host::ResolveLink(WithoutTrailingSeparators(target));
  host::Kind kind = host::Kind::kOther;
  const int missing = host::Inspect(target_, &kind);
  targetExists_ = missing == 0;
  if (targetExists_ && kind != host::Kind::kDirectory) {
    *error = "cannot write the set into " + Quoted(target) + ": it is not a directory";
    return false;
  }
  if (!targetExists_ && missing != ENOENT) {
    *error = "cannot write the set into " + Quoted(target) + ": " + SystemReason(missing);
    return false;
  }
  std::string name;
  const int reason = host::CreateTemporaryDirectory(TemporaryPrefix(target_), &name);
  if (reason != 0) {
    *error = "cannot write the set into " + Quoted(target) + ": cannot create a directory in " +
             Quoted(ParentOf(target_)) + ": " + SystemReason(reason);
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
    host::PublishDirectory(staging_);
    const int reason = host::MoveIntoPlace(staging_, target_);
    if (reason != 0) {
      *error = "cannot create " + Quoted(target_) + ": " + SystemReason(reason);
      return false;
    }
    host::SyncDirectory(ParentOf(target_));
    staging_.clear();
    return true;
  }
  // An existing directory may hold the user's other files: only the set's
  // own files are replaced, each by an atomic rename of a complete file.
  for (const std::string& name : names_) {
    const int reason = host::MoveIntoPlace(Path(name), target_ + "/" + name);
    if (reason != 0) {
      *error = "cannot move " + Quoted(name) + " into " + Quoted(target_) + ": " +
               SystemReason(reason);
      return false;
    }
  }
  host::SyncDirectory(target_);
  RemoveStaged();
  return true;
}

void StagingDirectory::RemoveStaged() {
  if (staging_.empty()) return;
  for (const std::string& name : names_) host::RemoveFile(Path(name));
  host::RemoveEmptyDirectory(staging_);
  staging_.clear();
}

}  // namespace pocketmidi::cli
