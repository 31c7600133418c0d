#pragma once
// The process's own file and current directory.
#include <string>

namespace platform {

// Full path of the running program's file ("" when it cannot be read).
std::string ProgramFilePath();

// The folder part of a path, without a final "/": "" for a file in "/".
std::string FolderOfPath(const std::string& path);

// "" stands for the root. True on success.
bool SetCurrentDirectory(const std::string& path);
std::string CurrentDirectory();

}  // namespace platform
