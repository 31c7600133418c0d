// Every kept crasher file converts to its listed result, leaving nothing behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "engine/convert.h"
#include "support/test_support.h"

namespace {

class CrasherTest : public testsupport::TempDirTest {};

TEST_F(CrasherTest, EachGivesItsResult) {
  std::ifstream list(ZEPHLORA_CRASHERS_DIR "/crashers.txt");
  ASSERT_TRUE(list.good());
  std::string line;
  int count = 0;
  while (std::getline(list, line)) {
    std::istringstream fields(line);
    std::string name;
    int expected = 0;
    if (line.empty() || line[0] == '#' || !(fields >> name >> expected)) continue;
    SCOPED_TRACE(name);
    const std::string target = PathIn("out.jpg");
    EXPECT_EQ(ConvertToJpeg((ZEPHLORA_CRASHERS_DIR "/" + name).c_str(), target.c_str(), false, 75,
                            true, 0),
              expected);
    EXPECT_TRUE(Spools().empty());
    unlink(target.c_str());
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
