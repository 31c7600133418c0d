#pragma once
// Runs the program's start-up inside a test: the program folder is a fresh folder of the test,
// the site a loopback server of the test, the desktop the scripted services.
#include <QPointer>
#include <memory>
#include <optional>
#include <string>

#include "app/main_window.h"
#include "platform/scripted_services.h"
#include "support/loopback_http_server.h"
#include "support/test_support.h"

namespace apptest {

class StartupTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fresh program folder, fresh services and the program-wide state as at process start.
  void Reset();
  // Serves xz.txt (and nothing else) with answer.
  void Serve(const testsupport::HttpAnswer& answer);
  void Serve(testsupport::LoopbackHttpServer::Handler handler);
  void ServeNothing();
  // The start-up of the process, from the current directory on; the exit code when it ended.
  std::optional<int> Start();
  // The main window, whether or not start-up returned it.
  app::MainWindow* Window() const;
  // Deletes every main window without closing it, as the end of a process would.
  void DropWindows();

  std::string programDirectory;
  std::unique_ptr<platform::ScriptedServices> services;
  std::unique_ptr<testsupport::LoopbackHttpServer> server;

 private:
  std::string savedDirectory_;
  int runs_ = 0;
};

std::vector<uint8_t> BuiltSkinLibrary();
std::vector<uint8_t> BuiltSkinFile();
std::string SkinStyleSheet();

}  // namespace apptest
