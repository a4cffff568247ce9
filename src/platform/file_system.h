// The handheld's file system calls: file attributes, the single-byte to
// UTF-16 conversion, and the runtime's stream opens with handheld paths
// (UTF-16 or OEM single-byte, '\' separators). On Windows, GetFileAttributesW
// and _wfopen are the system's own (file_system_windows.cpp); elsewhere they
// are POSIX stand-ins (file_system_posix.cpp).
#pragma once

#include <cstdint>
#include <cstdio>

namespace pocketmidi {

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;  // the failure value
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeNormal = 0x80;

constexpr uint32_t kCodePageAnsi = 0;  // CP_ACP
constexpr uint32_t kCodePageOem = 1;   // CP_OEMCP

// kInvalidFileAttributes when the path names nothing (or is null/empty),
// kFileAttributeDirectory for a directory, kFileAttributeNormal otherwise.
// Symbolic links are followed. The system's answer on Windows may set other
// bits too (archive, read-only, ...); test the directory bit, not equality.
uint32_t GetFileAttributesW(const char16_t* path);

// Bytes -> UTF-16 for code pages 0 and 1: each byte becomes the UTF-16 unit
// of the same value (Latin-1). sourceBytes -1 converts the NUL-terminated
// string including its terminator. destUnits 0 asks for the needed size.
// Returns the units written (terminator included when it was converted), or
// 0 on failure: null source, bad length, unknown code page, or a destination
// too small for the whole result (then nothing is written). flags is ignored.
int32_t MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* source,
                            int32_t sourceBytes, char16_t* dest, int32_t destUnits);

// The runtime's fopen with a UTF-16 path and mode. Directories are refused
// (null, errno EISDIR) as the handheld does, rather than opened as an
// unreadable stream. Null path or mode, or a mode that is not ASCII, give null.
std::FILE* _wfopen(const char16_t* path, const char16_t* mode);

// The runtime's fopen as the handheld sees it: path in the single-byte code
// page with '\' separators (see NarrowHandheldPathToHost). Directories are
// refused like in _wfopen.
std::FILE* HandheldFopen(const char* path, const char* mode);

}  // namespace pocketmidi
