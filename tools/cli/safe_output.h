// Writing the tool's output so that a failure loses nothing: every file is
// written beside its target under a temporary name, flushed to the disk and
// only then renamed over the target. Until that rename the old file is
// untouched; after a failure nothing partial is left behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pocketmidi::cli {

// The system's reason for errno `error` ("No space left on device").
std::string SystemReason(int error);

// One output file. Open picks where the bytes go: a temporary file beside a
// regular (or not yet existing) target, or the target itself when it is a
// device or a FIFO (/dev/null, a pipe), which has no old contents to keep.
// A directory is refused. Destroying an uncommitted file removes the
// temporary file.
class SafeOutputFile {
 public:
  SafeOutputFile() = default;
  ~SafeOutputFile();
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;

  // False with *error set ("cannot write 'x': Is a directory").
  bool Open(const std::string& target, std::string* error);
  // Writes at the current position; false after the first failure.
  bool Write(const void* data, size_t bytes);
  // Writes at `offset` from the start and returns to the end (for headers
  // completed at the end). Not for devices.
  bool WriteAt(uint64_t offset, const void* data, size_t bytes);
  // Flushes to the disk and renames the temporary file over the target.
  bool Commit(std::string* error);
  // Removes the temporary file; the target stays as it was.
  void Abandon();
  // False when writing straight to a device or FIFO, which cannot seek.
  bool Seekable() const { return !temporary_.empty(); }
  // The reason for the first failure of Write or WriteAt, as a message.
  std::string FailureMessage() const;

 private:
  bool Fail(int error);

  std::string target_;
  std::string temporary_;  // empty when writing straight to the target
  FILE* file_ = nullptr;
  int error_ = 0;
};

// Writes bytes to a new file at path and flushes them to the disk.
bool WriteFileDurably(const std::string& path, const std::vector<uint8_t>& bytes,
                      std::string* error);

// A set of files that replaces the files of the same names in a directory
// all together: Create makes an empty temporary directory beside target,
// files are written into Path(name), and Commit moves them into target
// (creating it when missing) only when every one is on the disk. Other
// files in an existing target are left alone. Destroying an uncommitted
// staging directory removes it and what was written into it.
class StagingDirectory {
 public:
  StagingDirectory() = default;
  ~StagingDirectory();
  StagingDirectory(const StagingDirectory&) = delete;
  StagingDirectory& operator=(const StagingDirectory&) = delete;

  bool Create(const std::string& target, std::string* error);
  // Where a file of that name is written before the commit.
  std::string Path(const std::string& name) const;
  bool Add(const std::string& name, const std::vector<uint8_t>& bytes, std::string* error);
  bool Commit(std::string* error);
  bool TargetExisted() const { return targetExists_; }

 private:
  void RemoveStaged();

  std::string target_;
  std::string staging_;
  std::vector<std::string> names_;
  bool targetExists_ = false;
};

}  // namespace pocketmidi::cli
