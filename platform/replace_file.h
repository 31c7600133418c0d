#pragma once
// Writing a whole file so that its old content is replaced, never cut short in place.
#include <cstddef>
#include <string>

namespace platform {

// Writes size bytes to a new file beside path and renames it over path. A program that has
// the old file mapped (a loaded library) keeps it intact; a failed write leaves the old file
// whole and leaves no temporary file behind. True when path now holds the bytes.
bool ReplaceFileContents(const std::string& path, const void* data, size_t size);

}  // namespace platform
