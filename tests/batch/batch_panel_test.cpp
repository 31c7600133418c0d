// The batch panel on a real window (offscreen), its events wired as in the program, with scripted
// dialogs, real files and the real engine.
#include "batch/batch_panel.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/wiring.h"
#include "batch/folder_scan.h"
#include "engine/convert.h"
#include "platform/scripted_services.h"
#include "support/pictures.h"
#include "support/test_support.h"

namespace {

using platform::ScriptedServices;
using testpictures::Rgb;
using testsupport::ReadFileBytes;

const std::string NotEnoughChoices = "选择条件不足，请至少选择两个条件";
const std::string RunFinished = "转换完毕";
const std::string SourcePicker = "选择原图片文件夹";
const std::string TargetPicker = "选择新图片文件夹";

struct Row {
  std::string title;
  std::string path;
  int state;
  bool operator==(const Row& other) const {
    return title == other.title && path == other.path && state == other.state;
  }
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << "{" << row.title << ", " << row.path << ", " << row.state << "}";
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// Every entry below folder: file contents, link targets and kinds, so that any change shows.
void Snapshot(const std::string& folder, const std::string& prefix,
              std::map<std::string, std::string>* entries) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    std::string& value = (*entries)[prefix + name];
    if (S_ISREG(info.st_mode)) {
      const auto bytes = ReadFileBytes(path);
      value = "file:" + std::string(bytes.begin(), bytes.end());
    } else if (S_ISLNK(info.st_mode)) {
      char target[4096];
      const ssize_t length = readlink(path.c_str(), target, sizeof target);
      value = "link:" + std::string(target, length > 0 ? static_cast<size_t>(length) : 0);
    } else if (S_ISDIR(info.st_mode)) {
      value = "dir";
      Snapshot(path, prefix + name + "/", entries);
    } else {
      value = "other";
    }
  }
  closedir(dir);
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> entries;
  Snapshot(folder, "", &entries);
  return entries;
}

class BatchPanelTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    testpictures::StartGdiplus();
    window_ = std::make_unique<app::MainWindow>("http://127.0.0.1:9");
    app::WireEvents(*window_, services_);
  }

  void TearDown() override {
    window_.reset();
    TempDirTest::TearDown();
  }

  void Folder(const std::string& relative) { ASSERT_EQ(mkdir(PathIn(relative).c_str(), 0755), 0) << relative; }
  void Touch(const std::string& relative) {
    ASSERT_TRUE(testsupport::WriteFileText(PathIn(relative), "x")) << relative;
  }
  void Picture(const std::string& relative, const std::string& format, int width, int height) {
    ASSERT_TRUE(testpictures::WritePicture(testpictures::Gradient(width, height), format,
                                           PathIn(relative)))
        << relative;
  }

  void ReleaseLeftButtonOver(QLineEdit* edit) {
    const QPointF at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, edit->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, edit->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &press);
    QApplication::sendEvent(edit, &release);
  }

  std::string Edit1() { return app::EditText(window_->编辑框1); }
  std::string Edit2() { return app::EditText(window_->编辑框2); }

  std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (int row = 0; row < app::ListRowCount(window_->超级列表框1); ++row) {
      rows.push_back({app::ListCellText(window_->超级列表框1, row, 0),
                      app::ListCellText(window_->超级列表框1, row, 1),
                      app::ListStateImage(window_->超级列表框1, row)});
    }
    return rows;
  }

  // Lists folder through 按钮1 and the scripted picker.
  void ListFolder(const std::string& folder) {
    services_.QueueFolder(folder);
    window_->按钮1->click();
  }

  // Sets both folder texts and runs 按钮3, confirming its final message.
  void Run(const std::string& target) {
    app::SetEditText(window_->编辑框2, target);
    services_.ClearEvents();
    services_.QueueMessageAnswer(platform::AnswerOk);
    window_->按钮3->click();
  }

  void ExpectFinishedAndExplored(const std::string& folder) {
    const auto& events = services_.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, ScriptedServices::Kind::MessageBox);
    EXPECT_EQ(events[0].text, RunFinished);
    EXPECT_EQ(events[0].style, platform::MessageOk);
    EXPECT_EQ(events[0].title, "信息：");
    EXPECT_EQ(events[1].kind, ScriptedServices::Kind::Explore);
    EXPECT_EQ(events[1].text, folder);
    EXPECT_EQ(services_.UnscriptedCount(), 0);
  }

  std::unique_ptr<app::MainWindow> window_;
  ScriptedServices services_;
};

// A picture decoded by GraphicsMagick, through a plain copy so that no name can confuse it; a
// JPEG only when format is "JPEG" and the file starts as one.
Rgb Decode(const std::string& path, const std::string& scratch, const std::string& format = "") {
  const auto bytes = ReadFileBytes(path);
  if (format == "JPEG" && (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8)) return Rgb{};
  if (!testsupport::WriteFileBytes(scratch, bytes)) return Rgb{};
  Rgb picture = testpictures::ReadPicture(scratch, format);
  unlink(scratch.c_str());
  return picture;
}

TEST_F(BatchPanelTest, ScanAppendsOneMarkedRowPerPictureAndRescansAppendAgain) {
  Folder("src");
  Touch("src/t.jpg");
  Touch("src/d.png");
  Folder("src/sub");
  Touch("src/sub/s.jpg");
  Folder("other");
  Touch("other/o.gif");
  const std::string src = PathIn("src");

  ListFolder(src);
  EXPECT_EQ(Edit1(), src);
  ASSERT_EQ(services_.Events().size(), 1u);
  EXPECT_EQ(services_.Events()[0].kind, ScriptedServices::Kind::PickFolder);
  EXPECT_EQ(services_.Events()[0].text, SourcePicker);
  const std::vector<Row> first = {{"t.jpg", src + "/t.jpg", 1}, {"s.jpg", src + "/sub/s.jpg", 1}};
  EXPECT_EQ(Rows(), first);

  ListFolder(src + "/");  // with its separator: still one at the join
  ListFolder(PathIn("other"));
  std::vector<Row> expected = first;
  expected.insert(expected.end(), first.begin(), first.end());
  expected.push_back({"o.gif", PathIn("other") + "/o.gif", 1});
  EXPECT_EQ(Rows(), expected);
  EXPECT_TRUE(services_.Messages().empty());
  EXPECT_EQ(services_.UnscriptedCount(), 0);
}

TEST_F(BatchPanelTest, ReleaseOverTheSourceBoxScansOnlyWhileItIsEmpty) {
  Touch("a.jpg");
  app::SetEditText(window_->编辑框1, "typed by hand");
  ReleaseLeftButtonOver(window_->编辑框1);
  EXPECT_TRUE(services_.Events().empty());
  EXPECT_EQ(Edit1(), "typed by hand");
  EXPECT_TRUE(Rows().empty());

  app::SetEditText(window_->编辑框1, "");
  services_.QueueFolder(TempDir());
  ReleaseLeftButtonOver(window_->编辑框1);
  ASSERT_EQ(services_.EventsOf(ScriptedServices::Kind::PickFolder).size(), 1u);
  EXPECT_EQ(Edit1(), TempDir());
  EXPECT_EQ(Rows(), (std::vector<Row>{{"a.jpg", PathIn("a.jpg"), 1}}));
}

// Scans with the calling thread's root directory moved to a folder of the test, as root only.
class RootedAt {
 public:
  explicit RootedAt(const std::string& folder) {
    root_ = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    cwd_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Only this thread's root moves; the toolkit's threads keep theirs.
    entered_ = root_ >= 0 && cwd_ >= 0 && unshare(CLONE_FS) == 0 && chroot(folder.c_str()) == 0 &&
               chdir("/") == 0;
  }
  ~RootedAt() {
    if (entered_) {
      if (fchdir(root_) != 0 || chroot(".") != 0 || fchdir(cwd_) != 0) std::abort();
    }
    if (root_ >= 0) close(root_);
    if (cwd_ >= 0) close(cwd_);
  }
  bool Entered() const { return entered_; }

 private:
  int root_ = -1;
  int cwd_ = -1;
  bool entered_ = false;
};

TEST_F(BatchPanelTest, CancelledSourcePickerEmptiesTheBoxAndScansTheRoot) {
  Folder("drive");
  Touch("drive/a.jpg");
  Folder("drive/sub");
  Touch("drive/sub/s.bmp");
  Folder("drive/.cache");
  Touch("drive/.cache/c.jpg");
  app::SetEditText(window_->编辑框1, "/earlier");
  services_.QueueFolder("");
  {
    RootedAt rooted(PathIn("drive"));
    if (!rooted.Entered()) GTEST_SKIP() << "cannot move the root directory (needs root)";
    window_->按钮1->click();
  }
  EXPECT_EQ(Edit1(), "");
  EXPECT_EQ(Rows(), (std::vector<Row>{{"a.jpg", "/a.jpg", 1}, {"s.bmp", "/sub/s.bmp", 1}}));
}

TEST_F(BatchPanelTest, TargetFolderChoices) {
  // 按钮2 adds the separator and keeps the earlier text when cancelled.
  services_.QueueFolder("/out");
  window_->按钮2->click();
  EXPECT_EQ(Edit2(), "/out/");
  services_.QueueFolder("/");
  window_->按钮2->click();
  EXPECT_EQ(Edit2(), "/");
  services_.QueueFolder("");
  window_->按钮2->click();
  EXPECT_EQ(Edit2(), "/");

  // A release over a filled box does nothing.
  services_.ClearEvents();
  ReleaseLeftButtonOver(window_->编辑框2);
  EXPECT_TRUE(services_.Events().empty());

  // Over an empty box the answer is written as it comes, and a cancel leaves it empty.
  app::SetEditText(window_->编辑框2, "");
  services_.QueueFolder("/pictures");
  ReleaseLeftButtonOver(window_->编辑框2);
  EXPECT_EQ(Edit2(), "/pictures");
  app::SetEditText(window_->编辑框2, "");
  services_.QueueFolder("");
  ReleaseLeftButtonOver(window_->编辑框2);
  EXPECT_EQ(Edit2(), "");

  const auto pickers = services_.EventsOf(ScriptedServices::Kind::PickFolder);
  ASSERT_EQ(pickers.size(), 2u);
  for (const auto& picker : pickers) EXPECT_EQ(picker.text, TargetPicker);
  EXPECT_EQ(services_.UnscriptedCount(), 0);
}

TEST(TargetPathOfTest, FolderSeparatorNameAndFormat) {
  EXPECT_EQ(batch::TargetPathOf("/out", "/pics/a.bmp", ".jpg"), "/out/a.bmp.jpg");
  EXPECT_EQ(batch::TargetPathOf("/out/", "/pics/a.bmp", ".jpg"), "/out//a.bmp.jpg");
  EXPECT_EQ(batch::TargetPathOf("/out", "/pics/sub/c.gif", ".jpg"), "/out/c.gif.jpg");
  EXPECT_EQ(batch::TargetPathOf("/out", "/\xE5\x9B\xBE/\xE7\x89\x87.jpg", ".jpg"),
            "/out/\xE7\x89\x87.jpg.jpg");
}

TEST_F(BatchPanelTest, RunNeedsBothFolderTexts) {
  Folder("out");
  Picture("a.bmp", "BMP", 35, 39);
  ListFolder(TempDir());
  ASSERT_EQ(Rows().size(), 1u);
  const struct {
    const char* source;
    std::string target;
  } cases[] = {{"", PathIn("out")}, {"x", ""}, {"", ""}};
  for (const auto& c : cases) {
    app::SetEditText(window_->编辑框1, c.source);
    app::SetEditText(window_->编辑框2, c.target);
    services_.ClearEvents();
    services_.QueueMessageAnswer(platform::AnswerOk);
    window_->按钮3->click();
    ASSERT_EQ(services_.Events().size(), 1u) << "source " << c.source << " target " << c.target;
    EXPECT_EQ(services_.Events()[0].kind, ScriptedServices::Kind::MessageBox);
    EXPECT_EQ(services_.Events()[0].text, NotEnoughChoices);
    EXPECT_EQ(services_.Events()[0].style, platform::MessageIconInformation);
    EXPECT_EQ(services_.Events()[0].title, "信息：");
  }
  EXPECT_TRUE(Snapshot(PathIn("out")).empty());
}

TEST_F(BatchPanelTest, RunConvertsEveryMarkedRowIntoTheTargetFolder) {
  Folder("src");
  Folder("src/sub");
  Folder("out");
  Folder("unlisted");
  Picture("src/a.bmp", "BMP", 35, 39);
  Picture("src/b.jpg", "JPEG", 41, 35);
  Picture("src/sub/a.bmp", "BMP", 39, 35);  // same name as an earlier row: the later one stays
  Picture("src/c.gif", "GIF", 20, 20);      // no reader takes GIF
  Picture("src/gone.jpg", "JPEG", 16, 16);
  Picture("unlisted/z0.bmp", "BMP", 8, 8);
  Picture("unlisted/z1.bmp", "BMP", 8, 8);
  ListFolder(PathIn("src"));
  ASSERT_EQ(Rows().size(), 5u);
  // Rows without the mark are not converted.
  const int unmarked = app::ListAppendRow(window_->超级列表框1, "z0.bmp");
  app::ListSetCellText(window_->超级列表框1, unmarked, 1, PathIn("unlisted/z0.bmp"));
  app::ListSetStateImage(window_->超级列表框1, unmarked, 0);
  const int noMark = app::ListAppendRow(window_->超级列表框1, "z1.bmp");
  app::ListSetCellText(window_->超级列表框1, noMark, 1, PathIn("unlisted/z1.bmp"));
  ASSERT_EQ(unlink(PathIn("src/gone.jpg").c_str()), 0);  // gone since the scan
  const auto rowsBefore = Rows();
  const auto sourcesBefore = Snapshot(PathIn("src"));

  services_.QueueFolder(PathIn("out"));
  window_->按钮2->click();
  ASSERT_EQ(Edit2(), PathIn("out") + "/");  // the join will double the separator
  Run(Edit2());

  ExpectFinishedAndExplored(PathIn("out") + "/");
  EXPECT_EQ(Rows(), rowsBefore);
  EXPECT_EQ(Snapshot(PathIn("src")), sourcesBefore);
  std::vector<std::string> written;
  for (const auto& entry : Snapshot(PathIn("out"))) written.push_back(entry.first);
  EXPECT_EQ(written, (std::vector<std::string>{"a.bmp.jpg", "b.jpg.jpg"}));

  // The settings are the fixed ones: the engine called directly writes the same bytes.
  ASSERT_EQ(ConvertToJpeg(PathIn("src/sub/a.bmp").c_str(), PathIn("reference.jpg").c_str(), false,
                          75, true, 0),
            Success);
  EXPECT_EQ(ReadFileBytes(PathIn("out/a.bmp.jpg")), ReadFileBytes(PathIn("reference.jpg")));
  // And an independent decoder sees the source's pictures.
  const Rgb a = Decode(PathIn("out/a.bmp.jpg"), PathIn("probe"), "JPEG");
  EXPECT_LT(testpictures::MeanDifference(a, testpictures::Gradient(39, 35)), 8.0);
  const Rgb b = Decode(PathIn("out/b.jpg.jpg"), PathIn("probe"), "JPEG");
  EXPECT_LT(testpictures::MeanDifference(b, testpictures::ReadPicture(PathIn("src/b.jpg"), "JPEG")),
            8.0);
  EXPECT_TRUE(Spools().empty());

  // The rows stay, so a second run writes the same targets again.
  ASSERT_EQ(unlink(PathIn("out/b.jpg.jpg").c_str()), 0);
  Run(Edit2());
  ExpectFinishedAndExplored(PathIn("out") + "/");
  EXPECT_TRUE(Exists(PathIn("out/b.jpg.jpg")));
}

TEST_F(BatchPanelTest, EmptyListOrNoFormatSelectedOnlyFinishesAndExplores) {
  Folder("out");
  app::SetEditText(window_->编辑框1, TempDir());
  Run(PathIn("out"));
  ExpectFinishedAndExplored(PathIn("out"));

  Picture("a.bmp", "BMP", 35, 39);
  ListFolder(TempDir());
  ASSERT_EQ(Rows().size(), 1u);
  window_->组合框1->setCurrentIndex(-1);
  Run(PathIn("out"));
  ExpectFinishedAndExplored(PathIn("out"));
  EXPECT_TRUE(Snapshot(PathIn("out")).empty());
}

TEST_F(BatchPanelTest, BadRowsArePassedOverAndNothingButTheTargetsChanges) {
  Folder("src");
  Folder("src/gone");
  Folder("out");
  const std::string invalidUtf8 = "\xFF\xFE\x80.bmp";
  const std::vector<std::string> good = {invalidUtf8, "line\nbreak.jpg", "with  space .bmp",
                                         "\xE5\x9B\xBE\xE7\x89\x87.bmp", "late.bmp"};
  for (const std::string& name : good) {
    Picture("src/" + name, name.find(".jpg") != std::string::npos ? "JPEG" : "BMP", 35, 39);
  }
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("src/text.jpg"), "not a picture at all"));
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("src/empty.bmp"), ""));
  Picture("src/png.jpg", "PNG", 35, 39);  // a picture the engine reads, whatever its name says
  ASSERT_EQ(mkfifo(PathIn("src/pipe.jpg").c_str(), 0644), 0);
  ASSERT_EQ(symlink("nowhere.bmp", PathIn("src/dangling.bmp").c_str()), 0);
  ASSERT_EQ(symlink("loop.gif", PathIn("src/loop.gif").c_str()), 0);
  Touch("src/folder.bmp");
  Picture("src/gone/g.jpg", "JPEG", 16, 16);
  // What the target folder held before: only the run's own successful targets may change.
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("out/keep.txt"), "mine"));
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("out/text.jpg.jpg"), "an older file"));
  ASSERT_TRUE(testsupport::WriteFileText(PathIn("out/late.bmp.jpg"), "an older target"));

  ListFolder(PathIn("src"));
  ASSERT_EQ(Rows().size(), good.size() + 8);
  for (const Row& row : Rows()) {
    EXPECT_EQ(row.title, FileNameOf(row.path));
    EXPECT_EQ(row.state, 1);
  }
  // Changed since the scan: a folder where a file was, a folder gone with its files.
  ASSERT_EQ(unlink(PathIn("src/folder.bmp").c_str()), 0);
  Folder("src/folder.bmp");
  testsupport::RemoveTree(PathIn("src/gone"));
  const auto sourcesBefore = Snapshot(PathIn("src"));
  const auto targetsBefore = Snapshot(PathIn("out"));

  app::SetEditText(window_->编辑框1, PathIn("src"));
  Run(PathIn("out"));

  ExpectFinishedAndExplored(PathIn("out"));
  EXPECT_EQ(Snapshot(PathIn("src")), sourcesBefore);
  auto targets = Snapshot(PathIn("out"));
  for (const std::string& name : std::vector<std::string>{"keep.txt", "text.jpg.jpg"}) {
    EXPECT_EQ(targets[name], targetsBefore.at(name)) << name;
    targets.erase(name);
  }
  std::vector<std::string> written;
  for (const auto& entry : targets) written.push_back(entry.first);
  std::vector<std::string> expected;
  for (const std::string& name : good) expected.push_back(name + ".jpg");
  expected.push_back("png.jpg.jpg");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(written, expected);
  for (const std::string& name : expected) {
    const Rgb picture = Decode(PathIn("out/" + name), PathIn("probe"), "JPEG");
    const std::string source = PathIn("src/" + name.substr(0, name.size() - 4));
    EXPECT_LT(testpictures::MeanDifference(picture, Decode(source, PathIn("probe"))), 8.0) << name;
  }
  EXPECT_TRUE(Spools().empty());
}

TEST_F(BatchPanelTest, FoldersThatVanishDuringTheRunEndItNormally) {
  Folder("src");
  Folder("src/first");
  Folder("src/later");
  Folder("out");
  Picture("src/first/a.bmp", "BMP", 35, 39);
  for (int i = 0; i < 12; ++i) Picture("src/later/p" + std::to_string(i) + ".bmp", "BMP", 600, 400);
  Touch("keep.txt");
  ListFolder(PathIn("src"));
  ASSERT_EQ(Rows().size(), 13u);

  // Once the first target is written, both the folder of the remaining sources and the target
  // folder disappear under the run.
  std::atomic<bool> removed{false};
  std::thread remover([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Exists(PathIn("out/a.bmp.jpg")) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    testsupport::RemoveTree(PathIn("src/later"));
    testsupport::RemoveTree(PathIn("out"));
    removed = true;
  });
  Run(PathIn("out"));
  remover.join();

  ASSERT_TRUE(removed);
  ExpectFinishedAndExplored(PathIn("out"));
  EXPECT_FALSE(Exists(PathIn("out")));  // never made again by the run
  EXPECT_TRUE(Exists(PathIn("src/first/a.bmp")));
  EXPECT_EQ(ReadFileBytes(PathIn("keep.txt")), std::vector<uint8_t>{'x'});
  EXPECT_TRUE(Spools().empty());
  EXPECT_EQ(Rows().size(), 13u);
}

}  // namespace
