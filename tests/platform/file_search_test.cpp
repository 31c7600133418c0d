#include "platform/file_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <set>

#include "support/test_support.h"

using platform::FileSearch;
using platform::FindData;

namespace {

struct PatternCase {
  const char* pattern;
  const char* name;
  bool matches;
};

class MatchesPatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(MatchesPatternTest, WindowsWildcards) {
  EXPECT_EQ(platform::MatchesPattern(GetParam().pattern, GetParam().name), GetParam().matches)
      << GetParam().pattern << " against " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchesPatternTest,
    ::testing::Values(PatternCase{"*.*", "noext", true},  // as on Windows
                      PatternCase{"*.*", ".hidden", true},
                      PatternCase{"*", "anything.at.all", true},
                      PatternCase{"*.jpg", "a.jpg", true},
                      PatternCase{"*.jpg", "a.jpeg", false},
                      PatternCase{"*.jpg", "a.JPG", false},  // names are case-sensitive here
                      PatternCase{"a?c", "abc", true},
                      PatternCase{"a?c", "ac", false},
                      PatternCase{"a?c", "a\xE4\xB8\xAD" "c", true},  // ? takes 中 whole
                      PatternCase{"*a*b", "xxaxxab", true},
                      PatternCase{"*a*b", "xxaxxa", false},
                      PatternCase{"[a]", "[a]", true},  // no bracket classes
                      PatternCase{"[a]", "a", false},
                      PatternCase{"PIXSPOOL0.tmp", "PIXSPOOL0.tmp", true},
                      PatternCase{"PIXSPOOL0.tmp", "PIXSPOOL00.tmp", false}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

class FileSearchTest : public testsupport::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_TRUE(testsupport::WriteFileText(PathIn("a.jpg"), "a"));
    ASSERT_TRUE(testsupport::WriteFileText(PathIn("b.txt"), "b"));
    ASSERT_TRUE(testsupport::WriteFileText(PathIn(".hidden"), "h"));
    ASSERT_EQ(mkdir(PathIn("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("sub", PathIn("linked").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", PathIn("dangling").c_str()), 0);
  }

  std::map<std::string, FindData> SearchAll(const std::string& pattern) {
    std::map<std::string, FindData> found;
    FileSearch search;
    FindData data;
    for (bool more = search.First(pattern.c_str(), &data); more; more = search.Next(&data)) {
      EXPECT_EQ(found.count(data.name), 0u) << data.name << " returned twice";
      found[data.name] = data;
    }
    return found;
  }
};

TEST_F(FileSearchTest, StarDotStarListsEverythingWithDotEntries) {
  const auto found = SearchAll(PathIn("*.*"));
  std::set<std::string> names;
  for (const auto& entry : found) names.insert(entry.first);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "a.jpg", "b.txt", ".hidden", "sub", "linked",
                                          "dangling"}));
}

TEST_F(FileSearchTest, AttributeBits) {
  const auto found = SearchAll(PathIn("*"));
  using namespace platform;
  EXPECT_EQ(found.at("a.jpg").attributes, 0u);
  EXPECT_EQ(found.at(".hidden").attributes, AttributeHidden);
  EXPECT_EQ(found.at("sub").attributes, AttributeDirectory);
  EXPECT_EQ(found.at("linked").attributes, AttributeDirectory | AttributeReparsePoint);
  EXPECT_EQ(found.at("dangling").attributes, AttributeReparsePoint);
  // A link leads to the identity of its target, which is how a scan recognises a folder again.
  EXPECT_EQ(found.at("linked").inode, found.at("sub").inode);
  EXPECT_EQ(found.at("linked").device, found.at("sub").device);
}

TEST_F(FileSearchTest, BasicDetailKeepsTheKindBits) {
  const auto full = SearchAll(PathIn("*"));
  std::map<std::string, FindData> basic;
  FileSearch search;
  FindData data;
  for (bool more = search.First(PathIn("*").c_str(), &data, platform::FindDetail::Basic); more;
       more = search.Next(&data)) {
    basic[data.name] = data;
  }
  ASSERT_EQ(basic.size(), full.size());
  for (const auto& [name, entry] : full) {
    EXPECT_EQ(basic.at(name).attributes, entry.attributes & ~platform::AttributeReadOnly) << name;
  }
  EXPECT_EQ(basic.at("linked").inode, full.at("sub").inode);
}

TEST_F(FileSearchTest, WildcardSelects) {
  const auto found = SearchAll(PathIn("*.jpg"));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found.begin()->first, "a.jpg");
}

TEST_F(FileSearchTest, PlainNameFindsOneEntry) {
  EXPECT_EQ(SearchAll(PathIn("b.txt")).size(), 1u);
  EXPECT_EQ(SearchAll(PathIn("sub")).size(), 1u);
  EXPECT_EQ(SearchAll(PathIn("dangling")).size(), 1u);  // the entry exists, its target does not
  EXPECT_TRUE(SearchAll(PathIn("missing")).empty());
}

TEST_F(FileSearchTest, NothingFoundCases) {
  EXPECT_TRUE(SearchAll(PathIn("sub/")).empty());             // names no entry
  EXPECT_TRUE(SearchAll(PathIn("missing/*.*")).empty());      // folder absent
  EXPECT_TRUE(SearchAll(PathIn("*.png")).empty());
  EXPECT_TRUE(SearchAll("").empty());
  FileSearch search;
  FindData data;
  EXPECT_FALSE(search.First(nullptr, &data));
  EXPECT_FALSE(search.Next(&data));  // after a failed start
}

}  // namespace
