#include "batch/folder_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

using platform::CodePage;

namespace {

struct NameCase {
  const char* name;
  CodePage codePage;
  const char* second;
};

class SecondDotPartTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(SecondDotPartTest, SecondPartNotLast) {
  EXPECT_EQ(SecondDotPart(GetParam().name, GetParam().codePage), GetParam().second)
      << "name " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecondDotPartTest,
    ::testing::Values(NameCase{"a.jpg", CodePage::Utf8, "jpg"},
                      NameCase{"a.b.jpg", CodePage::Utf8, "b"},
                      NameCase{".jpg", CodePage::Utf8, "jpg"},
                      NameCase{"a..jpg", CodePage::Utf8, ""},
                      NameCase{"a.jpg.bak", CodePage::Utf8, "jpg"},
                      NameCase{"noext", CodePage::Utf8, ""},
                      NameCase{"a.", CodePage::Utf8, ""},
                      NameCase{"a.jpg.", CodePage::Utf8, "jpg"},
                      NameCase{"PHOTO.JPG", CodePage::Utf8, "JPG"},
                      NameCase{"\xE5\x9B\xBE\xE7\x89\x87.jpg", CodePage::Utf8, "jpg"},  // 图片.jpg
                      NameCase{"\xE5\x9B\xBE.\xE7\x89\x87.jpg", CodePage::Utf8, "\xE7\x89\x87"},
                      NameCase{"\xCD\xBC\xC6\xAC.jpg", CodePage::Gbk936, "jpg"},  // 图片.jpg in 936
                      // A lead byte takes the "." after it in 936, so no dot remains there;
                      // in UTF-8 the same byte stands alone.
                      NameCase{"\x81.jpg", CodePage::Gbk936, ""},
                      NameCase{"\x81.jpg", CodePage::Utf8, "jpg"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(FileNameOfTest, TextAfterTheLastSeparator) {
  EXPECT_EQ(FileNameOf("/pics/sub/a.bmp"), "a.bmp");
  EXPECT_EQ(FileNameOf("/a.bmp"), "a.bmp");
  EXPECT_EQ(FileNameOf("//out//a.bmp"), "a.bmp");
  EXPECT_EQ(FileNameOf("/\xE5\x9B\xBE/\xE7\x89\x87.jpg"), "\xE7\x89\x87.jpg");
  EXPECT_EQ(FileNameOf("a.bmp"), "a.bmp");  // no separator: the whole text
  EXPECT_EQ(FileNameOf("/pics/"), "");
  // The "/" after a 936 lead byte belongs to that character.
  EXPECT_EQ(FileNameOf("/d/\x81/x.jpg", CodePage::Gbk936), "\x81/x.jpg");
  EXPECT_EQ(FileNameOf("/d/\x81/x.jpg", CodePage::Utf8), "x.jpg");
}

class ScanFolderTest : public testsupport::TempDirTest {
 protected:
  void Touch(const std::string& relative) {
    ASSERT_TRUE(testsupport::WriteFileText(PathIn(relative), "x")) << relative;
  }
  void Folder(const std::string& relative) { ASSERT_EQ(mkdir(PathIn(relative).c_str(), 0755), 0); }

  std::vector<std::string> Relative(const std::vector<std::string>& paths) {
    std::vector<std::string> names;
    for (const auto& p : paths) names.push_back(p.substr(TempDir().size()));
    return names;
  }
};

TEST_F(ScanFolderTest, NameRuleAndCase) {
  for (const char* name : {"a.jpg", "b.bmp", "c.gif", "d.png", "e.tif", "f.jpeg", "PHOTO.JPG", "x.Bmp",
                           "my.photo.jpg", "photo.jpg.bak", ".jpg"}) {
    Touch(name);
  }
  Folder("dir.jpg");  // folders never count as pictures
  std::vector<std::string> found;
  ScanFolder(TempDir(), &found);
  auto names = Relative(found);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"/.jpg", "/a.jpg", "/b.bmp", "/c.gif", "/photo.jpg.bak"}));
}

TEST_F(ScanFolderTest, FilesOfAFolderComeBeforeItsSubFolders) {
  Folder("sub");
  Touch("sub/s.jpg");
  Folder("sub/deeper");
  Touch("sub/deeper/d.gif");
  Touch("t.jpg");
  Folder(".cache");
  Touch(".cache/c.jpg");
  Folder("shown");  // listed in .hidden, which file managers hide; still entered
  Touch("shown/h.bmp");
  Touch(".hidden");
  ASSERT_TRUE(testsupport::WriteFileText(PathIn(".hidden"), "shown\n"));

  std::vector<std::string> found;
  ScanFolder(TempDir() + "/", &found);  // a folder given with its separator gets no second one
  const auto names = Relative(found);
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0], "/t.jpg");
  const auto s = std::find(names.begin(), names.end(), "/sub/s.jpg");
  const auto d = std::find(names.begin(), names.end(), "/sub/deeper/d.gif");
  ASSERT_NE(s, names.end());
  ASSERT_NE(d, names.end());
  EXPECT_EQ(d, s + 1);  // pre-order: sub's own file, then its sub-folder's
  EXPECT_NE(std::find(names.begin(), names.end(), "/shown/h.bmp"), names.end());
}

TEST_F(ScanFolderTest, LinkCyclesEndAndEachFileComesOnce) {
  Folder("a");
  Touch("a/one.jpg");
  Folder("a/b");
  Touch("a/b/two.jpg");
  ASSERT_EQ(symlink("..", PathIn("a/b/up").c_str()), 0);        // back to a
  ASSERT_EQ(symlink(TempDir().c_str(), PathIn("a/top").c_str()), 0);  // back to the start
  std::vector<std::string> found;
  ScanFolder(TempDir(), &found);
  auto names = Relative(found);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"/a/b/two.jpg", "/a/one.jpg"}));
}

// Removes a tree whose paths may be too long to name whole.
void RemoveAt(int parent, const char* name) {
  const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    if (DIR* dir = fdopendir(fd)) {
      while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
          RemoveAt(fd, entry->d_name);
        }
      }
      closedir(dir);
    } else {
      close(fd);
    }
    unlinkat(parent, name, AT_REMOVEDIR);
  } else {
    unlinkat(parent, name, 0);
  }
}

TEST_F(ScanFolderTest, FolderTooDeepToOpenAddsNothingAndTheScanGoesOn) {
  // Even root cannot open a folder whose path is longer than the system takes.
  Folder("deep");
  Touch("deep/top.jpg");
  Folder("z");
  Touch("z/after.jpg");
  const std::string level(200, 'd');
  int fd = open(PathIn("deep").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  for (int depth = 0; depth < 25; ++depth) {  // 5,000 bytes and more below deep/
    ASSERT_EQ(mkdirat(fd, level.c_str(), 0755), 0);
    const int next = openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  const int file = openat(fd, "bottom.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(file, 0);
  close(file);
  close(fd);

  std::vector<std::string> found;
  ScanFolder(TempDir(), &found);
  auto names = Relative(found);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"/deep/top.jpg", "/z/after.jpg"}));
  RemoveAt(AT_FDCWD, PathIn("deep").c_str());
}

TEST_F(ScanFolderTest, RescansAppendAndMissingFoldersAddNothing) {
  Touch("a.jpg");
  std::vector<std::string> found;
  ScanFolder(TempDir(), &found);
  ScanFolder(TempDir(), &found);
  ScanFolder(PathIn("missing"), &found);
  EXPECT_EQ(Relative(found), (std::vector<std::string>{"/a.jpg", "/a.jpg"}));
}

}  // namespace
