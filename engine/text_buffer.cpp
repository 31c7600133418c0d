#include "engine/text_buffer.h"

#include <strings.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void TextBuffer::Clear() {
  std::free(data_);
  data_ = nullptr;
  length_ = 0;
  size_ = 0;
}

int TextBuffer::CountCharacters() const {
  int count = 0;
  for (const char* p = Text(); *p != 0; p += platform::CharLength(p, codePage_)) ++count;
  return count;
}

int TextBuffer::Take(char* block, int bytes) {
  std::free(data_);
  data_ = block;
  size_ = bytes + 1;
  length_ = CountCharacters();
  return 1;
}

int TextBuffer::Assign(const char* text) {
  if (text == nullptr || text[0] == 0) {
    Clear();
    return 0;
  }
  const size_t bytes = std::strlen(text);
  // The new block is filled before the old one is freed, so text may point into this buffer.
  char* block = bytes < INT_MAX ? static_cast<char*>(std::calloc(bytes + 1, 1)) : nullptr;
  if (block == nullptr) {
    Clear();
    return 0;
  }
  std::memcpy(block, text, bytes);
  return Take(block, static_cast<int>(bytes));
}

int TextBuffer::Assign(const TextBuffer& other) {
  if (&other == this) return Empty() ? 0 : 1;
  return Assign(other.Text());
}

int TextBuffer::Append(const char* text) {
  if (Empty()) return Assign(text);
  if (text == nullptr || text[0] == 0) return 0;
  const size_t added = std::strlen(text);
  const size_t current = static_cast<size_t>(size_ - 1);
  if (added > static_cast<size_t>(INT_MAX - size_)) return 0;
  char* block = static_cast<char*>(std::calloc(current + added + 1, 1));
  if (block == nullptr) return 0;
  std::memcpy(block, data_, current);
  std::memcpy(block + current, text, added);
  return Take(block, static_cast<int>(current + added));
}

int TextBuffer::AppendNumber(int32_t number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(number));
  return Append(digits);
}

int TextBuffer::Mid(TextBuffer* result, int start, int count) const {
  if (Empty() || result == nullptr) return 0;
  const char* p = Text();
  if (start < 1) {
    p += std::strlen(p);  // a start below 1 skips the whole text
  } else {
    for (int skipped = 1; skipped < start && *p != 0; ++skipped) {
      p += platform::CharLength(p, codePage_);
    }
  }
  const char* end = p;
  for (int taken = 0; taken < count && *end != 0; ++taken) {
    end += platform::CharLength(end, codePage_);
  }
  const size_t bytes = static_cast<size_t>(end - p);
  if (bytes == 0) {
    result->Clear();
    return 0;
  }
  char* block = static_cast<char*>(std::calloc(bytes + 1, 1));
  if (block == nullptr) {
    result->Clear();
    return 0;
  }
  std::memcpy(block, p, bytes);
  // result may be this buffer: the piece is copied out before it is adopted.
  return result->Take(block, static_cast<int>(bytes));
}

int TextBuffer::Left(TextBuffer* result, int n) const {
  if (n > length_) return 0;
  return Mid(result, 1, n);
}

int TextBuffer::Right(TextBuffer* result, int n) const {
  if (n > length_) return 0;
  return Mid(result, length_ - n + 1, n);
}

int TextBuffer::Equals(const char* text, bool ignoreCase) const {
  if (text == nullptr) text = "";
  return (ignoreCase ? strcasecmp(Text(), text) : std::strcmp(Text(), text)) == 0 ? 1 : 0;
}
