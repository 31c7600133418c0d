#pragma once
// Directory search in the manner of find-first / find-next / close.
#include <cstdint>
#include <string>

namespace platform {

enum FileAttribute : uint32_t {
  AttributeReadOnly = 1,       // not writable by this process
  AttributeHidden = 2,         // the name starts with "."
  AttributeDirectory = 16,     // a directory, symbolic links followed
  AttributeReparsePoint = 1024 // a symbolic link
};

struct FindData {
  std::string name;         // the entry's name, without its folder
  uint32_t attributes = 0;  // FileAttribute bits
  uint64_t device = 0;      // identity of what the entry leads to (links followed), 0 when unknown
  uint64_t inode = 0;
};

// How much a search finds out about each entry.
enum class FindDetail {
  Full,  // every attribute bit and the identity of every entry
  Basic  // no read-only bit; identity only for directories; no system call for plain files
};

// The last path component of a pattern may hold "*" (any run of characters) and "?" (one
// character); "*.*" matches every name, dotless ones too. Without wildcards the pattern names one
// entry, found when it exists (a dangling link counts). Wildcard searches return "." and "..".
class FileSearch {
 public:
  FileSearch() = default;
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;
  ~FileSearch() { Close(); }

  // Starts a search; false when nothing matches or the folder cannot be read.
  bool First(const char* pattern, FindData* data, FindDetail detail = FindDetail::Full);
  // The next match; false at the end.
  bool Next(FindData* data);
  void Close();

 private:
  bool Fill(const char* name, unsigned char type, FindData* data) const;

  void* dir_ = nullptr;  // DIR*
  std::string folder_;   // with a trailing "/"
  std::string pattern_;  // the last component
  FindDetail detail_ = FindDetail::Full;
};

// Device and inode of what a path leads to (links followed); false when it cannot be reached.
bool PathIdentity(const char* path, uint64_t* device, uint64_t* inode);

// True when name matches a pattern of "*" and "?" (multi-byte characters taken whole).
bool MatchesPattern(const char* pattern, const char* name);

}  // namespace platform
