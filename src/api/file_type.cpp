#include "api/file_type.h"

#include <cstring>

#include "io/file_stream.h"

namespace pocketmidi {

namespace {

bool Is(const uint8_t word[4], const char* tag) { return std::memcmp(word, tag, 4) == 0; }

}  // namespace

FileType DetectFileType(FileStream* stream) {
  if (stream == nullptr) return kFileUnknown;
  const int32_t position = FileTell(stream);
  FileSeek(stream, kFromStart, 0);
  // Bytes a short read cannot fill stay zero (or, for the form type, keep
  // the "RIFF" they had), so a short file matches nothing.
  uint8_t word[4] = {0, 0, 0, 0};
  FileRead(stream, word, 4);
  if (Is(word, "RIFF")) {
    FileSeek(stream, kFromCurrent, 4);  // the chunk size
    FileRead(stream, word, 4);
  }
  FileSeek(stream, kFromStart, position);
  // The same tests apply with or without the RIFF wrapper.
  if (Is(word, "#!AM")) return kFileAmr;
  if (Is(word, "MThd")) return kFileMidi;
  if (Is(word, "WAVE")) return kFileWave;
  if (Is(word, "RMID")) return kFileMidi;
  return kFileUnknown;
}

}  // namespace pocketmidi
