#pragma once
// Multi-byte character rules of the narrow code pages the program deals with.

namespace platform {

enum class CodePage { Utf8, Gbk936 };

// The narrow code page of paths and texts on this system: UTF-8 on Linux.
CodePage SystemCodePage();

// Bytes of the character that starts at p: 0 at the terminating zero, otherwise 1 or more.
// UTF-8: the length of a well-formed sequence, 1 for a stray or cut-short byte.
// Code page 936: a lead byte 0x81..0xFE takes the byte after it, unless that byte is the end.
int CharLength(const char* p, CodePage codePage = SystemCodePage());

}  // namespace platform
