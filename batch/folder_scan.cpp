#include "batch/folder_scan.h"

#include <cstdint>
#include <set>
#include <utility>

#include "platform/file_search.h"

namespace {

constexpr char kSeparator = '/';

// Byte offset of the first c at or after start, stepping over multi-byte characters;
// npos when there is none.
size_t FindByte(const std::string& text, char c, size_t start, platform::CodePage codePage) {
  for (size_t i = start; i < text.size();) {
    if (text[i] == c) return i;
    const int length = platform::CharLength(text.c_str() + i, codePage);
    i += length > 0 ? static_cast<size_t>(length) : 1;  // an embedded zero byte counts as one
  }
  return std::string::npos;
}

using Identity = std::pair<uint64_t, uint64_t>;

bool IsPictureName(const std::string& name) {
  const std::string part = SecondDotPart(name);
  return part == "jpg" || part == "bmp" || part == "gif";
}

void ScanInto(std::string folder, std::vector<std::string>* found, std::set<Identity>* entered) {
  if (folder.empty() || folder.back() != kSeparator) folder += kSeparator;
  const std::string pattern = folder + "*.*";

  platform::FileSearch search;
  platform::FindData entry;
  for (bool more = search.First(pattern.c_str(), &entry, platform::FindDetail::Basic); more;
       more = search.Next(&entry)) {
    if ((entry.attributes & platform::AttributeDirectory) == 0 && IsPictureName(entry.name)) {
      found->push_back(folder + entry.name);
    }
  }
  for (bool more = search.First(pattern.c_str(), &entry, platform::FindDetail::Basic); more;
       more = search.Next(&entry)) {
    if ((entry.attributes & platform::AttributeDirectory) == 0 || entry.name[0] == '.') continue;
    if (!entered->insert({entry.device, entry.inode}).second) continue;
    ScanInto(folder + entry.name, found, entered);
  }
}

}  // namespace

std::string SecondDotPart(const std::string& name, platform::CodePage codePage) {
  const size_t first = FindByte(name, '.', 0, codePage);
  if (first == std::string::npos) return "";
  const size_t second = FindByte(name, '.', first + 1, codePage);
  return name.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

std::string FileNameOf(const std::string& path, platform::CodePage codePage) {
  size_t last = std::string::npos;
  for (size_t at = FindByte(path, kSeparator, 0, codePage); at != std::string::npos;
       at = FindByte(path, kSeparator, at + 1, codePage)) {
    last = at;
  }
  return last == std::string::npos ? path : path.substr(last + 1);
}

void ScanFolder(const std::string& folder, std::vector<std::string>* found) {
  std::set<Identity> entered;
  uint64_t device, inode;
  const std::string start = folder.empty() ? std::string(1, kSeparator) : folder;
  if (platform::PathIdentity(start.c_str(), &device, &inode)) entered.insert({device, inode});
  ScanInto(folder, found, &entered);
}
