// Checks of what the user names before anything reads it. A read must not
// block (a FIFO without a writer) or run for ever (/dev/zero), and the
// library's configuration reader creates a file it is asked to read and
// cannot find, so a set directory is checked file by file first: the tool
// never adds files to a user's directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pocketmidi::cli {

struct SongArgs;

// "" when path is a regular file that can be opened for reading; else what
// it is instead ("it is a directory", "it is a FIFO", "No such file or
// directory").
std::string InputFileProblem(const std::string& path);

// The whole of a regular file of at most maxBytes into *bytes; false with
// *error "cannot open PATH" or "cannot read PATH" (too large included).
bool ReadInputFile(const std::string& path, long maxBytes, std::vector<uint8_t>* bytes,
                   std::string* error);

// The instrument set directory as the library is to be given it. The
// library's configuration code keeps one byte per character and 127 bytes
// of path, so a directory it cannot name exactly (a name that is not
// Latin-1 or not UTF-8, a long path) is handed over through a descriptor
// of the open directory instead where the system has a name for one
// (Linux), and refused elsewhere. Owns that descriptor.
class LibraryDirectory {
 public:
  LibraryDirectory() = default;
  ~LibraryDirectory();
  LibraryDirectory(const LibraryDirectory&) = delete;
  LibraryDirectory& operator=(const LibraryDirectory&) = delete;

  // Checks the set in `directory` (the directory, its bootstrap file, the
  // patch list and archive it names) without creating anything. "" when all
  // are there, else a message naming what is missing or wrong.
  std::string Check(const std::string& directory);
  // With a trailing separator, UTF-8 (or escaped bytes, see utf16_path.h).
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int descriptor_ = -1;
};

// What render and play check before the library reads anything: the song
// (refused unless it is a readable regular file, its damage printed as
// warnings), then the set in `set`. False after printing why, each line
// prefixed with "pocketmidi COMMAND: "; `songVerb` words the song's refusal
// ("cannot open", "cannot load").
bool CheckSongAndSet(const char* command, const char* songVerb, const SongArgs& args,
                     LibraryDirectory* set);

}  // namespace pocketmidi::cli
