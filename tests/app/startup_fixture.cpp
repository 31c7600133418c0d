#include "startup_fixture.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <fstream>
#include <iterator>

#include "app/program.h"
#include "platform/process.h"
#include "single/encoder_type.h"

namespace apptest {

void StartupTest::SetUp() {
  TempDirTest::SetUp();
  savedDirectory_ = platform::CurrentDirectory();
  Reset();
}

void StartupTest::TearDown() {
  DropWindows();
  server.reset();
  platform::SetCurrentDirectory(savedDirectory_);
  TempDirTest::TearDown();
}

void StartupTest::Reset() {
  DropWindows();
  programDirectory = PathIn("bin" + std::to_string(runs_++));
  ASSERT_EQ(mkdir(programDirectory.c_str(), 0755), 0);
  app::ProgramDirectory = programDirectory;
  app::GdiplusToken = 0;
  app::VersionMarker.clear();
  app::LatestVersionText.clear();
  single::EncoderType = 0;
  services = std::make_unique<platform::ScriptedServices>();
}

void StartupTest::Serve(const testsupport::HttpAnswer& answer) {
  Serve([answer](const std::string& path) {
    return path == "/xz.txt" ? answer : testsupport::LoopbackHttpServer::Answer(404, "not found");
  });
}

void StartupTest::Serve(testsupport::LoopbackHttpServer::Handler handler) {
  server = std::make_unique<testsupport::LoopbackHttpServer>(std::move(handler));
  ASSERT_TRUE(server->Started());
  app::SiteAddress = server->Url();
}

void StartupTest::ServeNothing() {
  server.reset();
  app::SiteAddress =
      "http://127.0.0.1:" + std::to_string(testsupport::LoopbackHttpServer::ClosedPort());
}

std::optional<int> StartupTest::Start() {
  return services->RunUntilEnd([this] { app::StartMainWindow(*services); });
}

app::MainWindow* StartupTest::Window() const {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = dynamic_cast<app::MainWindow*>(widget)) return window;
  }
  return nullptr;
}

void StartupTest::DropWindows() {
  while (app::MainWindow* window = Window()) delete window;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

namespace {

std::vector<uint8_t> Read(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::vector<uint8_t> BuiltSkinLibrary() {
  return Read(ZEPHLORA_TEST_SKIN_LIBRARY);
}

std::vector<uint8_t> BuiltSkinFile() {
  return Read(ZEPHLORA_TEST_SKIN_FILE);
}

std::string SkinStyleSheet() {
  const auto bytes = Read(ZEPHLORA_TEST_SKIN_SHEET);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace apptest
