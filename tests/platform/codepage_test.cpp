#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

using platform::CharLength;
using platform::CodePage;

struct CharCase {
  const char* text;
  CodePage codePage;
  int length;
};

class CharLengthTest : public ::testing::TestWithParam<CharCase> {};

TEST_P(CharLengthTest, BytesOfTheFirstCharacter) {
  EXPECT_EQ(CharLength(GetParam().text, GetParam().codePage), GetParam().length)
      << "text starting with byte 0x" << std::hex
      << static_cast<int>(static_cast<unsigned char>(GetParam().text[0]));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CharLengthTest,
    ::testing::Values(
        CharCase{"", CodePage::Utf8, 0},                    // the end
        CharCase{"a", CodePage::Utf8, 1},
        CharCase{"\xC3\xA9", CodePage::Utf8, 2},            // é
        CharCase{"\xE4\xB8\xAD", CodePage::Utf8, 3},        // 中
        CharCase{"\xF0\x9F\x98\x80", CodePage::Utf8, 4},    // an emoji
        CharCase{"\x80x", CodePage::Utf8, 1},               // stray continuation byte
        CharCase{"\xE4\xB8", CodePage::Utf8, 1},            // cut short by the end
        CharCase{"\xE4" "a" "b", CodePage::Utf8, 1},        // not followed by continuations
        CharCase{"\xC0\xAF", CodePage::Utf8, 1},            // overlong "/" is no character
        CharCase{"\xED\xA0\x80", CodePage::Utf8, 1},        // surrogate
        CharCase{"\xFF", CodePage::Utf8, 1},
        CharCase{"", CodePage::Gbk936, 0},
        CharCase{"a", CodePage::Gbk936, 1},
        CharCase{"\xD6\xD0", CodePage::Gbk936, 2},          // 中
        CharCase{"\x81\x5C", CodePage::Gbk936, 2},          // trail byte that looks like "\"
        CharCase{"\xFE\x40", CodePage::Gbk936, 2},          // highest lead byte
        CharCase{"\x80\x40", CodePage::Gbk936, 1},          // 0x80 is no lead byte
        CharCase{"\xFF\x40", CodePage::Gbk936, 1},          // nor is 0xFF
        CharCase{"\xD6", CodePage::Gbk936, 1}),             // lead byte at the end
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(CodePageTest, SystemCodePageIsUtf8) {
  EXPECT_EQ(platform::SystemCodePage(), CodePage::Utf8);
}
