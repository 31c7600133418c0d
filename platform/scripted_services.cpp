#include "platform/scripted_services.h"

#include "platform/http_fetch.h"

namespace platform {

namespace {

template <typename T>
bool TakeFirst(std::vector<T>& queue, T* answer) {
  if (queue.empty()) return false;
  *answer = queue.front();
  queue.erase(queue.begin());
  return true;
}

// What a user who backs out of the box would end up with.
int CancellingAnswer(int style) {
  switch (style & 0xF) {
    case MessageOkCancel:
    case MessageYesNoCancel:
    case MessageRetryCancel:
      return AnswerCancel;
    case MessageAbortRetryIgnore:
      return AnswerAbort;
    case MessageYesNo:
      return AnswerNo;
    default:
      return AnswerOk;
  }
}

ScriptedServices::Event MakeEvent(ScriptedServices::Kind kind, const std::string& text = "",
                                  const std::string& title = "") {
  ScriptedServices::Event event;
  event.kind = kind;
  event.text = text;
  event.title = title;
  return event;
}

}  // namespace

void ScriptedServices::QueueMessageAnswer(int answer) {
  messageAnswers_.push_back(answer);
}

void ScriptedServices::QueueFolder(const std::string& path) {
  folders_.push_back(path);
}

void ScriptedServices::QueueOpenFile(const std::string& path) {
  openFiles_.push_back(OpenFileAnswer{true, path});
}

void ScriptedServices::QueueOpenFileCancel() {
  openFiles_.push_back(OpenFileAnswer{});
}

std::vector<ScriptedServices::Event> ScriptedServices::EventsOf(Kind kind) const {
  std::vector<Event> found;
  for (const Event& event : events_) {
    if (event.kind == kind) found.push_back(event);
  }
  return found;
}

int ScriptedServices::UnscriptedCount() const {
  int count = 0;
  for (const Event& event : events_) count += event.scripted ? 0 : 1;
  return count;
}

std::optional<int> ScriptedServices::RunUntilEnd(const std::function<void()>& code) {
  try {
    code();
  } catch (const ProgramEnded& ended) {
    return ended.code;
  }
  return std::nullopt;
}

void ScriptedServices::Record(Event event) {
  events_.push_back(std::move(event));
  if (hook_) hook_(events_.back());
}

int ScriptedServices::ShowMessage(const std::string& text, int style, const std::string& title) {
  Event event = MakeEvent(Kind::MessageBox, text, title);
  event.style = style;
  event.scripted = TakeFirst(messageAnswers_, &event.code);
  if (!event.scripted) event.code = CancellingAnswer(style);
  const int answer = event.code;
  Record(std::move(event));
  return answer;
}

std::string ScriptedServices::PickFolder(const std::string& title) {
  Event event = MakeEvent(Kind::PickFolder, title);
  event.scripted = TakeFirst(folders_, &event.title);
  const std::string answer = event.title;
  Record(std::move(event));
  return answer;
}

OpenFileAnswer ScriptedServices::OpenFile(const std::string& filter) {
  OpenFileAnswer answer;
  Event event = MakeEvent(Kind::OpenFile, filter);
  event.scripted = TakeFirst(openFiles_, &answer);
  event.title = answer.path;
  event.code = answer.confirmed ? 1 : 0;
  Record(std::move(event));
  return answer;
}

void ScriptedServices::OpenUrl(const std::string& url) {
  Record(MakeEvent(Kind::OpenUrl, url));
}

void ScriptedServices::Explore(const std::string& folder) {
  Record(MakeEvent(Kind::Explore, folder));
}

std::vector<uint8_t> ScriptedServices::FetchUrlBytes(const std::string& url) {
  Record(MakeEvent(Kind::Fetch, url));
  return FetchUrlBytesOverHttp(url);
}

void ScriptedServices::EntryBound(const std::string& path, const std::string& entry) {
  Record(MakeEvent(Kind::BindEntry, path, entry));
}

void ScriptedServices::ExitRoutineRan() {
  exitRoutineHasRun_ = true;
  Record(MakeEvent(Kind::ExitRoutine));
}

void ScriptedServices::EndProcess(int code, bool orderly) {
  exitCode_ = code;
  Event event = MakeEvent(Kind::Exit);
  event.code = code;
  Record(std::move(event));
  throw ProgramEnded{code, orderly};
}

}  // namespace platform
