// SPDX-License-Identifier: MIT
// The validation message: its code page 936 lines, their order and the cut.
#include "core/message.hpp"
#include "support.hpp"

#include <climits>

using pel::test::header;

namespace {

std::string shownCaption, shownText;
int shownCount = 0;
void capture(const char *caption, const char *text) {
  shownCaption = caption;
  shownText = text;
  ++shownCount;
}

class VerifyMessage : public ::testing::Test {
protected:
  void SetUp() override {
    shownCaption.clear();
    shownText.clear();
    shownCount = 0;
    pel::os::test::setMessageSink(capture);
  }
  void TearDown() override { pel::os::test::setMessageSink(nullptr); }
};

// The eight lines as GBK bytes, in bit order, with the values of `all` below.
const char *const kHeightLine = "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCD\xBC\xCF\xF1\xB8\xDF:-100!\n";
const char *const kResolutionLine =
    "\xB7\xD6\xB1\xE6\xC2\xCA\xD6\xB5\xB2\xBB\xCD\xEA\xD5\xFB:dpmx=0,dpmy=0!\n";

TEST_F(VerifyMessage, ShowsOneLinePerFlagInBitOrder) {
  BITMAPINFOHEADER h = header(10, -100, 8);
  h.biXPelsPerMeter = h.biYPelsPerMeter = 0;
  pelPopupVerifyBIHInfo(&h, PEL_BIH_RESOLUTION | PEL_BIH_HEIGHT);
  EXPECT_EQ(shownCount, 1);
  EXPECT_EQ(shownCaption, "pel error");
  EXPECT_EQ(shownText, std::string(kHeightLine) + kResolutionLine);
}

TEST_F(VerifyMessage, EveryLineWithItsValues) {
  BITMAPINFOHEADER h = header(-3, 7, 8);
  h.biSize = 41;
  h.biPlanes = 2;
  h.biBitCount = 5;
  h.biClrUsed = 9;
  h.biSizeImage = 11;
  h.biXPelsPerMeter = 12;
  h.biYPelsPerMeter = 0;
  const std::string expected =
      "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCD\xBC\xCF\xF1\xD0\xC5\xCF\xA2\xCD\xB7\xBD\xE1\xB9\xB9"
      "\xB3\xDF\xB4\xE7:41!\n"
      "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCD\xBC\xCF\xF1\xB8\xDF:7!\n"
      "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCE\xBB\xC3\xE6\xD6\xB5:2!\n"
      "\xCD\xBC\xCF\xF1\xBF\xED\xBB\xF2\xB8\xDF\xB2\xBB\xC4\xDC\xCE\xAA"
      "0:w=-3,h=7!\n"
      "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCE\xBB\xC9\xEE\xD6\xB5:5!\n"
      "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xD1\xD5\xC9\xAB\xCA\xB9\xD3\xC3\xCA\xFD:9!\n"
      "\xB2\xBB\xD5\xFD\xC8\xB7\xB5\xC4\xCF\xF1\xCB\xD8\xCA\xFD:11!\n"
      "\xB7\xD6\xB1\xE6\xC2\xCA\xD6\xB5\xB2\xBB\xCD\xEA\xD5\xFB:dpmx=12,dpmy=0!\n";
  pelPopupVerifyBIHInfo(&h, 0xFF);
  EXPECT_EQ(shownText, expected);
}

TEST_F(VerifyMessage, EmptyWordShowsAnEmptyBox) {
  BITMAPINFOHEADER h = header(1, 1, 1);
  pelPopupVerifyBIHInfo(&h, 0);
  EXPECT_EQ(shownCount, 1);
  EXPECT_EQ(shownText, "");
}

TEST_F(VerifyMessage, LongestTextIsCutBetweenWholeLines) {
  BITMAPINFOHEADER h{};
  h.biSize = 0x80000000u;
  h.biWidth = INT32_MIN;
  h.biHeight = INT32_MIN;
  h.biPlanes = 65535;
  h.biBitCount = 65535;
  h.biClrUsed = 0x80000000u;
  h.biSizeImage = 0x80000000u;
  h.biXPelsPerMeter = INT32_MIN;
  h.biYPelsPerMeter = INT32_MIN;
  char text[pel::detail::kMessageBytes + 1];
  const std::size_t n = pel::detail::composeVerifyMessage(h, 0xFF, text);
  EXPECT_EQ(n, std::strlen(text));
  EXPECT_LE(n, 255u);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(text[n - 1], '\n');
  // Seven of the eight lines fit; the resolution line is the one dropped.
  EXPECT_EQ(std::count(text, text + n, '\n'), 7);
  EXPECT_EQ(std::string(text).find("dpmx"), std::string::npos);
  EXPECT_EQ(std::string(text).rfind(":-2147483648!\n"), n - 14);
}

} // namespace
