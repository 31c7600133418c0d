#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace platform {

void* LoadFirstLibrary(const std::vector<std::string>& places, std::string* loadedFrom) {
  for (const std::string& place : places) {
    if (place.empty()) continue;
    if (void* library = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (loadedFrom != nullptr) *loadedFrom = place;
      return library;
    }
    dlerror();  // drop the failure text so it cannot be mistaken for a later one
  }
  return nullptr;
}

void* FindEntryPoint(void* library, const std::string& entry) {
  if (library == nullptr || entry.empty()) return nullptr;
  dlerror();
  void* address = dlsym(library, entry.c_str());
  return dlerror() == nullptr ? address : nullptr;
}

}  // namespace platform
