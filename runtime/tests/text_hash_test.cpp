// The bucket function of the chained hash indexes: its exact values matter, because the
// indexes report how many chain steps they walked.
#include "runtime/text_hash.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace runtime {
namespace {

constexpr std::int32_t kMaxBuckets = std::numeric_limits<std::int32_t>::max();

TEST(TextHashTest, EmptyTextYieldsTheStartValueForAnyBucketCount) {
  EXPECT_EQ(textHash("", 16), 17);
  EXPECT_EQ(textHash("", 8192), 17);
  EXPECT_EQ(textHash("", 1), 17);
}

TEST(TextHashTest, KnownValues) {
  EXPECT_EQ(textHash("a", 8192), 562);
  EXPECT_EQ(textHash("A", 8192), 588);
  EXPECT_EQ(textHash("abc", 8192), 5879);
  EXPECT_EQ(textHash("abc", 16), 7);
  EXPECT_EQ(textHash(std::string(1, '\0'), 100), 32);
  EXPECT_EQ(textHash("record/animal/3", 8192), 800);
  EXPECT_EQ(textHash("caf\xC3\xA9", 8192), 2953);
  EXPECT_EQ(textHash("._-:/@", 1000000), 794234);
}

TEST(TextHashTest, EveryByteHasItsCode) {
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-:/@";
  for (int byte = 0; byte < 256; ++byte) {
    const std::size_t place = alphabet.find(static_cast<char>(byte));
    const int code = place == std::string::npos ? 71 : static_cast<int>(place) + 1;
    // With a bucket count this large a one-byte text is not reduced: 17 * 33 + code.
    EXPECT_EQ(textHash(std::string(1, static_cast<char>(byte)), 1 << 20), 561 + code) << "byte " << byte;
  }
}

TEST(TextHashTest, OneBucketYieldsZeroForEveryNonEmptyText) {
  for (const char* text : {"a", "abc", "Z", "\xFF", "record/animal/3"}) EXPECT_EQ(textHash(text, 1), 0) << text;
}

TEST(TextHashTest, ResultsStayInsideTheBucketTable) {
  for (std::int32_t buckets : {2, 7, 16, 8192, 65536}) {
    for (const char* text : {"a", "zz", "record/animal/3", "\xF0\x9F\x98\x80", "@@@@@@@@@@@@@@@@@@@@"}) {
      const std::int32_t h = textHash(text, buckets);
      EXPECT_GE(h, 0);
      EXPECT_LT(h, buckets);
    }
  }
}

// Power-of-two counts take a masked path; it must give the remainders of the definition.
TEST(TextHashTest, PowerOfTwoCountsGiveTheDefinedRemainders) {
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-:/@";
  for (std::int32_t buckets : {2, 16, 8192, 1 << 24, 1 << 25, 1 << 26, 1 << 30}) {
    for (const char* text : {"a", "16:command-sequence:0::-7", "\xF0\x9F\x98\x80", "@@@@@@@@@@@@@@@@@@@@"}) {
      std::int64_t h = 17;
      for (char c : std::string(text)) {
        const std::size_t place = alphabet.find(c);
        const std::int64_t code = place == std::string::npos ? 71 : static_cast<std::int64_t>(place) + 1;
        h = static_cast<std::int32_t>(static_cast<std::uint32_t>(h * 33 + code)) % buckets;
      }
      EXPECT_EQ(textHash(text, buckets), h) << buckets << " " << text;
    }
  }
}

TEST(TextHashTest, HugeBucketCountsWrapInThirtyTwoBits) {
  EXPECT_EQ(textHash("zzzzzzzzzz", kMaxBuckets), 662920341);
  // The product wraps past 2^31 and the truncating remainder keeps the negative sign.
  EXPECT_EQ(textHash("@@@@@@@@", kMaxBuckets), -1815350991);
  EXPECT_EQ(textHash("Z9Z9Z9Z9", kMaxBuckets), -603375655);
}

TEST(TextHashTest, BucketCountBelowOneDoesNotDivideByZero) {
  for (std::int32_t buckets : {0, -1, -8192, std::numeric_limits<std::int32_t>::min()}) {
    EXPECT_EQ(textHash("", buckets), 17) << buckets;
    EXPECT_EQ(textHash("abc", buckets), 0) << buckets;
    EXPECT_EQ(textHash("@@@@@@@@", buckets), 0) << buckets;
  }
}

}  // namespace
}  // namespace runtime
