#include "engine/text_buffer.h"

#include <gtest/gtest.h>

#include <string>

using platform::CodePage;

namespace {

// Two double-byte characters then two letters: 中文ab in each code page.
struct Sample {
  CodePage codePage;
  const char* text;
  int size;
  const char* lastThree;  // 文ab
  const char* firstOne;   // 中
  const char* middle;     // 文a
};

class TextBufferCodePageTest : public ::testing::TestWithParam<Sample> {};

TEST_P(TextBufferCodePageTest, CountsCharactersNotBytes) {
  const Sample& s = GetParam();
  TextBuffer text(s.codePage);
  ASSERT_EQ(text.Assign(s.text), 1);
  EXPECT_EQ(text.Length(), 4);
  EXPECT_EQ(text.Size(), s.size);

  TextBuffer piece(s.codePage);
  ASSERT_EQ(text.Right(&piece, 3), 1);
  EXPECT_STREQ(piece.Text(), s.lastThree);
  EXPECT_EQ(piece.Length(), 3);
  ASSERT_EQ(text.Left(&piece, 1), 1);
  EXPECT_STREQ(piece.Text(), s.firstOne);
  ASSERT_EQ(text.Mid(&piece, 2, 2), 1);
  EXPECT_STREQ(piece.Text(), s.middle);
}

TEST_P(TextBufferCodePageTest, LeftAndRightBeyondTheLengthLeaveTheResult) {
  TextBuffer text(GetParam().codePage), piece(GetParam().codePage);
  text.Assign(GetParam().text);
  piece.Assign("kept");
  EXPECT_EQ(text.Right(&piece, 5), 0);
  EXPECT_EQ(text.Left(&piece, 5), 0);
  EXPECT_STREQ(piece.Text(), "kept");
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, TextBufferCodePageTest,
    ::testing::Values(Sample{CodePage::Gbk936, "\xD6\xD0\xCE\xC4" "ab", 7, "\xCE\xC4" "ab", "\xD6\xD0",
                             "\xCE\xC4" "a"},
                      Sample{CodePage::Utf8, "\xE4\xB8\xAD\xE6\x96\x87" "ab", 9,
                             "\xE6\x96\x87" "ab", "\xE4\xB8\xAD", "\xE6\x96\x87" "a"}),
    [](const auto& info) {
      return info.param.codePage == CodePage::Gbk936 ? std::string("Gbk936") : std::string("Utf8");
    });

TEST(TextBufferTest, EmptyTextsFail) {
  TextBuffer text;
  EXPECT_EQ(text.Assign(""), 0);
  EXPECT_EQ(text.Assign(nullptr), 0);
  EXPECT_TRUE(text.Empty());
  EXPECT_EQ(text.Length(), 0);
  EXPECT_EQ(text.Size(), 0);
  EXPECT_STREQ(text.Text(), "");

  ASSERT_EQ(text.Assign("abc"), 1);
  EXPECT_EQ(text.Append(""), 0);
  EXPECT_EQ(text.Append(nullptr), 0);
  EXPECT_STREQ(text.Text(), "abc");
  EXPECT_EQ(text.Assign(""), 0);  // a failed Assign empties
  EXPECT_TRUE(text.Empty());
}

TEST(TextBufferTest, AppendAndNumbers) {
  TextBuffer text;
  EXPECT_EQ(text.Append("x"), 1);  // an empty buffer appends as Assign
  EXPECT_EQ(text.AppendNumber(-12), 1);
  EXPECT_STREQ(text.Text(), "x-12");
  EXPECT_EQ(text.AppendNumber(2147483647), 1);
  EXPECT_EQ(text.AppendNumber(-2147483647 - 1), 1);
  EXPECT_STREQ(text.Text(), "x-122147483647-2147483648");
  EXPECT_EQ(text.Size(), 26);
}

TEST(TextBufferTest, MidEdges) {
  TextBuffer text, piece;
  EXPECT_EQ(text.Mid(&piece, 1, 1), 0);  // empty source
  text.Assign("hello");
  EXPECT_EQ(text.Mid(&piece, 0, 3), 0);  // a start below 1 skips everything
  EXPECT_TRUE(piece.Empty());
  EXPECT_EQ(text.Mid(&piece, 4, 10), 1);  // stops at the end
  EXPECT_STREQ(piece.Text(), "lo");
  EXPECT_EQ(text.Mid(&piece, 6, 1), 0);
  EXPECT_EQ(text.Mid(&piece, 2, 0), 0);
  EXPECT_EQ(text.Right(&piece, 0), 0);
}

TEST(TextBufferTest, PiecesMayLandInTheSameBuffer) {
  TextBuffer text;
  text.Assign("/tmp/dir/");
  ASSERT_EQ(text.Left(&text, text.Length() - 1), 1);
  EXPECT_STREQ(text.Text(), "/tmp/dir");
  ASSERT_EQ(text.Assign(text.Text() + 5), 1);
  EXPECT_STREQ(text.Text(), "dir");
  ASSERT_EQ(text.Append(text.Text()), 1);
  EXPECT_STREQ(text.Text(), "dirdir");
  EXPECT_EQ(text.Assign(text), 1);
  EXPECT_STREQ(text.Text(), "dirdir");
}

TEST(TextBufferTest, Equals) {
  TextBuffer text;
  text.Assign("PIXSPOOL.tmp");
  EXPECT_EQ(text.Equals("PIXSPOOL.tmp", false), 1);
  EXPECT_EQ(text.Equals("pixspool.TMP", false), 0);
  EXPECT_EQ(text.Equals("pixspool.TMP", true), 1);
  EXPECT_EQ(text.Equals("PIXSPOOL", true), 0);
  TextBuffer empty;
  EXPECT_EQ(empty.Equals("", false), 1);
  EXPECT_EQ(empty.Equals(nullptr, false), 1);
}

}  // namespace
