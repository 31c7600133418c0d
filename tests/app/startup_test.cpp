#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>

#include "app/main_window.h"
#include "app/program.h"
#include "platform/process.h"
#include "single/encoder_type.h"
#include "startup_fixture.h"
#include "support/test_support.h"

namespace apptest {
namespace {

using Kind = platform::ScriptedServices::Kind;
using testsupport::LoopbackHttpServer;
using testsupport::ReadFileBytes;

TEST_F(StartupTest, PreparesEverythingInOrderBeforeTheUpdateCheckThenShowsTheWindow) {
  Serve(LoopbackHttpServer::Answer(200, "2"));
  // A start from elsewhere: the program folder becomes the current directory.
  ASSERT_TRUE(platform::SetCurrentDirectory(TempDir()));
  bool checkedAtFetch = false;
  services->SetEventHook([&](const platform::ScriptedServices::Event& event) {
    if (event.kind != Kind::Fetch) return;
    checkedAtFetch = true;
    EXPECT_NE(app::GdiplusToken, 0u);
    EXPECT_EQ(single::EncoderType, 5);
    EXPECT_EQ(ReadFileBytes(programDirectory + "/SkinH_EL.dll"), BuiltSkinLibrary());
    EXPECT_EQ(ReadFileBytes(programDirectory + "/cc.she"), BuiltSkinFile());
    // The skin was attached from the program folder, with the password that unscrambles it.
    EXPECT_EQ(qApp->property("SkinH.skinFile").toString().toStdString(), programDirectory + "/cc.she");
    EXPECT_EQ(qApp->styleSheet().toStdString(), SkinStyleSheet());
    ASSERT_NE(Window(), nullptr);
    EXPECT_FALSE(Window()->isVisible());
    EXPECT_EQ(platform::CurrentDirectory(), programDirectory);
  });
  qApp->setStyleSheet(QString());
  qApp->setProperty("SkinH.skinFile", QVariant());

  EXPECT_EQ(Start(), std::nullopt);
  EXPECT_TRUE(checkedAtFetch);
  const auto& events = services->Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, Kind::BindEntry);
  EXPECT_EQ(events[0].text, programDirectory + "/SkinH_EL.dll");
  EXPECT_EQ(events[0].title, "SkinH_AttachEx");
  EXPECT_EQ(events[1].kind, Kind::Fetch);
  EXPECT_EQ(events[1].text, server->Url() + "/xz.txt");
  ASSERT_NE(Window(), nullptr);
  EXPECT_TRUE(Window()->isVisible());
  EXPECT_EQ(platform::CurrentDirectory(), programDirectory);
  EXPECT_EQ(app::VersionMarker, "2");
  EXPECT_EQ(app::LatestVersionText, "2");
  EXPECT_EQ(server->RequestsFor("/xz.txt").size(), 1u);
  // Only the two files are left in the program folder.
  int entries = 0;
  for (const char* name : {"SkinH_EL.dll", "cc.she"}) {
    struct stat info;
    entries += stat((programDirectory + "/" + name).c_str(), &info) == 0 ? 1 : 0;
  }
  EXPECT_EQ(entries, 2);
}

TEST_F(StartupTest, ClosingTheWindowOpensTheHomePageOnce) {
  Serve(LoopbackHttpServer::Answer(200, "2"));
  ASSERT_EQ(Start(), std::nullopt);
  QPointer<app::MainWindow> window = Window();
  ASSERT_FALSE(window.isNull());
  services->ClearEvents();
  EXPECT_TRUE(window->close());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.isNull());
  const auto& events = services->Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, Kind::OpenUrl);
  EXPECT_EQ(events[0].text, server->Url() + "/");
}

TEST_F(StartupTest, StaleFilesAreReplacedWholeByteForByte) {
  Serve(LoopbackHttpServer::Answer(200, "2"));
  const std::string stale(200000, 's');  // longer than either file
  ASSERT_TRUE(testsupport::WriteFileText(programDirectory + "/SkinH_EL.dll", stale));
  ASSERT_TRUE(testsupport::WriteFileText(programDirectory + "/cc.she", stale));
  ASSERT_EQ(Start(), std::nullopt);
  EXPECT_EQ(ReadFileBytes(programDirectory + "/SkinH_EL.dll"), BuiltSkinLibrary());
  EXPECT_EQ(ReadFileBytes(programDirectory + "/cc.she"), BuiltSkinFile());
  EXPECT_TRUE(Window()->isVisible());
}

TEST_F(StartupTest, SkinLibraryThatCanBeNeitherWrittenNorFoundIsFatal) {
  Serve(LoopbackHttpServer::Answer(200, "2"));
  // A directory under the library's name: root can write neither it nor load it.
  ASSERT_EQ(mkdir((programDirectory + "/SkinH_EL.dll").c_str(), 0755), 0);
  EXPECT_EQ(Start(), 255);
  const auto messages = services->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("SkinH_EL.dll"), std::string::npos) << messages[0].text;
  EXPECT_NE(messages[0].text.find("SkinH_AttachEx"), std::string::npos) << messages[0].text;
  EXPECT_FALSE(services->ExitRoutineHasRun());
  EXPECT_TRUE(services->EventsOf(Kind::Fetch).empty());
  EXPECT_TRUE(services->EventsOf(Kind::OpenUrl).empty());
  EXPECT_TRUE(server->Requests().empty() || server->RequestsFor("/xz.txt").empty());
  ASSERT_NE(Window(), nullptr);
  EXPECT_FALSE(Window()->EverShown());
  // The skin file was still written before the library was needed.
  EXPECT_EQ(ReadFileBytes(programDirectory + "/cc.she"), BuiltSkinFile());
}

}  // namespace
}  // namespace apptest
