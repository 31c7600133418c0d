#pragma once
// The services of a real desktop: Qt dialogs and message boxes, the desktop's URL handler,
// libcurl, dlopen. Needs a QApplication for everything but FetchUrlBytes.
#include "platform/services.h"

namespace platform {

// Sets up the toolkit's environment; call before the QApplication is made. Chromium (the web
// view) refuses to start as root without --no-sandbox, and on a machine without network its
// background requests only cost time.
void PrepareToolkit();

// Keeps the web view's routine chatter (its start-up report, page console messages) off the
// console; other toolkit messages pass through.
void QuietToolkitMessages();

// Qt's filter syntax for the "name|patterns|name|patterns" form.
std::string QtFileFilter(const std::string& filter);

class DesktopServices : public Services {
 public:
  std::string PickFolder(const std::string& title) override;
  OpenFileAnswer OpenFile(const std::string& filter) override;
  void OpenUrl(const std::string& url) override;
  void Explore(const std::string& folder) override;
  std::vector<uint8_t> FetchUrlBytes(const std::string& url) override;

 protected:
  int ShowMessage(const std::string& text, int style, const std::string& title) override;
  [[noreturn]] void EndProcess(int code, bool orderly) override;
};

}  // namespace platform
