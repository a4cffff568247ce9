// Where opening a song stopped, and why: filled by the engine and the
// decoder as a step fails, so a tool can explain a failed open in words
// without repeating it. Nothing in playback reads it, and it does not pass
// the C interface (whose results stay the bare 0, 1 and 201).
#pragma once

#include <cstddef>
#include <cstdint>

namespace pocketmidi {

enum class OpenStage : uint8_t {
  kNone = 0,          // nothing failed (or nothing was opened yet)
  kAllocation,        // the song or the engine could not be allocated
  kBootstrapPath,     // the configuration directory does not fit the single-byte paths
  kBootstrapFile,     // the bootstrap file cannot be opened (file = its path)
  kPatchListName,     // the bootstrap file names no patch list ([FILES] CONFIG)
  kPatchList,         // the patch list (file) cannot be opened (code -3) or has a
                      // wrong key (code -7..-14) in section index
  kArchiveName,       // the bootstrap file names no patch archive ([FILES] PAT)
  kArchivePath,       // directory plus archive name do not fit the path field
  kSongRead,          // the song could not be read into an event list
  kSongPreparation,   // the timeline could not be built (code -2 memory, -3 too long)
  kArchiveOpen,       // the patch archive cannot be opened
  kArchiveIndex,      // the archive's index could not be held in memory
  kPatchMissing,      // the patch of slot index (drum or program) is not in the index
  kPatchLoad,         // the patch is indexed but could not be loaded (corrupt, too
                      // large, or memory)
};

struct OpenFailure {
  OpenStage stage;
  bool drum;       // kPatchMissing, kPatchLoad: index is a drum note, not a program
  int32_t code;    // the result the failing step returned
  int32_t index;   // patch list section, program or drum note; -1 when none
  char file[256];  // single-byte path of the configuration file concerned, or ""
};

// Notes a failed step in record and passes its result on, so a failing
// step reads "return RecordFailure(...)". A longer file name is cut.
inline int32_t RecordFailure(OpenFailure& record, OpenStage stage, int32_t code,
                             int32_t index = -1, const char* file = "") {
  record.stage = stage;
  record.drum = false;
  record.code = code;
  record.index = index;
  std::size_t i = 0;
  for (; i + 1 < sizeof(record.file) && file[i] != '\0'; ++i) record.file[i] = file[i];
  record.file[i] = '\0';
  return code;
}

}  // namespace pocketmidi
