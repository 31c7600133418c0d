#include "platform/services.h"

#include <cstdlib>

#include "platform/dynamic_library.h"

namespace platform {

const char* const DefaultMessageTitle = "信息：";

int Services::MessageBox(const std::string& text, int style, const std::string& title) {
  return ShowMessage(text, style, title.empty() ? DefaultMessageTitle : title);
}

void* Services::BindEntry(const std::vector<std::string>& places, const std::string& libraryName,
                          const std::string& entry) {
  std::string loadedFrom;
  void* library = LoadFirstLibrary(places, &loadedFrom);
  void* address = library != nullptr ? FindEntryPoint(library, entry) : nullptr;
  if (address != nullptr) {
    EntryBound(loadedFrom, entry);
    return address;
  }
  const std::string text =
      library == nullptr
          ? "无法加载动态链接库“" + libraryName + "”，无法调用其中的函数“" + entry +
                "”。程序将退出。"
          : "动态链接库“" + libraryName + "”中找不到函数“" + entry + "”。程序将退出。";
  ShowMessage(text, MessageOk | MessageIconError, "错误");
  EndProcess(255, false);
  std::abort();  // EndProcess never returns
}

void Services::RegisterExitRoutine(void (*routine)()) {
  exitRoutine_ = routine;
}

void Services::ExitProgram(int code) {
  if (exitRoutine_ != nullptr && !exitRoutineRan_) {
    exitRoutineRan_ = true;
    exitRoutine_();
    ExitRoutineRan();
  }
  EndProcess(code, true);
  std::abort();  // EndProcess never returns
}

}  // namespace platform
