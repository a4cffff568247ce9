// The few file system calls behind the tool's safe output and input checks,
// one implementation per system (host_files_posix.cpp, host_files_windows.cpp,
// picked by suffix). Paths are UTF-8 here; the Windows side hands them to the
// system as UTF-16. Each call returns 0 or the reason it failed as an errno
// value (EACCES, ENOSPC...), or on Windows a system error that has no errno
// value, which Reason words all the same.
#pragma once

#include <cstdio>
#include <string>

namespace pocketmidi::cli::host {

enum class Kind { kRegular, kDirectory, kFifo, kCharacterDevice, kBlockDevice, kSocket, kOther };

// The system's reason for an error of these calls ("No space left on device").
std::string Reason(int error);

// True for the characters that separate a path's components.
bool IsSeparator(char c);

// What path names, symbolic links followed.
int Inspect(const std::string& path, Kind* kind);

// Whether an existing file can be opened for reading (or writing) without
// waiting for a peer and without changing it.
int ProbeOpen(const std::string& path, bool forWriting);

// The file a symbolic link at path points to; path itself for anything else.
std::string ResolveLink(const std::string& path);

// A device or FIFO opened for writing straight through. A FIFO nobody reads
// gives ENXIO rather than blocking.
std::FILE* OpenDevice(const std::string& path, int* error);

// A new file of a unique name made from `prefix` (in its directory), open
// for binary writing; `model` is the file it will replace ("" for none),
// whose permissions it takes. *name is set to its path.
std::FILE* CreateTemporaryFile(const std::string& prefix, const std::string& model,
                               std::string* name, int* error);

// An existing file open for binary reading.
std::FILE* OpenForReading(const std::string& path, int* error);

// A new or truncated file open for binary writing.
std::FILE* OpenForWriting(const std::string& path, int* error);

// Writes the stream's buffer out and waits until the disk has it.
int FlushToDisk(std::FILE* file);

// Renames `from` over `to` (a file replaces a file; a directory takes a name
// that is free) in one step, on the disk when this returns.
int MoveIntoPlace(const std::string& from, const std::string& to);

// Makes renames inside directory durable where the system needs that apart.
void SyncDirectory(const std::string& directory);

// A new empty directory of a unique name made from `prefix`, readable by the
// owner only until PublishDirectory gives it a new directory's permissions.
int CreateTemporaryDirectory(const std::string& prefix, std::string* name);
void PublishDirectory(const std::string& directory);

void RemoveFile(const std::string& path);
void RemoveEmptyDirectory(const std::string& path);

// A name of the directory `directory` that can stand for it while the
// returned handle (-1: none) is open, or "" when the system has none.
// CloseDirectoryAlias(handle) ends it.
std::string OpenDirectoryAlias(const std::string& directory, int* handle);
void CloseDirectoryAlias(int handle);

}  // namespace pocketmidi::cli::host
