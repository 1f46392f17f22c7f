// Base64: encoding into a buffer and decoding.
#include "helpers/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace korvane {
namespace {

TEST(Base64, EncodesIntoTheCallersBufferAndReturnsItsEnd) {
  char buffer[16] = "...............";
  const char* const end = Base64Encode("foob", buffer);
  EXPECT_EQ(end - buffer, static_cast<long>(Base64Length(4)));
  EXPECT_EQ(std::string(static_cast<const char*>(buffer), end), "Zm9vYg==");
  EXPECT_EQ(buffer[8], '.');  // nothing written beyond the text
  EXPECT_EQ(Base64Length(0), 0u);
  EXPECT_EQ(Base64Length(1), 4u);
  EXPECT_EQ(Base64Length(3), 4u);
  EXPECT_EQ(Base64Length(4), 8u);
}

TEST(Base64, DecodesWhatItEncodesForEveryByteValueAndLength) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  for (size_t n = 0; n <= bytes.size(); ++n) {
    const std::string part = bytes.substr(bytes.size() - n);
    const std::string text = Base64Encode(part);
    ASSERT_EQ(text.size(), Base64Length(n));
    ASSERT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(Base64Decode(text), part) << n;
  }
}

TEST(Base64, RefusesTextThatIsNotBase64) {
  EXPECT_FALSE(Base64Decode("a"));
  EXPECT_FALSE(Base64Decode("aGVs*"));
  EXPECT_FALSE(Base64Decode("aG=Vs"));
  EXPECT_FALSE(Base64Decode("aGVsbG8=\x80"));
  EXPECT_EQ(Base64Decode(" aGVs\tbG8=\r\n"), "hello");
}

}  // namespace
}  // namespace korvane
