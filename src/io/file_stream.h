// Thin file streams over the C runtime, with the library's own open modes and
// seek origins. Every byte the library reads (songs, configuration, patch
// archive) goes through here.
#pragma once

#include <cstdint>

namespace pocketmidi {

struct FileStream;  // opaque; null means "no stream"

// Low 16 bits of the mode argument; 0 and values above 6 mean kOpenRead.
enum OpenMode : int32_t {
  kOpenRead = 1,             // "rb"
  kOpenWrite = 2,            // "wb"
  kOpenAppend = 3,           // "ab"
  kOpenReadUpdate = 4,       // "rb+"
  kOpenWriteUpdate = 5,      // "wb+"
  kOpenAppendUpdate = 6,     // "ab+"
};

// Low 16 bits of the origin argument, as signed. Note 1 is the end and 2 the
// current position: the reverse of SEEK_END/SEEK_CUR. Other values: start.
enum SeekOrigin : int32_t {
  kFromStart = 0,
  kFromEnd = 1,
  kFromCurrent = 2,
};

FileStream* FileOpen(const char* path, int32_t mode);
FileStream* FileOpenW(const char16_t* path, int32_t mode);
int32_t FileClose(FileStream* stream);                           // 1 closed, 0 close failed
int32_t FileRead(FileStream* stream, void* buffer, int32_t count);  // bytes read
int32_t FileSeek(FileStream* stream, int32_t origin, int32_t offset);  // 0 on success
int32_t FileTell(FileStream* stream);
int32_t FileSize(FileStream* stream);  // leaves the position unchanged
int32_t FileExists(const char* path);       // 1: an existing non-directory
int32_t FileExistsW(const char16_t* path);

}  // namespace pocketmidi
