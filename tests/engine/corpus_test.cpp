// Every file of the public corpus, valid and broken, through ConvertToJpeg with its expected
// result: nothing crashes, nothing is left in the temporary folder, a refused file writes no
// target, and a written target is a JPEG of the picture's size.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "engine/bitmap.h"
#include "engine/convert.h"
#include "engine/load_image.h"
#include "jpeg_straight.h"
#include "support/test_support.h"

namespace {

std::map<std::string, int> ExpectedResults() {
  std::map<std::string, int> expected;
  std::ifstream in(ZEPHLORA_CORPUS_RESULTS);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string path;
    int result = 0;
    if (fields >> path >> result) expected[path] = result;
  }
  return expected;
}

std::set<std::string> CorpusFiles() {
  std::set<std::string> files;
  const std::string root = testsupport::CorpusDir();
  DIR* top = opendir(root.c_str());
  if (top == nullptr) return files;
  while (const dirent* folder = readdir(top)) {
    if (folder->d_name[0] == '.') continue;
    DIR* dir = opendir((root + "/" + folder->d_name).c_str());
    if (dir == nullptr) continue;
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') files.insert(std::string(folder->d_name) + "/" + entry->d_name);
    }
    closedir(dir);
  }
  closedir(top);
  return files;
}

class CorpusTest : public testsupport::TempDirTest {};

TEST_F(CorpusTest, EveryFileHasItsExpectedResult) {
  SKIP_WITHOUT_CORPUS();
  std::set<std::string> listed;
  for (const auto& [path, result] : ExpectedResults()) listed.insert(path);
  EXPECT_EQ(CorpusFiles(), listed);
}

TEST_F(CorpusTest, EachFileConvertsOrIsRefused) {
  SKIP_WITHOUT_CORPUS();
  const auto expected = ExpectedResults();
  ASSERT_FALSE(expected.empty());
  const std::string target = PathIn("out.jpg");
  for (const auto& [path, result] : expected) {
    SCOPED_TRACE(path);
    const std::string source = testsupport::CorpusDir() + "/" + path;
    EXPECT_EQ(ConvertToJpeg(source.c_str(), target.c_str(), false, 75, true, 0), result);
    EXPECT_TRUE(Spools().empty());
    if (result != Success) {
      EXPECT_NE(access(target.c_str(), F_OK), 0) << "a refused file wrote a target";
      continue;
    }
    Bitmap picture;
    ASSERT_EQ(LoadImage(source.c_str(), &picture), Success);
    jpegstraight::Raster written;
    ASSERT_TRUE(jpegstraight::Decode(testsupport::ReadFileBytes(target), &written));
    EXPECT_EQ(written.width, picture.Width());
    EXPECT_EQ(written.height, picture.Height());
    EXPECT_EQ(written.components, 3);
    picture.Release();
    unlink(target.c_str());
  }
}

}  // namespace
