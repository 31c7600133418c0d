#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/replace_file.h"
#include "platform/process.h"
#include "platform/scripted_services.h"
#include "support/test_support.h"

namespace {

using platform::ScriptedServices;
using Kind = platform::ScriptedServices::Kind;

int exitRoutineRuns = 0;
void CountExitRoutine() {
  ++exitRoutineRuns;
}

TEST(ScriptedServices, DialogsAnswerFromTheirQueuesInOrder) {
  ScriptedServices services;
  services.QueueMessageAnswer(platform::AnswerYes);
  services.QueueFolder("/data/in");
  services.QueueOpenFile("/data/a.bmp");
  services.QueueOpenFileCancel();

  EXPECT_EQ(services.MessageBox("问？", platform::MessageYesNo, "标题"), platform::AnswerYes);
  EXPECT_EQ(services.PickFolder("选择"), "/data/in");
  const auto chosen = services.OpenFile("(*.bmp)|*.bmp");
  EXPECT_TRUE(chosen.confirmed);
  EXPECT_EQ(chosen.path, "/data/a.bmp");
  EXPECT_FALSE(services.OpenFile("(*.bmp)|*.bmp").confirmed);
  services.OpenUrl("http://127.0.0.1/");
  services.Explore("/data/out");

  const auto& events = services.Events();
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[0].kind, Kind::MessageBox);
  EXPECT_EQ(events[0].text, "问？");
  EXPECT_EQ(events[0].title, "标题");
  EXPECT_EQ(events[0].style, platform::MessageYesNo);
  EXPECT_EQ(events[0].code, platform::AnswerYes);
  EXPECT_EQ(events[1].kind, Kind::PickFolder);
  EXPECT_EQ(events[1].text, "选择");
  EXPECT_EQ(events[1].title, "/data/in");
  EXPECT_EQ(events[2].kind, Kind::OpenFile);
  EXPECT_EQ(events[2].text, "(*.bmp)|*.bmp");
  EXPECT_EQ(events[3].code, 0);
  EXPECT_EQ(events[4].kind, Kind::OpenUrl);
  EXPECT_EQ(events[5].kind, Kind::Explore);
  EXPECT_EQ(events[5].text, "/data/out");
  EXPECT_EQ(services.UnscriptedCount(), 0);
}

TEST(ScriptedServices, EmptyQueuesAnswerAsACancellingUserAndAreMarked) {
  ScriptedServices services;
  EXPECT_EQ(services.MessageBox("a"), platform::AnswerOk);
  EXPECT_EQ(services.MessageBox("b", platform::MessageYesNo), platform::AnswerNo);
  EXPECT_EQ(services.MessageBox("c", platform::MessageOkCancel), platform::AnswerCancel);
  EXPECT_EQ(services.PickFolder("t"), "");
  EXPECT_FALSE(services.OpenFile("f").confirmed);
  EXPECT_EQ(services.UnscriptedCount(), 5);
  // The default title of a message box.
  EXPECT_EQ(services.Messages()[0].title, "信息：");
}

TEST(ScriptedServices, OrderlyExitRunsTheExitRoutineOnceAndEnds) {
  ScriptedServices services;
  exitRoutineRuns = 0;
  services.RegisterExitRoutine(CountExitRoutine);
  EXPECT_EQ(services.RunUntilEnd([&] { services.ExitProgram(0); }), 0);
  EXPECT_EQ(services.RunUntilEnd([&] { services.ExitProgram(3); }), 3);
  EXPECT_EQ(exitRoutineRuns, 1);
  EXPECT_TRUE(services.ExitRoutineHasRun());
  ASSERT_EQ(services.Events().size(), 3u);
  EXPECT_EQ(services.Events()[0].kind, Kind::ExitRoutine);
  EXPECT_EQ(services.Events()[1].kind, Kind::Exit);
  EXPECT_EQ(services.RunUntilEnd([] {}), std::nullopt);
}

TEST(ScriptedServices, BindEntryLoadsTheFirstPlaceThatLoads) {
  ScriptedServices services;
  void* entry = services.BindEntry({"/nowhere/libz.so.1", "libz.so.1"}, "libz.so.1", "zlibVersion");
  ASSERT_NE(entry, nullptr);
  const auto bound = services.EventsOf(Kind::BindEntry);
  ASSERT_EQ(bound.size(), 1u);
  EXPECT_EQ(bound[0].text, "libz.so.1");
  EXPECT_EQ(bound[0].title, "zlibVersion");
}

TEST(ScriptedServices, FailedBindingIsFatalWithoutTheExitRoutine) {
  struct Case {
    std::vector<std::string> places;
    std::string library;
    std::string entry;
  };
  const Case cases[] = {{{"/nowhere/SkinH_EL.dll", "SkinH_EL.dll"}, "SkinH_EL.dll", "SkinH_AttachEx"},
                        {{"libz.so.1"}, "libz.so.1", "NoSuchEntry"}};
  for (const Case& c : cases) {
    ScriptedServices services;
    exitRoutineRuns = 0;
    services.RegisterExitRoutine(CountExitRoutine);
    EXPECT_EQ(services.RunUntilEnd([&] { services.BindEntry(c.places, c.library, c.entry); }), 255);
    EXPECT_EQ(exitRoutineRuns, 0);
    const auto messages = services.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.find(c.library), std::string::npos) << messages[0].text;
    EXPECT_NE(messages[0].text.find(c.entry), std::string::npos) << messages[0].text;
    EXPECT_EQ(messages[0].style, platform::MessageIconError);
    EXPECT_EQ(services.ExitCode(), 255);
  }
}

class ReplaceFileTest : public testsupport::TempDirTest {};

TEST_F(ReplaceFileTest, ReplacesByRenameSoAnOpenCopyKeepsItsBytes) {
  const std::string path = PathIn("SkinH_EL.dll");
  ASSERT_TRUE(testsupport::WriteFileText(path, "old content, longer than the new one"));
  FILE* reader = std::fopen(path.c_str(), "rb");
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(platform::ReplaceFileContents(path, "new", 3));
  EXPECT_EQ(testsupport::ReadFileBytes(path), (std::vector<uint8_t>{'n', 'e', 'w'}));
  char first[3] = {};
  EXPECT_EQ(std::fread(first, 1, 3, reader), 3u);
  EXPECT_EQ(std::string(first, 3), "old");
  std::fclose(reader);
  EXPECT_TRUE(platform::ReplaceFileContents(path, nullptr, 0));
  EXPECT_TRUE(testsupport::ReadFileBytes(path).empty());
}

TEST_F(ReplaceFileTest, FailureLeavesWhatWasThereAndNoTemporaryFile) {
  // A directory under the name: the rename fails whatever the process may do.
  const std::string blocked = PathIn("SkinH_EL.dll");
  ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);
  EXPECT_FALSE(platform::ReplaceFileContents(blocked, "x", 1));
  EXPECT_FALSE(platform::ReplaceFileContents(PathIn("missing/cc.she"), "x", 1));
  EXPECT_FALSE(platform::ReplaceFileContents(PathIn("folder/"), "x", 1));
  DIR* dir = opendir(TempDir().c_str());
  int entries = 0;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) ++entries;
  }
  closedir(dir);
  EXPECT_EQ(entries, 1);  // only the directory
}

TEST(Process, ProgramFileAndFolders) {
  EXPECT_EQ(platform::FolderOfPath("/opt/tools/zephlora"), "/opt/tools");
  EXPECT_EQ(platform::FolderOfPath("/zephlora"), "");
  const std::string self = platform::ProgramFilePath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.front(), '/');
  EXPECT_NE(self.find("services_tests"), std::string::npos) << self;
}

}  // namespace
