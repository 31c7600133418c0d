#include "single/single_panel.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/wiring.h"
#include "platform/scripted_services.h"
#include "single/encoder_type.h"
#include "support/pictures.h"
#include "support/test_support.h"

using platform::ScriptedServices;
using Kind = platform::ScriptedServices::Kind;
using testsupport::ReadFileBytes;

namespace {

const char* const kNotEnough = "选择条件不足，请选择至少两个条件";
const char* const kSavedTo = "文件已成功保存到";
const char* const kSucceeded = "转换成功！";
const char* const kFailed = "转换失败！";
const char* const kPickerOf按钮5 = "选择保存文件文件夹";
const char* const kPickerOf编辑框4 = "请选择保存文件文件夹";
const char* const kPictureFilter = "(*.bmp;*.jpg;*.gif;*.tiff;*.png)|*.bmp;*.jpg;*.gif;*.tiff;*.png";

// Names in a folder, "." and ".." left out, sorted.
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<Kind> KindsOf(const std::vector<ScriptedServices::Event>& events) {
  std::vector<Kind> kinds;
  for (const auto& event : events) kinds.push_back(event.kind);
  return kinds;
}

// A window with the panel filled in: a real 35 x 39 picture as the source, an empty target
// folder, both with Chinese names.
class SinglePanelTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    testpictures::StartGdiplus();
    single::EncoderType = 5;  // as after start-up
    window_ = std::make_unique<app::MainWindow>("http://127.0.0.1:9");
    source_ = PathIn("源图片.bmp");
    ASSERT_TRUE(testpictures::WritePicture(testpictures::Stripes(35, 39), "BMP", source_));
    folder_ = PathIn("输出文件夹");
    ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
  }

  app::MainWindow& Window() { return *window_; }

  void Fill(const std::string& source, const std::string& folder) {
    app::SetEditText(window_->编辑框3, source);
    app::SetEditText(window_->编辑框4, folder);
  }

  // The events of a successful conversion: the message, then the folder explored once.
  void ExpectSuccessReported(const std::string& folderText) {
    ASSERT_EQ(KindsOf(services_.Events()), (std::vector<Kind>{Kind::MessageBox, Kind::Explore}));
    const auto& message = services_.Events()[0];
    EXPECT_EQ(message.text, kSavedTo + folderText);
    EXPECT_EQ(message.title, kSucceeded);
    EXPECT_EQ(message.style, platform::MessageOk);
    EXPECT_EQ(services_.Events()[1].text, folderText);
  }

  void ExpectFailureReported() {
    ASSERT_EQ(KindsOf(services_.Events()), (std::vector<Kind>{Kind::MessageBox}));
    const auto& message = services_.Events()[0];
    EXPECT_EQ(message.text, kFailed);
    EXPECT_EQ(message.title, kFailed);
    EXPECT_EQ(message.style, platform::MessageOk);
  }

  ScriptedServices services_;
  std::unique_ptr<app::MainWindow> window_;
  std::string source_;
  std::string folder_;
};

// --- The conversion -------------------------------------------------------------------------------

TEST_F(SinglePanelTest, MissingSourceOrFolderIsRefusedAndLeavesTheTypeAlone) {
  struct Case {
    bool source;
    bool folder;
  };
  for (const Case c : {Case{false, true}, Case{true, false}, Case{false, false}}) {
    SCOPED_TRACE(testing::Message() << "source " << c.source << ", folder " << c.folder);
    services_.ClearEvents();
    single::EncoderType = 5;
    Fill(c.source ? source_ : "", c.folder ? folder_ : "");
    Window().组合框2->setCurrentIndex(3);  // ".bmp" would make it 1
    single::On按钮6Click(Window(), services_);
    ASSERT_EQ(KindsOf(services_.Events()), (std::vector<Kind>{Kind::MessageBox}));
    EXPECT_EQ(services_.Events()[0].text, kNotEnough);
    EXPECT_EQ(services_.Events()[0].title, "信息：");
    EXPECT_EQ(services_.Events()[0].style, platform::MessageIconInformation);
    EXPECT_EQ(single::EncoderType, 5);
    EXPECT_TRUE(NamesIn(folder_).empty());
  }
}

TEST_F(SinglePanelTest, EveryItemWritesItsFormatUnderItsExtension) {
  struct Case {
    int index;
    const char* extension;
    int type;
  };
  // No selection keeps the type of the conversion before and adds no extension.
  const Case cases[] = {{0, ".jpg", 2}, {1, ".gif", 3}, {2, ".png", 5}, {3, ".bmp", 1},
                        {4, ".tiff", 4}, {-1, "", 4}};
  Fill(source_, folder_);
  const testpictures::Rgb stripes = testpictures::ReadPicture(source_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    services_.ClearEvents();
    Window().组合框2->setCurrentIndex(c.index);
    single::On按钮6Click(Window(), services_);
    ExpectSuccessReported(folder_);
    EXPECT_EQ(single::EncoderType, c.type);
    const std::string written = folder_ + "/zephlora" + c.extension;
    EXPECT_TRUE(testpictures::HasSignatureOf(c.type, ReadFileBytes(written)));
    const testpictures::Rgb decoded = testpictures::ReadPicture(written);
    ASSERT_EQ(decoded.width, 35);
    ASSERT_EQ(decoded.height, 39);
    if (c.type != 2) {
      EXPECT_EQ(testpictures::MeanDifference(decoded, stripes), 0);
    }
  }
  EXPECT_EQ(NamesIn(folder_), (std::vector<std::string>{"zephlora", "zephlora.bmp", "zephlora.gif",
                                                         "zephlora.jpg", "zephlora.png",
                                                         "zephlora.tiff"}));
}

TEST_F(SinglePanelTest, EmptyNameWritesAFileNamedAfterTheExtensionAlone) {
  Fill(source_, folder_);
  app::SetEditText(Window().编辑框5, "");
  single::On按钮6Click(Window(), services_);
  ExpectSuccessReported(folder_);
  EXPECT_EQ(NamesIn(folder_), std::vector<std::string>{".jpg"});
  EXPECT_TRUE(testpictures::HasSignatureOf(2, ReadFileBytes(folder_ + "/.jpg")));
}

TEST_F(SinglePanelTest, ChineseNameAndASecondClickWriteTheSameTargetAgain) {
  Fill(source_, folder_);
  app::SetEditText(Window().编辑框5, "转换后的图片");
  Window().组合框2->setCurrentIndex(2);
  single::On按钮6Click(Window(), services_);
  ExpectSuccessReported(folder_);
  const std::string written = folder_ + "/转换后的图片.png";
  ASSERT_TRUE(testpictures::HasSignatureOf(5, ReadFileBytes(written)));
  ASSERT_EQ(truncate(written.c_str(), 0), 0);
  services_.ClearEvents();
  single::On按钮6Click(Window(), services_);
  ExpectSuccessReported(folder_);
  EXPECT_TRUE(testpictures::HasSignatureOf(5, ReadFileBytes(written)));
  EXPECT_EQ(NamesIn(folder_).size(), 1u);
}

TEST_F(SinglePanelTest, FailuresSayConversionFailedAndExploreNothing) {
  const std::string notAPicture = PathIn("说明.bmp");
  ASSERT_TRUE(testsupport::WriteFileText(notAPicture, "%!PS-Adobe-3.0\nshowpage\n"));
  struct Case {
    const char* what;
    std::string source;
    std::string folder;
  };
  const Case cases[] = {
      {"not a picture", notAPicture, folder_},
      {"no such source", PathIn("不存在.bmp"), folder_},
      {"no such folder", source_, folder_ + "/不存在"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    services_.ClearEvents();
    Fill(c.source, c.folder);
    single::On按钮6Click(Window(), services_);
    ExpectFailureReported();
    EXPECT_EQ(single::EncoderType, 2);
    EXPECT_TRUE(NamesIn(folder_).empty());
  }
}

// 按钮5 ends the folder with "/", and the join adds another: the converter gets "folder//name"
// and the message shows the folder as the box holds it.
TEST_F(SinglePanelTest, FolderFrom按钮5KeepsItsFinalSeparatorThroughTheConversion) {
  app::SetEditText(Window().编辑框3, source_);
  services_.QueueFolder(folder_);
  single::On按钮5Click(Window(), services_);
  ASSERT_EQ(app::EditText(Window().编辑框4), folder_ + "/");
  services_.ClearEvents();
  single::On按钮6Click(Window(), services_);
  ExpectSuccessReported(folder_ + "/");
  EXPECT_TRUE(testpictures::HasSignatureOf(2, ReadFileBytes(folder_ + "/zephlora.jpg")));
}

// --- Choosing the source and the folder -----------------------------------------------------------

TEST_F(SinglePanelTest, SourceIsChosenEveryTimeAndCancelKeepsIt) {
  using Handler = void (*)(app::MainWindow&, platform::Services&);
  for (const Handler handler : {Handler{single::On按钮4Click}, Handler{single::On编辑框3LeftRelease}}) {
    services_.ClearEvents();
    app::SetEditText(Window().编辑框3, "/旧/图片.png");  // filled: the dialog opens all the same
    services_.QueueOpenFile(source_);
    handler(Window(), services_);
    EXPECT_EQ(app::EditText(Window().编辑框3), source_);
    services_.QueueOpenFileCancel();
    handler(Window(), services_);
    EXPECT_EQ(app::EditText(Window().编辑框3), source_);
    ASSERT_EQ(KindsOf(services_.Events()), (std::vector<Kind>{Kind::OpenFile, Kind::OpenFile}));
    for (const auto& event : services_.Events()) {
      EXPECT_EQ(event.text, Window().通用对话框1->filter);
      EXPECT_EQ(event.text, kPictureFilter);
    }
  }
}

TEST_F(SinglePanelTest, 按钮5AddsTheFinalSeparatorOnlyWhenMissing) {
  struct Case {
    std::string picked;
    std::string shown;
  };
  const Case cases[] = {{folder_, folder_ + "/"}, {folder_ + "/", folder_ + "/"}, {"/", "/"}};
  for (const Case& c : cases) {
    services_.QueueFolder(c.picked);
    single::On按钮5Click(Window(), services_);
    EXPECT_EQ(app::EditText(Window().编辑框4), c.shown);
  }
  services_.QueueFolder("");  // cancelled
  single::On按钮5Click(Window(), services_);
  EXPECT_EQ(app::EditText(Window().编辑框4), "/");
  for (const auto& event : services_.Events()) EXPECT_EQ(event.text, kPickerOf按钮5);
}

TEST_F(SinglePanelTest, ReleaseOver编辑框4PicksOnlyWhileEmptyAndWritesTheFolderAsIs) {
  services_.QueueFolder("");  // cancelled: stays empty
  single::On编辑框4LeftRelease(Window(), services_);
  EXPECT_EQ(app::EditText(Window().编辑框4), "");
  services_.QueueFolder(folder_);
  single::On编辑框4LeftRelease(Window(), services_);
  EXPECT_EQ(app::EditText(Window().编辑框4), folder_);
  ASSERT_EQ(KindsOf(services_.Events()), (std::vector<Kind>{Kind::PickFolder, Kind::PickFolder}));
  for (const auto& event : services_.Events()) EXPECT_EQ(event.text, kPickerOf编辑框4);
  EXPECT_EQ(std::string("请") + kPickerOf按钮5, kPickerOf编辑框4);

  services_.ClearEvents();
  single::On编辑框4LeftRelease(Window(), services_);  // filled: nothing at all
  EXPECT_TRUE(services_.Events().empty());
  EXPECT_EQ(app::EditText(Window().编辑框4), folder_);
}

// --- Through the real widgets ---------------------------------------------------------------------

TEST_F(SinglePanelTest, ClicksAndReleasesOnTheWidgetsReachTheHandlers) {
  app::WireEvents(Window(), services_);
  Window().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));

  services_.QueueOpenFile(source_);
  QTest::mouseRelease(Window().编辑框3, Qt::LeftButton);
  services_.QueueFolder(folder_);
  QTest::mouseRelease(Window().编辑框4, Qt::LeftButton);
  QTest::mouseRelease(Window().编辑框4, Qt::LeftButton);  // now filled: ignored
  QTest::mouseRelease(Window().编辑框3, Qt::RightButton);  // not the left button: ignored
  Window().组合框2->setCurrentIndex(4);
  QTest::mouseClick(Window().按钮6, Qt::LeftButton);

  ASSERT_EQ(KindsOf(services_.Events()), (std::vector<Kind>{Kind::OpenFile, Kind::PickFolder,
                                                             Kind::MessageBox, Kind::Explore}));
  EXPECT_EQ(services_.Events()[1].text, kPickerOf编辑框4);
  EXPECT_EQ(services_.Events()[2].text, kSavedTo + folder_);
  EXPECT_EQ(services_.Events()[3].text, folder_);
  EXPECT_TRUE(testpictures::HasSignatureOf(4, ReadFileBytes(folder_ + "/zephlora.tiff")));

  services_.ClearEvents();
  QTest::mouseClick(Window().按钮4, Qt::LeftButton);
  QTest::mouseClick(Window().按钮5, Qt::LeftButton);
  ASSERT_EQ(KindsOf(services_.Events()), (std::vector<Kind>{Kind::OpenFile, Kind::PickFolder}));
  EXPECT_EQ(services_.Events()[1].text, kPickerOf按钮5);
  // Both dialogs were cancelled: the texts stay.
  EXPECT_EQ(app::EditText(Window().编辑框3), source_);
  EXPECT_EQ(app::EditText(Window().编辑框4), folder_);
}

}  // namespace
