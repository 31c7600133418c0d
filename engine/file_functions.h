#pragma once
// The engine's stateless file helpers. Paths use the platform separator, "/".
#include <cstdio>

class TextBuffer;

constexpr char kPathSeparator = '/';

// 1 when a directory search finds anything for the path: a file, a folder or a wildcard match.
int FileExists(const char* path);
// 1 when the path, less one trailing separator, is found and is a directory.
int IsDirectory(const char* path);
// 1 when nothing was there or the entry was deleted.
int DeleteFileIfExists(const char* path);
// Size of an open stream, left at offset 0; 0 for a null stream or a failed seek.
long StreamSize(FILE* stream);
// The first name directory + prefix + n + ".tmp" that does not exist, n counting from first.
// directory null or empty: the system's temporary folder. The name is only chosen, not created.
int MakeTempFileName(TextBuffer* result, const char* prefix, const char* directory,
                     long first = 0, long* number = nullptr);
int AddTrailingBackslash(TextBuffer* path);
int RemoveTrailingBackslash(TextBuffer* path);
