#include "platform/text.h"

#include <gtest/gtest.h>

#include <limits>

namespace calvera {
namespace {

TEST(TextTest, DecimalTextHasNoLeadingZerosAndASignOnlyWhenNegative) {
  EXPECT_EQ(ToDecimal(0), u"0");
  EXPECT_EQ(ToDecimal(1024), u"1024");
  EXPECT_EQ(ToDecimal(-7), u"-7");
  EXPECT_EQ(ToDecimal(2147483648LL), u"2147483648");
  EXPECT_EQ(ToDecimal(std::numeric_limits<std::int64_t>::min()), u"-9223372036854775808");
}

TEST(TextTest, Utf8RoundTripsThroughUtf16) {
  const std::string text = "Calvera 서비스 Служба 😀";
  EXPECT_EQ(ToUtf8(FromUtf8(text)), text);
  EXPECT_EQ(FromUtf8("\xff"), u"\xFFFD");
}

}  // namespace
}  // namespace calvera
