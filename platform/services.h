#pragma once
// The desktop services the program layer asks for: message boxes, the folder picker, the
// open-file dialog, opening a URL, exploring a folder, fetching a URL, binding a library entry
// and the orderly exit. Handlers receive a Services& and never call the toolkit themselves.
//
// Two implementations: DesktopServices (platform/desktop_services.h, Qt, libcurl, dlopen) for
// the program, and ScriptedServices (platform/scripted_services.h) for tests, which answers
// dialogs from queues and records everything in order.
//
// Texts are UTF-8 byte strings, paths use "/".
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Message box styles: the buttons in the low four bits, the icon in the next four.
enum MessageStyle : int {
  MessageOk = 0,
  MessageOkCancel = 1,
  MessageAbortRetryIgnore = 2,
  MessageYesNoCancel = 3,
  MessageYesNo = 4,
  MessageRetryCancel = 5,
  MessageIconError = 16,
  MessageIconQuestion = 32,
  MessageIconWarning = 48,
  MessageIconInformation = 64
};

// The button that ended a message box.
enum MessageAnswer : int {
  AnswerOk = 0,
  AnswerCancel = 1,
  AnswerAbort = 2,
  AnswerRetry = 3,
  AnswerIgnore = 4,
  AnswerYes = 5,
  AnswerNo = 6
};

// Title of a message box that is given none.
extern const char* const DefaultMessageTitle;  // "信息："

struct OpenFileAnswer {
  bool confirmed = false;
  std::string path;  // full path of the chosen file when confirmed
};

class Services {
 public:
  virtual ~Services() = default;

  // Shows a task-modal message box with no owner; returns a MessageAnswer. An empty title
  // means DefaultMessageTitle.
  int MessageBox(const std::string& text, int style = MessageOk, const std::string& title = "");

  // Folder picker with the given title: the chosen folder, "" when cancelled.
  virtual std::string PickFolder(const std::string& title) = 0;

  // Open-file dialog for existing files. filter is in the "name|patterns|name|patterns" form,
  // patterns separated by ";", such as "(*.bmp;*.jpg)|*.bmp;*.jpg".
  virtual OpenFileAnswer OpenFile(const std::string& filter) = 0;

  // The shell's "open" of a URL; never waited for, outcome ignored.
  virtual void OpenUrl(const std::string& url) = 0;

  // The shell's "explore" of a folder; never waited for, outcome ignored.
  virtual void Explore(const std::string& folder) = 0;

  // One GET of the URL; the body whatever the status, the bytes so far on a broken transfer,
  // nothing for an empty URL or a failed request.
  virtual std::vector<uint8_t> FetchUrlBytes(const std::string& url) = 0;

  // Loads the first of places that loads (a path, or a bare name for the system's search) and
  // returns the entry point. When none loads, or it lacks the entry, a fatal message box names
  // libraryName and entry, and the process ends with code 255 without the exit routine.
  void* BindEntry(const std::vector<std::string>& places, const std::string& libraryName,
                  const std::string& entry);

  // The routine that an orderly exit runs once before the process ends.
  void RegisterExitRoutine(void (*routine)());

  // Orderly exit: runs the exit routine (once), then ends the process with code.
  [[noreturn]] void ExitProgram(int code);

 protected:
  virtual int ShowMessage(const std::string& text, int style, const std::string& title) = 0;
  // Records a successful binding (the scripted services log it); the default does nothing.
  virtual void EntryBound(const std::string& /*path*/, const std::string& /*entry*/) {}
  // Called once when the exit routine has run (the scripted services log it).
  virtual void ExitRoutineRan() {}
  // Ends the process with code; never returns. orderly tells whether the exit routine ran.
  [[noreturn]] virtual void EndProcess(int code, bool orderly) = 0;

 private:
  void (*exitRoutine_)() = nullptr;
  bool exitRoutineRan_ = false;
};

}  // namespace platform
