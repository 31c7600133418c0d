#pragma once
// A growable narrow text whose character operations take multi-byte characters whole.
#include <cstdint>

#include "platform/codepage.h"

class TextBuffer {
 public:
  explicit TextBuffer(platform::CodePage codePage = platform::SystemCodePage())
      : codePage_(codePage) {}
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  ~TextBuffer() { Clear(); }

  // Each returns 1 on success and 0 otherwise; an empty text is a failed Assign.
  int Assign(const char* text);
  int Assign(const TextBuffer& other);
  int Append(const char* text);
  int AppendNumber(int32_t number);
  // start is 1-based and counts characters, as does count.
  int Mid(TextBuffer* result, int start, int count) const;
  int Left(TextBuffer* result, int n) const;
  int Right(TextBuffer* result, int n) const;
  int Equals(const char* text, bool ignoreCase) const;
  void Clear();

  // Never null: "" when empty.
  const char* Text() const { return data_ != nullptr ? data_ : ""; }
  int Length() const { return length_; }  // characters
  int Size() const { return size_; }      // bytes with the terminating zero; 0 when empty
  bool Empty() const { return size_ == 0; }
  platform::CodePage CodePage() const { return codePage_; }

 private:
  int Take(char* block, int bytes);  // adopts a zero-terminated calloc block
  int CountCharacters() const;

  char* data_ = nullptr;
  int length_ = 0;
  int size_ = 0;
  platform::CodePage codePage_;
};
