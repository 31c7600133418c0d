#pragma once
// File services of the engine's storage: deletion, the temporary folder, mapped backing files.
#include <cstddef>
#include <string>

namespace platform {

// $TMPDIR when set and not empty, else "/tmp". Never ends in "/" unless it is "/".
std::string TemporaryPath();

// True when the path, links followed, is a regular file: not a folder, pipe, socket or device.
bool IsRegularFile(const char* path);

// Removes a file or a symbolic link (never what a link points to). True on success.
bool DeleteFilePath(const char* path);

enum class CreateResult { Created, NameTaken, Failed };

// Creates a new file for reading and writing with mode 0600. Never follows a symbolic link and
// never opens an existing entry: a taken name gives NameTaken. fd is set only when Created.
CreateResult CreateExclusiveFile(const char* path, int* fd);

// Grows or shrinks an open file to size bytes; new bytes read as zero.
bool ResizeFile(int fd, size_t size);

// Maps size bytes of an open file shared and writable; nullptr on failure.
void* MapFile(int fd, size_t size);
// Makes a range of a shared mapping present and writable in one call, which costs far less than
// a fault per page, and claims its room in the file: false when there is none (a full disk),
// where writing to the range would end the process with SIGBUS.
bool PrepareForWriting(void* address, size_t bytes);
void UnmapFile(void* view, size_t size);

// Schedules a written range of a mapping for the disk without waiting for it.
bool FlushView(void* address, size_t bytes);

void CloseFile(int fd);

}  // namespace platform
