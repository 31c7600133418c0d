#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "engine/file_functions.h"
#include "engine/mapped_buffer.h"
#include "engine/plain_buffer.h"
#include "engine/text_buffer.h"
#include "support/test_support.h"

namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileText;

class StorageTest : public testsupport::TempDirTest {
 protected:
  static mode_t Mode(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
  }
  static bool IsLink(const std::string& path) { return S_ISLNK(Mode(path)); }
};

TEST_F(StorageTest, MappedBufferLivesInAPrivateZeroFilledFile) {
  MappedBuffer buffer;
  ASSERT_EQ(buffer.Allocate(10, "PIXSPOOL"), 1);
  const std::string path = PathIn("PIXSPOOL0.tmp");
  EXPECT_STREQ(buffer.Path(), path.c_str());
  EXPECT_EQ(buffer.Size(), 10u);
  EXPECT_EQ(Mode(path) & 0777, 0600u);
  EXPECT_EQ(ReadFileBytes(path), std::vector<uint8_t>(10, 0));

  buffer.View()[3] = 0x5A;
  EXPECT_EQ(buffer.Flush(), 1);
  EXPECT_EQ(ReadFileBytes(path)[3], 0x5A);  // shared with the file

  EXPECT_EQ(buffer.Release(true), 1);
  EXPECT_EQ(access(path.c_str(), F_OK), -1);
  EXPECT_EQ(buffer.View(), nullptr);
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_STREQ(buffer.Path(), "");
}

TEST_F(StorageTest, ReleaseWithoutDeleteAndDestructionKeepTheFile) {
  {
    MappedBuffer buffer;
    ASSERT_EQ(buffer.Allocate(4, "PIXSPOOL"), 1);
    buffer.Release(false);
    MappedBuffer second;
    ASSERT_EQ(second.Allocate(4, "PIXSPOOL"), 1);
    EXPECT_STREQ(second.Path(), PathIn("PIXSPOOL1.tmp").c_str());
  }
  auto left = Spools();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"PIXSPOOL0.tmp", "PIXSPOOL1.tmp"}));
}

TEST_F(StorageTest, AllocateRefusals) {
  MappedBuffer buffer;
  EXPECT_EQ(buffer.Allocate(0, "PIXSPOOL"), 0);
  EXPECT_EQ(buffer.Allocate(10, ""), 0);
  EXPECT_EQ(buffer.Allocate(10, nullptr), 0);
  setenv("TMPDIR", PathIn("missing").c_str(), 1);
  EXPECT_EQ(buffer.Allocate(10, "PIXSPOOL"), 0);
  EXPECT_EQ(buffer.View(), nullptr);
  EXPECT_TRUE(Spools().empty());
}

TEST_F(StorageTest, PlantedFileAndSymlinkAreLeftAlone) {
  ASSERT_TRUE(WriteFileText(PathIn("victim"), "precious"));
  ASSERT_EQ(symlink(PathIn("victim").c_str(), PathIn("PIXSPOOL0.tmp").c_str()), 0);
  ASSERT_TRUE(WriteFileText(PathIn("PIXSPOOL1.tmp"), "someone else's"));
  ASSERT_EQ(symlink(PathIn("nowhere").c_str(), PathIn("PIXSPOOL2.tmp").c_str()), 0);

  MappedBuffer buffer;
  ASSERT_EQ(buffer.Allocate(64, "PIXSPOOL"), 1);
  EXPECT_STREQ(buffer.Path(), PathIn("PIXSPOOL3.tmp").c_str());
  buffer.Release(true);

  EXPECT_TRUE(IsLink(PathIn("PIXSPOOL0.tmp")));
  EXPECT_TRUE(IsLink(PathIn("PIXSPOOL2.tmp")));
  EXPECT_EQ(access(PathIn("nowhere").c_str(), F_OK), -1);  // the dangling link was not followed
  const auto victim = ReadFileBytes(PathIn("victim"));
  EXPECT_EQ(std::string(victim.begin(), victim.end()), "precious");
  const auto other = ReadFileBytes(PathIn("PIXSPOOL1.tmp"));
  EXPECT_EQ(std::string(other.begin(), other.end()), "someone else's");
}

TEST_F(StorageTest, GivenBackingPath) {
  MappedBuffer buffer;
  ASSERT_TRUE(WriteFileText(PathIn("store.bin"), "old contents that are longer"));
  ASSERT_EQ(buffer.Allocate(8, "X", PathIn("store.bin").c_str()), 1);
  EXPECT_EQ(ReadFileBytes(PathIn("store.bin")), std::vector<uint8_t>(8, 0));
  buffer.Release(true);
  EXPECT_EQ(access(PathIn("store.bin").c_str(), F_OK), -1);
  EXPECT_EQ(buffer.Allocate(8, "X", PathIn("missing/store.bin").c_str()), 0);
}

TEST_F(StorageTest, MakeTempFileNameTakesTheFirstFreeNumber) {
  ASSERT_TRUE(WriteFileText(PathIn("PIXSPOOL0.tmp"), ""));
  ASSERT_TRUE(WriteFileText(PathIn("PIXSPOOL1.tmp"), ""));
  TextBuffer name;
  ASSERT_EQ(MakeTempFileName(&name, "PIXSPOOL", nullptr), 1);
  EXPECT_STREQ(name.Text(), PathIn("PIXSPOOL2.tmp").c_str());
  EXPECT_EQ(access(name.Text(), F_OK), -1);  // chosen, not created

  ASSERT_EQ(mkdir(PathIn("other").c_str(), 0700), 0);
  ASSERT_EQ(MakeTempFileName(&name, "P", PathIn("other/").c_str()), 1);
  EXPECT_STREQ(name.Text(), PathIn("other/P0.tmp").c_str());
  EXPECT_EQ(MakeTempFileName(&name, "P", PathIn("missing").c_str()), 0);
  ASSERT_TRUE(WriteFileText(PathIn("plain"), ""));
  EXPECT_EQ(MakeTempFileName(&name, "P", PathIn("plain").c_str()), 0);
}

TEST_F(StorageTest, ExistenceAndDirectories) {
  ASSERT_TRUE(WriteFileText(PathIn("photo.jpg"), "x"));
  ASSERT_EQ(mkdir(PathIn("dir").c_str(), 0700), 0);
  EXPECT_EQ(FileExists(PathIn("photo.jpg").c_str()), 1);
  EXPECT_EQ(FileExists(PathIn("dir").c_str()), 1);
  EXPECT_EQ(FileExists(PathIn("*.jpg").c_str()), 1);
  EXPECT_EQ(FileExists(PathIn("*.png").c_str()), 0);
  EXPECT_EQ(FileExists(PathIn("missing").c_str()), 0);
  EXPECT_EQ(FileExists(""), 0);
  EXPECT_EQ(FileExists(nullptr), 0);

  EXPECT_EQ(IsDirectory(PathIn("dir").c_str()), 1);
  EXPECT_EQ(IsDirectory(PathIn("dir/").c_str()), 1);
  EXPECT_EQ(IsDirectory(PathIn("photo.jpg").c_str()), 0);
  EXPECT_EQ(IsDirectory(PathIn("missing").c_str()), 0);
  EXPECT_EQ(IsDirectory(""), 0);
}

TEST_F(StorageTest, DeleteFileIfExists) {
  ASSERT_TRUE(WriteFileText(PathIn("gone"), "x"));
  EXPECT_EQ(DeleteFileIfExists(PathIn("gone").c_str()), 1);
  EXPECT_EQ(access(PathIn("gone").c_str(), F_OK), -1);
  EXPECT_EQ(DeleteFileIfExists(PathIn("never").c_str()), 1);
  ASSERT_EQ(mkdir(PathIn("dir").c_str(), 0700), 0);
  EXPECT_EQ(DeleteFileIfExists(PathIn("dir").c_str()), 0);
}

TEST_F(StorageTest, StreamSizeRewinds) {
  ASSERT_TRUE(testsupport::WriteFileBytes(PathIn("k"), std::vector<uint8_t>(1000, 7)));
  FILE* stream = std::fopen(PathIn("k").c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  std::fgetc(stream);
  EXPECT_EQ(StreamSize(stream), 1000);
  EXPECT_EQ(std::ftell(stream), 0);
  std::fclose(stream);
  EXPECT_EQ(StreamSize(nullptr), 0);
}

TEST(TrailingSeparatorTest, AddAndRemove) {
  TextBuffer path;
  path.Assign("/tmp");
  EXPECT_EQ(AddTrailingBackslash(&path), 1);
  EXPECT_STREQ(path.Text(), "/tmp/");
  EXPECT_EQ(AddTrailingBackslash(&path), 1);
  EXPECT_STREQ(path.Text(), "/tmp/");
  EXPECT_EQ(RemoveTrailingBackslash(&path), 1);
  EXPECT_STREQ(path.Text(), "/tmp");
  EXPECT_EQ(RemoveTrailingBackslash(&path), 1);
  EXPECT_STREQ(path.Text(), "/tmp");

  TextBuffer empty;
  EXPECT_EQ(RemoveTrailingBackslash(&empty), 0);
  EXPECT_EQ(AddTrailingBackslash(&empty), 1);
  EXPECT_STREQ(empty.Text(), "/");
  EXPECT_EQ(RemoveTrailingBackslash(&empty), 1);
  EXPECT_TRUE(empty.Empty());

  // A path ending in a multi-byte character is measured by characters.
  TextBuffer wide;
  wide.Assign("/\xE5\x9B\xBE");  // /图
  AddTrailingBackslash(&wide);
  EXPECT_STREQ(wide.Text(), "/\xE5\x9B\xBE/");
}

TEST(PlainBufferTest, AllocateAndFree) {
  PlainBuffer buffer;
  EXPECT_EQ(buffer.Allocate(0), 0);
  EXPECT_EQ(buffer.Allocate(-5), 0);
  EXPECT_EQ(buffer.Data(), nullptr);
  ASSERT_EQ(buffer.Allocate(16), 1);
  EXPECT_EQ(buffer.Size(), 16);
  EXPECT_NE(buffer.Data(), nullptr);
  EXPECT_EQ(buffer.Free(), 1);
  EXPECT_EQ(buffer.Size(), 0);
  EXPECT_EQ(buffer.Data(), nullptr);
}

}  // namespace
