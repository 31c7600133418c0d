#include "skin/she_format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const std::string Sheet = "QWidget#窗口 { background: #f3f5f8; }\n";

TEST(SkinFile, PacksBehindTheSheMarkAndUnpacksWithThePassword) {
  const auto file = skin::PackSkin(Sheet, "mistlight");
  ASSERT_EQ(file.size(), skin::SkinHeaderSize + Sheet.size());
  EXPECT_EQ(std::memcmp(file.data(), ".SHE", 4), 0);
  // Scrambled: the text does not show through.
  EXPECT_EQ(std::string(file.begin(), file.end()).find("background"), std::string::npos);
  std::string text;
  ASSERT_TRUE(skin::UnpackSkin(file.data(), file.size(), "mistlight", &text));
  EXPECT_EQ(text, Sheet);
}

TEST(SkinFile, RefusesOtherPasswordsAndDamagedFiles) {
  const auto good = skin::PackSkin(Sheet, "mistlight");
  std::string text = "unchanged";
  EXPECT_FALSE(skin::UnpackSkin(good.data(), good.size(), "mistlighs", &text));
  EXPECT_FALSE(skin::UnpackSkin(good.data(), good.size(), "", &text));
  EXPECT_FALSE(skin::UnpackSkin(good.data(), good.size() - 1, "mistlight", &text));
  EXPECT_FALSE(skin::UnpackSkin(good.data(), skin::SkinHeaderSize - 1, "mistlight", &text));
  EXPECT_FALSE(skin::UnpackSkin(nullptr, 0, "mistlight", &text));
  for (size_t at : {size_t{0}, size_t{4}, size_t{5}, size_t{8}, size_t{12}, skin::SkinHeaderSize + 3}) {
    auto damaged = good;
    damaged[at] ^= 0x01;
    EXPECT_FALSE(skin::UnpackSkin(damaged.data(), damaged.size(), "mistlight", &text)) << at;
  }
  EXPECT_EQ(text, "unchanged");
}

TEST(SkinFile, LengthLimitIsABoundaryPair) {
  for (size_t length : {skin::SkinTextLimit, skin::SkinTextLimit + 1}) {
    const auto file = skin::PackSkin(std::string(length, 'a'), "mistlight");
    std::string text;
    EXPECT_EQ(skin::UnpackSkin(file.data(), file.size(), "mistlight", &text),
              length <= skin::SkinTextLimit)
        << length;
  }
  const auto empty = skin::PackSkin("", "mistlight");
  std::string text = "x";
  EXPECT_TRUE(skin::UnpackSkin(empty.data(), empty.size(), "mistlight", &text));
  EXPECT_EQ(text, "");
}

}  // namespace
