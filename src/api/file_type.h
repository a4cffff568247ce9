// Recognising a song file by its first bytes.
#pragma once

#include <cstdint>

namespace pocketmidi {

struct FileStream;

enum FileType : int32_t {
  kFileUnknown = 0,
  kFileWave = 2,  // RIFF form "WAVE"
  kFileAmr = 4,   // "#!AM"
  kFileMidi = 7,  // "MThd", or RIFF form "RMID"
};

// Classifies the stream by its first four bytes, or by the RIFF form type
// at offset 8. Leaves the stream's position where it was. A null stream is
// unknown.
FileType DetectFileType(FileStream* stream);

}  // namespace pocketmidi
