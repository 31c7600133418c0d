#pragma once
// Loading a shared library and finding an entry point by name.
#include <string>
#include <vector>

namespace platform {

// Loads the first of places that loads: a path (with a "/"), or a bare file name for the
// system's search (the program's RUNPATH, LD_LIBRARY_PATH, the linker cache, the system
// folders). Returns the library handle and sets loadedFrom, or nullptr. Never unloaded.
void* LoadFirstLibrary(const std::vector<std::string>& places, std::string* loadedFrom);

// The address of entry in a loaded library, nullptr when it has none.
void* FindEntryPoint(void* library, const std::string& entry);

}  // namespace platform
