// The real program on a real X server (run under xvfb-run), with the bundled site served on the
// loopback address the program was built for. When it may, the test runs in network and mount
// namespaces of its own, so that the site's fixed port never meets another server and a
// read-only program folder can be made.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "desktop_session.h"
#include "support/loopback_http_server.h"
#include "support/pictures.h"
#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;
using testsupport::LoopbackHttpServer;
using testsupport::ReadFileBytes;

const std::string Title = "澜岳设计ZEPHLORA图片格式转换器1.0版";
bool privateNetwork = false;
bool privateMounts = false;

std::string Host() {
  std::smatch match;
  static const std::string site = ZEPHLORA_SITE;
  if (std::regex_match(site, match, std::regex(R"(http://(127\.\d+\.\d+\.\d+):(\d+)/?)"))) {
    return match[1];
  }
  return "";
}

int Port() {
  std::smatch match;
  static const std::string site = ZEPHLORA_SITE;
  std::regex_match(site, match, std::regex(R"(http://[^:/]+:(\d+)/?)"));
  return match.empty() ? 80 : std::stoi(match[1]);
}

void CopyFile(const std::string& from, const std::string& to, mode_t mode) {
  ASSERT_TRUE(testsupport::WriteFileBytes(to, ReadFileBytes(from))) << to;
  ASSERT_EQ(chmod(to.c_str(), mode), 0);
}

class EndToEnd : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display: run under xvfb-run";
    if (Host().empty()) GTEST_SKIP() << "the site " ZEPHLORA_SITE " is not on a loopback address";
    site_ = std::make_unique<LoopbackHttpServer>(LoopbackHttpServer::Folder(ZEPHLORA_TEST_SITE),
                                                 Host(), Port());
    if (!site_->Started()) {
      GTEST_SKIP() << "the site's address " ZEPHLORA_SITE " is taken and no private network "
                      "could be had";
    }
  }

  void TearDown() override {
    for (pid_t pid : started_) apptest::Stop(pid);
    site_.reset();
    TempDirTest::TearDown();
  }

  // A copy of the built program in a folder of its own, as a user would place it.
  std::string PlaceProgram(const std::string& folder) {
    const std::string bin = PathIn(folder);
    EXPECT_EQ(mkdir(bin.c_str(), 0755), 0);
    CopyFile(ZEPHLORA_TEST_PROGRAM, bin + "/zephlora", 0755);
    return bin;
  }

  pid_t Run(const std::string& program, const std::string& log) {
    const pid_t pid = apptest::Launch(program, "/", PathIn(log));
    started_.push_back(pid);
    return pid;
  }

  std::string Log(const std::string& name) {
    const auto bytes = ReadFileBytes(PathIn(name));
    return std::string(bytes.begin(), bytes.end());
  }

  // Shows its window, then ends with 0 when the window is closed.
  void ExpectNormalRun(pid_t pid, const std::string& log) {
    const unsigned long window = apptest::FindWindow(Title, 30s);
    ASSERT_NE(window, 0u) << Log(log);
    ASSERT_TRUE(apptest::CloseWindow(window));
    EXPECT_EQ(apptest::WaitForExit(pid, 30s), 0) << Log(log);
  }

  std::unique_ptr<LoopbackHttpServer> site_;
  std::vector<pid_t> started_;
};

TEST_F(EndToEnd, ShowsItsWindowWritesItsFilesAndEndsWithZeroWhenClosed) {
  const std::string bin = PlaceProgram("bin");
  const pid_t pid = Run(bin + "/zephlora", "run.log");
  const unsigned long window = apptest::FindWindow(Title, 30s);
  ASSERT_NE(window, 0u) << Log("run.log");
  EXPECT_EQ(ReadFileBytes(bin + "/SkinH_EL.dll"), ReadFileBytes(ZEPHLORA_TEST_SKIN_LIBRARY));
  EXPECT_EQ(ReadFileBytes(bin + "/cc.she"), ReadFileBytes(ZEPHLORA_TEST_SKIN_FILE));
  EXPECT_EQ(site_->RequestsFor("/xz.txt").size(), 1u);
  ASSERT_TRUE(apptest::CloseWindow(window));
  EXPECT_EQ(apptest::WaitForExit(pid, 30s), 0) << Log("run.log");
}

TEST_F(EndToEnd, SecondCopyInTheSameFolderLeavesTheFirstRunning) {
  const std::string bin = PlaceProgram("bin");
  const pid_t first = Run(bin + "/zephlora", "first.log");
  const unsigned long firstWindow = apptest::FindWindow(Title, 30s);
  ASSERT_NE(firstWindow, 0u) << Log("first.log");
  // The second copy rewrites the library the first one has loaded.
  const pid_t second = Run(bin + "/zephlora", "second.log");
  const unsigned long secondWindow = apptest::FindWindow(Title, 30s, firstWindow);
  ASSERT_NE(secondWindow, 0u) << Log("second.log");
  EXPECT_EQ(site_->RequestsFor("/xz.txt").size(), 2u);
  // The first copy goes on working and ends as usual.
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(apptest::WaitForExit(first, 0ms), std::nullopt) << Log("first.log");
  ASSERT_TRUE(apptest::CloseWindow(firstWindow));
  EXPECT_EQ(apptest::WaitForExit(first, 30s), 0) << Log("first.log");
  ASSERT_TRUE(apptest::CloseWindow(secondWindow));
  EXPECT_EQ(apptest::WaitForExit(second, 30s), 0) << Log("second.log");
}

TEST_F(EndToEnd, SkinLibraryThatCanBeNeitherWrittenNorFoundEndsWith255) {
  const std::string bin = PlaceProgram("bin");
  ASSERT_EQ(mkdir((bin + "/SkinH_EL.dll").c_str(), 0755), 0);
  const pid_t pid = Run(bin + "/zephlora", "fatal.log");
  const unsigned long box = apptest::FindWindow("错误", 30s);
  ASSERT_NE(box, 0u) << Log("fatal.log");
  EXPECT_EQ(apptest::FindWindow(Title, 0ms), 0u);
  EXPECT_TRUE(site_->RequestsFor("/xz.txt").empty());
  ASSERT_TRUE(apptest::CloseWindow(box));
  EXPECT_EQ(apptest::WaitForExit(pid, 30s), 255) << Log("fatal.log");
  EXPECT_EQ(ReadFileBytes(bin + "/cc.she"), ReadFileBytes(ZEPHLORA_TEST_SKIN_FILE));
}

TEST_F(EndToEnd, WithoutTheSiteItTellsTheUserAndEndsWithZeroBeforeShowingItsWindow) {
  site_.reset();
  const std::string bin = PlaceProgram("bin");
  const pid_t pid = Run(bin + "/zephlora", "withdrawn.log");
  const unsigned long offer = apptest::FindWindow("软件更新提示:", 30s);
  ASSERT_NE(offer, 0u) << Log("withdrawn.log");
  ASSERT_TRUE(apptest::CloseWindow(offer));  // a Yes/No box closed this way answers No
  const unsigned long notice = apptest::FindWindow("提示:", 30s, offer);
  ASSERT_NE(notice, 0u) << Log("withdrawn.log");
  EXPECT_EQ(apptest::FindWindow(Title, 0ms), 0u);
  ASSERT_TRUE(apptest::CloseWindow(notice));
  EXPECT_EQ(apptest::WaitForExit(pid, 30s), 0) << Log("withdrawn.log");
}

TEST_F(EndToEnd, ReadOnlyFolderThatHoldsBothFilesStartsNormally) {
  if (!privateMounts) GTEST_SKIP() << "no private mount namespace for a read-only folder";
  const std::string bin = PlaceProgram("bin");
  CopyFile(ZEPHLORA_TEST_SKIN_LIBRARY, bin + "/SkinH_EL.dll", 0644);
  CopyFile(ZEPHLORA_TEST_SKIN_FILE, bin + "/cc.she", 0644);
  ASSERT_EQ(mount(bin.c_str(), bin.c_str(), nullptr, MS_BIND, nullptr), 0);
  ASSERT_EQ(mount(nullptr, bin.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
  ASSERT_FALSE(testsupport::WriteFileText(bin + "/probe", "x"));  // even for root
  const pid_t pid = Run(bin + "/zephlora", "readonly.log");
  ExpectNormalRun(pid, "readonly.log");
  umount2(bin.c_str(), MNT_DETACH);
  EXPECT_EQ(ReadFileBytes(bin + "/SkinH_EL.dll"), ReadFileBytes(ZEPHLORA_TEST_SKIN_LIBRARY));
}

TEST_F(EndToEnd, InstalledProgramFindsItsLibraryThroughTheSystemSearch) {
  const std::string prefix = PathIn("prefix");
  const std::string install = std::string("\"") + ZEPHLORA_TEST_CMAKE + "\" --install \"" +
                              ZEPHLORA_TEST_BUILD_DIR + "\" --prefix \"" + prefix + "\" > \"" +
                              PathIn("install.log") + "\" 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << Log("install.log");
  struct stat info;
  EXPECT_EQ(stat((prefix + "/share/applications/zephlora.desktop").c_str(), &info), 0);
  EXPECT_EQ(stat((prefix + "/share/icons/hicolor/48x48/apps/zephlora.png").c_str(), &info), 0);
  // Its own folder cannot take the library, so only the system's search can find it.
  ASSERT_EQ(mkdir((prefix + "/bin/SkinH_EL.dll").c_str(), 0755), 0);
  const pid_t pid = Run(prefix + "/bin/zephlora", "installed.log");
  ExpectNormalRun(pid, "installed.log");
}

// Answers the folder picker titled title as a user would: the folder's path typed into its name
// box, then Return.
bool AnswerFolderPicker(const std::string& title, const std::string& folder) {
  const unsigned long picker = apptest::FindWindow(title, 30s);
  if (picker == 0 || !apptest::PressKey(picker, "ctrl+a") || !apptest::TypeInto(picker, folder)) {
    return false;
  }
  // The completion list may take the first Return; press again while the picker stays open.
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (!apptest::PressKey(picker, "Return")) return false;
    if (apptest::WaitUntilGone(title, 3s)) return true;
  }
  return false;
}

TEST_F(EndToEnd, BatchPanelConvertsTheChosenFolderIntoTheTargetFolder) {
  if (!apptest::HaveXdotool()) GTEST_SKIP() << "xdotool is missing";
  const std::string source = PathIn("pictures");
  const std::string target = PathIn("converted");
  ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((source + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
  const struct {
    const char* name;
    const char* format;
    int width, height;
  } pictures[] = {{"a.bmp", "BMP", 35, 39}, {"b.jpg", "JPEG", 41, 35},
                  {"sub/c.bmp", "BMP", 64, 48}, {"d.png", "PNG", 20, 20}};
  for (const auto& p : pictures) {
    ASSERT_TRUE(testpictures::WritePicture(testpictures::Gradient(p.width, p.height), p.format,
                                           source + "/" + p.name));
  }

  const pid_t pid = Run(PlaceProgram("bin") + "/zephlora", "batch.log");
  const unsigned long window = apptest::FindWindow(Title, 30s);
  ASSERT_NE(window, 0u) << Log("batch.log");
  // Centres of 按钮1, 按钮2 and 按钮3 in the window's client area.
  ASSERT_TRUE(apptest::ClickAt(window, 516, 244));
  ASSERT_TRUE(AnswerFolderPicker("选择原图片文件夹", source)) << Log("batch.log");
  ASSERT_TRUE(apptest::ClickAt(window, 516, 284));
  ASSERT_TRUE(AnswerFolderPicker("选择新图片文件夹", target)) << Log("batch.log");
  ASSERT_TRUE(apptest::ClickAt(window, 304, 320));
  const unsigned long finished = apptest::FindWindow("信息：", 120s);
  ASSERT_NE(finished, 0u) << Log("batch.log");
  ASSERT_TRUE(apptest::PressKey(finished, "Return"));
  EXPECT_TRUE(apptest::WaitUntilGone("信息：", 30s));

  // The PNG is not listed (its name is not a picture name to the scan); the rest is converted.
  for (const auto& p : pictures) {
    const std::string name = std::string(p.name).substr(std::string(p.name).rfind('/') + 1);
    const std::string converted = target + "/" + name + ".jpg";
    if (std::string(p.format) == "PNG") {
      EXPECT_NE(access(converted.c_str(), F_OK), 0) << converted;
      continue;
    }
    const testpictures::Rgb picture = testpictures::ReadPicture(converted, "JPEG");
    EXPECT_EQ(picture.width, p.width) << converted;
    EXPECT_EQ(picture.height, p.height) << converted;
  }
  ASSERT_TRUE(apptest::CloseWindow(window));
  EXPECT_EQ(apptest::WaitForExit(pid, 30s), 0) << Log("batch.log");
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Namespaces must be had while the process has a single thread.
  if (!GTEST_FLAG_GET(list_tests)) apptest::Isolate(&privateNetwork, &privateMounts);
  if (!privateNetwork && !GTEST_FLAG_GET(list_tests)) {
    std::fprintf(stderr, "e2e: no private network namespace; using the shared loopback\n");
  }
  return RUN_ALL_TESTS();
}
