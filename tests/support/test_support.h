#pragma once
// Helpers shared by the test programs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder of its own for each test, set as $TMPDIR, so pixel-store files of one test
// never meet another's. Removed with everything in it when the test ends.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  const std::string& TempDir() const { return dir_; }
  // A path inside the folder.
  std::string PathIn(const std::string& name) const { return dir_ + "/" + name; }
  // Names of PIXSPOOL*.tmp files left in the folder.
  std::vector<std::string> Spools() const;

 private:
  std::string dir_;
  std::string savedTmpdir_;
  bool hadTmpdir_ = false;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteFileText(const std::string& path, const std::string& text);
void RemoveTree(const std::string& path);

// The public picture corpus; empty when the folder is absent.
std::string CorpusDir();

}  // namespace testsupport

// Skips the test, visibly, when the corpus folder is absent.
#define SKIP_WITHOUT_CORPUS()                                                              \
  do {                                                                                     \
    if (::testsupport::CorpusDir().empty())                                                \
      GTEST_SKIP() << "picture corpus not found at " ZEPHLORA_CORPUS_DIR;                  \
  } while (0)
