// The record and edge validators and the property lookup.
#include "store/record.hpp"

#include <gtest/gtest.h>

#include <string>

#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::sampleEdge;
using testing::sampleRecord;

template <typename Change>
bool validAfter(Change change) {
  Record record = sampleRecord("r1");
  change(record);
  return validateRecord(record);
}

TEST(ValidateRecord, TextLengthsCountBytes) {
  EXPECT_TRUE(validateRecord(sampleRecord("r1")));
  EXPECT_TRUE(validAfter([](Record& r) { r.id = std::string(256, 'i'); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.id = std::string(257, 'i'); }));
  std::string twoByte;
  for (int i = 0; i < 128; ++i) twoByte += "\xC3\xA9";
  EXPECT_TRUE(validAfter([&](Record& r) { r.id = twoByte; }));
  EXPECT_FALSE(validAfter([&](Record& r) { r.id = twoByte + "\xC3\xA9"; }));
  EXPECT_FALSE(validAfter([](Record& r) { r.id.clear(); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.tenant.clear(); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.tenant = std::string(257, 't'); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.space.clear(); }));
  EXPECT_TRUE(validAfter([](Record& r) { r.space = std::string(512, 's'); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.space = std::string(513, 's'); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.container.clear(); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.container = std::string(257, 'c'); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.kind.clear(); }));
  EXPECT_TRUE(validAfter([](Record& r) { r.kind = std::string(128, 'k'); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.kind = std::string(129, 'k'); }));
  EXPECT_TRUE(validAfter([](Record& r) { r.content.clear(); }));
  EXPECT_TRUE(validAfter([](Record& r) { r.content = std::string(1048576, 'c'); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.content = std::string(1048577, 'c'); }));
  EXPECT_TRUE(validAfter([](Record& r) {
    r.purpose.clear();
    r.permissions = {"", ""};
  }));
}

TEST(ValidateRecord, Times) {
  auto times = [](std::int32_t created, std::int32_t updated, std::int32_t expires) {
    return validAfter([=](Record& r) {
      r.created = created;
      r.updated = updated;
      r.expires = expires;
    });
  };
  EXPECT_TRUE(times(0, 0, 0));
  EXPECT_FALSE(times(-1, 0, 0));
  EXPECT_FALSE(times(5, 4, 0));
  EXPECT_FALSE(times(5, 5, 5));
  EXPECT_TRUE(times(5, 9, 6));
  EXPECT_TRUE(times(5, 5, -1));
}

TEST(ValidateRecord, ListCountsAndProperties) {
  EXPECT_TRUE(validAfter([](Record& r) { r.permissions.assign(64, "p"); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.permissions.assign(65, "p"); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.compartments.assign(65, "c"); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.provenance.assign(65, "p"); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.contentRefs.assign(65, "c"); }));
  EXPECT_TRUE(validAfter([](Record& r) { r.properties.assign(256, {"k", "v"}); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.properties.assign(257, {"k", "v"}); }));
  EXPECT_TRUE(validAfter([](Record& r) { r.vector.assign(4096, 1.0f); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.vector.assign(4097, 1.0f); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.properties.push_back({"", "v"}); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.properties.push_back({std::string(257, 'k'), "v"}); }));
  EXPECT_TRUE(validAfter([](Record& r) { r.properties.push_back({"k", std::string(65536, 'v')}); }));
  EXPECT_FALSE(validAfter([](Record& r) { r.properties.push_back({"k", std::string(65537, 'v')}); }));
  EXPECT_TRUE(validAfter([](Record& r) { r.properties.push_back({"k", ""}); }));
}

TEST(ValidateRecord, ClassificationAndLifecycleWords) {
  for (const char* word : {"public", "internal", "confidential", "secret", "top_secret"}) {
    EXPECT_TRUE(validAfter([&](Record& r) { r.classification = word; })) << word;
  }
  for (const char* word : {"scratch", "session", "short_term", "long_term", "canonical", "archival", "forgotten"}) {
    EXPECT_TRUE(validAfter([&](Record& r) { r.lifecycle = word; })) << word;
  }
  EXPECT_FALSE(validAfter([](Record& r) { r.classification = "Public"; }));
  EXPECT_FALSE(validAfter([](Record& r) { r.classification = ""; }));
  EXPECT_FALSE(validAfter([](Record& r) { r.lifecycle = "short-term"; }));
  EXPECT_FALSE(validAfter([](Record& r) { r.lifecycle = "canonical "; }));
}

TEST(ValidateEdge, Rules) {
  EXPECT_TRUE(validateEdge(sampleEdge("e", "a", "b")));
  EXPECT_FALSE(validateEdge(sampleEdge("e", "a", "a")));
  EXPECT_FALSE(validateEdge(sampleEdge("", "a", "b")));
  EXPECT_FALSE(validateEdge(sampleEdge("e", "", "b")));
  EXPECT_FALSE(validateEdge(sampleEdge("e", "a", std::string(257, 'b'))));
  Edge edge = sampleEdge("e", "a", "b");
  edge.tenant.clear();
  EXPECT_FALSE(validateEdge(edge));
  edge = sampleEdge("e", "a", "b");
  edge.kind = std::string(129, 'k');
  EXPECT_FALSE(validateEdge(edge));
  edge.kind = std::string(128, 'k');
  EXPECT_TRUE(validateEdge(edge));
  edge.created = -1;
  EXPECT_FALSE(validateEdge(edge));
  edge = sampleEdge("e", "a", "b");
  edge.properties.assign(1000, {"", std::string(70000, 'v')});
  EXPECT_TRUE(validateEdge(edge));
}

TEST(RecordProperty, TakesTheFirstMatch) {
  Record record = sampleRecord("r");
  record.properties = {{"detail", "first"}, {"other", "x"}, {"detail", "second"}};
  EXPECT_EQ(recordProperty(record, "detail"), "first");
  EXPECT_EQ(recordProperty(record, "Detail"), "");
  EXPECT_EQ(recordProperty(record, "missing"), "");
}

}  // namespace
}  // namespace store
