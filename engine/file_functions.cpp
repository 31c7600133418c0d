#include "engine/file_functions.h"

#include <string>

#include "engine/text_buffer.h"
#include "platform/file_search.h"
#include "platform/files.h"

namespace {
// Kept as the highest number tried; it is what the store has always used.
constexpr long kLastTempNumber = 2047483647L;
const char kSeparatorText[] = {kPathSeparator, 0};
}  // namespace

int FileExists(const char* path) {
  platform::FileSearch search;
  platform::FindData data;
  return search.First(path, &data) ? 1 : 0;
}

int IsDirectory(const char* path) {
  TextBuffer trimmed;
  if (trimmed.Assign(path) == 0) return 0;
  RemoveTrailingBackslash(&trimmed);
  platform::FileSearch search;
  platform::FindData data;
  if (!search.First(trimmed.Text(), &data)) return 0;
  return (data.attributes & platform::AttributeDirectory) != 0 ? 1 : 0;
}

int DeleteFileIfExists(const char* path) {
  if (FileExists(path) == 0) return 1;
  return platform::DeleteFilePath(path) ? 1 : 0;
}

long StreamSize(FILE* stream) {
  if (stream == nullptr) return 0;
  if (fseek(stream, 0, SEEK_END) != 0) return 0;
  const long size = ftell(stream);
  if (fseek(stream, 0, SEEK_SET) != 0 || size < 0) return 0;
  return size;
}

int MakeTempFileName(TextBuffer* result, const char* prefix, const char* directory, long first,
                     long* number) {
  if (result == nullptr) return 0;
  TextBuffer folder;
  if (directory != nullptr && directory[0] != 0) {
    folder.Assign(directory);
  } else {
    const std::string temporary = platform::TemporaryPath();
    if (folder.Assign(temporary.c_str()) == 0) return 0;
  }
  if (IsDirectory(folder.Text()) == 0) return 0;
  AddTrailingBackslash(&folder);

  TextBuffer candidate(result->CodePage());
  for (long n = first < 0 ? 0 : first; n <= kLastTempNumber; ++n) {
    candidate.Assign(folder);
    if (prefix != nullptr) candidate.Append(prefix);
    candidate.AppendNumber(static_cast<int32_t>(n));
    candidate.Append(".tmp");
    if (FileExists(candidate.Text()) == 0) {
      if (number != nullptr) *number = n;
      return result->Assign(candidate);
    }
  }
  return 0;
}

int AddTrailingBackslash(TextBuffer* path) {
  TextBuffer last(path->CodePage());
  if (path->Right(&last, 1) != 0 && last.Equals(kSeparatorText, true) != 0) return 1;
  path->Append(kSeparatorText);
  return 1;
}

int RemoveTrailingBackslash(TextBuffer* path) {
  if (path->Empty()) return 0;
  TextBuffer last(path->CodePage());
  if (path->Right(&last, 1) != 0 && last.Equals(kSeparatorText, false) != 0) {
    if (path->Length() == 1) {
      path->Clear();
    } else {
      path->Left(path, path->Length() - 1);
    }
  }
  return 1;
}
