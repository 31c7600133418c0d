#pragma once
// Services for tests: a desktop that answers from queues and writes down everything.
//
//   platform::ScriptedServices services;
//   services.QueueFolder("/tmp/in");          // next folder picker answers this
//   services.QueueMessageAnswer(platform::AnswerYes);
//   single::OnButton4Clicked(window, services);
//   EXPECT_EQ(services.Events()[0].kind, platform::ScriptedServices::Kind::PickFolder);
//   EXPECT_EQ(services.Messages().size(), 1u);
//
// Dialogs take the next queued answer of their kind. With an empty queue they give the answer of
// a user who cancels (message box: OK for boxes with an OK button, otherwise Cancel or No;
// folder picker ""; open-file dialog not confirmed) and the event is marked unscripted, so a test
// can check UnscriptedCount() == 0.
//
// OpenUrl and Explore are only recorded. FetchUrlBytes is recorded and then really made with
// the HTTP client (tests serve their own loopback site). BindEntry really loads the library.
//
// ExitProgram runs the exit routine, records the exit and throws ProgramEnded; a failed
// BindEntry records its fatal message box and throws ProgramEnded{255, false}. Wrap start-up
// code that may end the program in RunUntilEnd().
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/services.h"

namespace platform {

// Thrown by ScriptedServices where the real program would have ended.
struct ProgramEnded {
  int code;
  bool orderly;  // the exit routine ran
};

class ScriptedServices : public Services {
 public:
  enum class Kind { MessageBox, PickFolder, OpenFile, OpenUrl, Explore, Fetch, BindEntry, ExitRoutine, Exit };

  struct Event {
    Kind kind = Kind::MessageBox;
    // MessageBox: the text; PickFolder: the title; OpenFile: the filter; OpenUrl: the URL;
    // Explore: the folder; Fetch: the URL; BindEntry: the library path that was loaded.
    std::string text;
    // MessageBox: the title as shown (the default filled in); BindEntry: the entry point;
    // PickFolder and OpenFile: the path answered.
    std::string title;
    int style = 0;         // MessageBox: the style
    int code = 0;          // MessageBox: the answer; OpenFile: 1 confirmed; Exit: the exit code
    bool scripted = true;  // false when a dialog found its queue empty
  };

  void QueueMessageAnswer(int answer);
  void QueueFolder(const std::string& path);  // "" answers as a cancelled picker
  void QueueOpenFile(const std::string& path);
  void QueueOpenFileCancel();

  // Everything so far, in order.
  const std::vector<Event>& Events() const { return events_; }
  std::vector<Event> EventsOf(Kind kind) const;
  std::vector<Event> Messages() const { return EventsOf(Kind::MessageBox); }
  int UnscriptedCount() const;
  void ClearEvents() { events_.clear(); }

  // Called right after each event is recorded, before the call returns (or throws).
  void SetEventHook(std::function<void(const Event&)> hook) { hook_ = std::move(hook); }

  // Runs code; returns the exit code when it ended the program, nothing when it returned.
  std::optional<int> RunUntilEnd(const std::function<void()>& code);
  std::optional<int> ExitCode() const { return exitCode_; }
  bool ExitRoutineHasRun() const { return exitRoutineHasRun_; }

  std::string PickFolder(const std::string& title) override;
  OpenFileAnswer OpenFile(const std::string& filter) override;
  void OpenUrl(const std::string& url) override;
  void Explore(const std::string& folder) override;
  std::vector<uint8_t> FetchUrlBytes(const std::string& url) override;

 protected:
  int ShowMessage(const std::string& text, int style, const std::string& title) override;
  void EntryBound(const std::string& path, const std::string& entry) override;
  void ExitRoutineRan() override;
  [[noreturn]] void EndProcess(int code, bool orderly) override;

 private:
  void Record(Event event);

  std::vector<Event> events_;
  std::vector<int> messageAnswers_;
  std::vector<std::string> folders_;
  std::vector<OpenFileAnswer> openFiles_;
  std::function<void(const Event&)> hook_;
  std::optional<int> exitCode_;
  bool exitRoutineHasRun_ = false;
};

}  // namespace platform
