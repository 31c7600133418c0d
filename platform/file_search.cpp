#include "platform/file_search.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/codepage.h"

namespace platform {

bool MatchesPattern(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0) return true;
  // Greedy matching with one backtrack point for the last "*": linear for ordinary patterns.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != 0) {
    if (*pattern == '*') {
      star = ++pattern;
      resume = name;
      continue;
    }
    const int nameLength = CharLength(name);
    const int patternLength = CharLength(pattern);
    if (*pattern == '?' ||
        (patternLength == nameLength && patternLength > 0 &&
         std::memcmp(pattern, name, static_cast<size_t>(nameLength)) == 0)) {
      pattern += (*pattern == '?') ? 1 : patternLength;
      name += nameLength;
      continue;
    }
    if (star == nullptr) return false;
    pattern = star;
    resume += CharLength(resume);
    name = resume;
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

bool PathIdentity(const char* path, uint64_t* device, uint64_t* inode) {
  struct stat info;
  if (path == nullptr || stat(path, &info) != 0) return false;
  *device = static_cast<uint64_t>(info.st_dev);
  *inode = static_cast<uint64_t>(info.st_ino);
  return true;
}

static bool HasWildcard(const char* text) {
  return std::strpbrk(text, "*?") != nullptr;
}

bool FileSearch::Fill(const char* name, unsigned char type, FindData* data) const {
  if (detail_ == FindDetail::Basic && type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN) {
    // The directory entry already tells all a basic search needs: not a folder, not a link.
    data->name = name;
    data->attributes = name[0] == '.' ? uint32_t{AttributeHidden} : 0u;
    data->device = 0;
    data->inode = 0;
    return true;
  }
  const std::string path = folder_ + name;
  struct stat linkInfo;
  if (lstat(path.c_str(), &linkInfo) != 0) return false;
  struct stat info;
  const bool followed = stat(path.c_str(), &info) == 0;
  const struct stat& target = followed ? info : linkInfo;

  uint32_t attributes = 0;
  if (S_ISDIR(target.st_mode)) attributes |= AttributeDirectory;
  if (name[0] == '.') attributes |= AttributeHidden;
  if (S_ISLNK(linkInfo.st_mode)) attributes |= AttributeReparsePoint;
  if (detail_ == FindDetail::Full && access(path.c_str(), W_OK) != 0 &&
      (errno == EACCES || errno == EROFS)) {
    attributes |= AttributeReadOnly;
  }

  data->name = name;
  data->attributes = attributes;
  data->device = static_cast<uint64_t>(target.st_dev);
  data->inode = static_cast<uint64_t>(target.st_ino);
  return true;
}

bool FileSearch::First(const char* pattern, FindData* data, FindDetail detail) {
  Close();
  detail_ = detail;
  if (pattern == nullptr || pattern[0] == 0) return false;
  const char* slash = std::strrchr(pattern, '/');
  const char* last = slash != nullptr ? slash + 1 : pattern;
  if (*last == 0) return false;  // "dir/" names no entry
  folder_ = slash != nullptr ? std::string(pattern, static_cast<size_t>(last - pattern)) : "";
  pattern_ = last;

  if (!HasWildcard(last)) {
    // One lstat, not a folder listing: probing for free temporary names relies on this.
    return Fill(last, DT_UNKNOWN, data);
  }

  DIR* dir = opendir(folder_.empty() ? "." : folder_.c_str());
  if (dir == nullptr) return false;
  dir_ = dir;
  if (Next(data)) return true;
  Close();
  return false;
}

bool FileSearch::Next(FindData* data) {
  if (dir_ == nullptr) return false;
  auto* dir = static_cast<DIR*>(dir_);
  while (const dirent* entry = readdir(dir)) {
    if (!MatchesPattern(pattern_.c_str(), entry->d_name)) continue;
    // An entry that vanished between readdir and lstat is passed over.
    if (Fill(entry->d_name, entry->d_type, data)) return true;
  }
  return false;
}

void FileSearch::Close() {
  if (dir_ != nullptr) closedir(static_cast<DIR*>(dir_));
  dir_ = nullptr;
  folder_.clear();
  pattern_.clear();
  detail_ = FindDetail::Full;
}

}  // namespace platform
