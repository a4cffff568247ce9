#include "io/file_stream.h"

#include <cstdio>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/path_limits.h"

namespace pocketmidi {

struct FileStream {
  std::FILE* file;
};

namespace {


// Mode strings by the low 16 bits of the mode; 0 and anything above 6 read.
int ModeIndex(int32_t mode) {
  const uint32_t low = static_cast<uint32_t>(mode) & 0xFFFFu;
  return (low >= 1 && low <= 6) ? static_cast<int>(low) : 1;
}

const char* const kNarrowModes[7] = {"rb", "rb", "wb", "ab", "rb+", "wb+", "ab+"};
const char16_t* const kWideModes[7] = {u"rb", u"rb", u"wb", u"ab", u"rb+", u"wb+", u"ab+"};

int RuntimeOrigin(int32_t origin) {
  switch (static_cast<int16_t>(static_cast<uint32_t>(origin) & 0xFFFFu)) {
    case kFromEnd: return SEEK_END;
    case kFromCurrent: return SEEK_CUR;
    default: return SEEK_SET;  // kFromStart and every unknown value
  }
}

FileStream* Wrap(std::FILE* file) {
  if (file == nullptr) return nullptr;
  auto* stream = static_cast<FileStream*>(std::malloc(sizeof(FileStream)));
  if (stream == nullptr) {
    std::fclose(file);
    return nullptr;
  }
  stream->file = file;
  return stream;
}

}  // namespace

FileStream* FileOpen(const char* path, int32_t mode) {
  return Wrap(HandheldFopen(path, kNarrowModes[ModeIndex(mode)]));
}

FileStream* FileOpenW(const char16_t* path, int32_t mode) {
  return Wrap(_wfopen(path, kWideModes[ModeIndex(mode)]));
}

// A null stream is "nothing closed": 0.
int32_t FileClose(FileStream* stream) {
  if (stream == nullptr) return 0;
  const int result = std::fclose(stream->file);
  std::free(stream);
  return result == 0 ? 1 : 0;
}

// A count of 0 or less transfers nothing (a negative count must not become a
// huge unsigned one); a null stream or buffer reads nothing.
int32_t FileRead(FileStream* stream, void* buffer, int32_t count) {
  if (stream == nullptr || buffer == nullptr || count <= 0) return 0;
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), stream->file));
}

int32_t FileSeek(FileStream* stream, int32_t origin, int32_t offset) {
  if (stream == nullptr) return -1;
  return std::fseek(stream->file, offset, RuntimeOrigin(origin));
}

// -1 (the runtime's failure value) for a null stream.
int32_t FileTell(FileStream* stream) {
  if (stream == nullptr) return -1;
  return static_cast<int32_t>(std::ftell(stream->file));
}

int32_t FileSize(FileStream* stream) {
  if (stream == nullptr) return -1;
  const long position = std::ftell(stream->file);
  std::fseek(stream->file, 0, SEEK_END);
  const long size = std::ftell(stream->file);
  std::fseek(stream->file, position, SEEK_SET);
  return static_cast<int32_t>(size);
}

// A path whose UTF-16 form (with terminator) does not fit 259 units cannot
// name a file the platform could check, so it does not exist: 0.
int32_t FileExists(const char* path) {
  char16_t widePath[kMaxPathUnits];
  if (MultiByteToWideChar(kCodePageOem, 0, path, -1, widePath, kMaxPathUnits - 1) == 0) return 0;
  return FileExistsW(widePath);
}

int32_t FileExistsW(const char16_t* path) {
  const uint32_t attributes = GetFileAttributesW(path);
  if (attributes == kInvalidFileAttributes) return 0;
  if ((attributes & kFileAttributeDirectory) != 0) return 0;
  return 1;
}

}  // namespace pocketmidi
