// Owner fragment validation: each rule's message in rule order, the geometry edges, the owner and
// sub-owner rule and the command-by-command walk of the local transform and clip stack.
#include "render/fragment_validation.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace render {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

CommandRecord command(const char* owner, const char* kind) {
  CommandRecord c;
  c.owner = owner;
  c.kind = kind;
  return c;
}

OwnerFragment cardFragment() {
  OwnerFragment fragment;
  fragment.id = "card";
  fragment.generation = 1;
  fragment.layoutBounds = {0, 0, 100, 40};
  fragment.inkBounds = {-2, -2, 104, 44};
  fragment.dependencySignature = {"k1", "k2", "k3", "k4", "k5", "layout"};
  fragment.commands = {command("card", "rect")};
  fragment.source = "ui";
  return fragment;
}

void setKinds(OwnerFragment& f, std::initializer_list<const char*> kinds) {
  f.commands.clear();
  for (const char* kind : kinds) f.commands.push_back(command("card", kind));
}

struct FragmentCase {
  const char* name;
  std::function<void(OwnerFragment&)> change;
  std::string expected;
};

TEST(FragmentValidationTest, EachRuleReportsItsOwnMessageInOrder) {
  const std::string identity = "retained owner fragment requires bounded identity, positive generation, and source";
  const std::string layout = "fragment card layout bounds exceeds bounded retained geometry";
  const std::string ink = "fragment card ink bounds exceeds bounded retained geometry";
  const std::string positive = "fragment card requires positive layout and ink bounds";
  const std::string containment = "fragment card ink bounds must contain its layout bounds";
  const std::string keys =
      "fragment card: retained fragment dependency signature requires five nonempty keys and a source";
  const std::string count = "fragment card requires 1..4096 commands";
  const std::string underflow = "fragment card contains an underflowing local stack";
  const std::string balance = "fragment card must balance transform and clip state locally";
  const std::vector<FragmentCase> cases = {
      {"well formed", [](OwnerFragment&) {}, ""},
      {"id of 128 bytes", [](OwnerFragment& f) { f.id = std::string(128, 'c'), f.commands[0].owner = f.id; }, ""},
      {"ink equal to layout", [](OwnerFragment& f) { f.inkBounds = f.layoutBounds; }, ""},
      {"id of 129 bytes, whatever else",
       [](OwnerFragment& f) { f.id = std::string(129, 'c'), f.layoutBounds.x = kMin; }, identity},
      {"empty id", [](OwnerFragment& f) { f.id.clear(); }, identity},
      {"empty source", [](OwnerFragment& f) { f.source.clear(); }, identity},
      {"generation 0", [](OwnerFragment& f) { f.generation = 0; }, identity},
      {"layout x -1000000 passes", [](OwnerFragment& f) { f.layoutBounds.x = f.inkBounds.x = -1000000; }, ""},
      {"layout x -1000001", [](OwnerFragment& f) { f.layoutBounds.x = -1000001, f.inkBounds.x = kMax; }, layout},
      {"layout y 1000001", [](OwnerFragment& f) { f.layoutBounds.y = 1000001; }, layout},
      {"layout width -5", [](OwnerFragment& f) { f.layoutBounds.width = -5; }, layout},
      {"layout at the int32 extremes",
       [](OwnerFragment& f) {
         f.layoutBounds = {kMax, kMin, kMax, kMin};
       },
       layout},
      {"ink x at the most negative", [](OwnerFragment& f) { f.inkBounds.x = kMin; }, ink},
      {"ink width at the largest", [](OwnerFragment& f) { f.inkBounds.width = kMax, f.layoutBounds.width = 0; }, ink},
      {"layout width 0", [](OwnerFragment& f) { f.layoutBounds.width = 0, f.inkBounds.x = 5; }, positive},
      {"ink height 0", [](OwnerFragment& f) { f.inkBounds.height = 0; }, positive},
      {"ink narrower on the right", [](OwnerFragment& f) { f.inkBounds = f.layoutBounds, --f.inkBounds.width; },
       containment},
      {"ink starts right of layout", [](OwnerFragment& f) { f.inkBounds.x = 1; }, containment},
      {"ink starts below layout", [](OwnerFragment& f) { f.inkBounds.y = 1; }, containment},
      {"ink shorter at the bottom",
       [](OwnerFragment& f) { f.inkBounds.height = 41, f.dependencySignature.key1.clear(); }, containment},
      {"far edges at the limits do not wrap",
       [](OwnerFragment& f) {
         f.layoutBounds = {1000000, 1000000, 1000000, 1000000};
         f.inkBounds = {999999, 999999, 1000000, 1000000};
       },
       containment},
      {"empty key1", [](OwnerFragment& f) { f.dependencySignature.key1.clear(), f.commands.clear(); }, keys},
      {"empty key5", [](OwnerFragment& f) { f.dependencySignature.key5.clear(); }, keys},
      {"empty dependency source", [](OwnerFragment& f) { f.dependencySignature.source.clear(); }, keys},
      {"no commands", [](OwnerFragment& f) { f.commands.clear(); }, count},
      {"4097 commands", [](OwnerFragment& f) { f.commands.resize(4097, f.commands[0]); }, count},
      {"4096 commands", [](OwnerFragment& f) { f.commands.resize(4096, f.commands[0]); }, ""},
      {"sub-owner", [](OwnerFragment& f) { f.commands.push_back(command("card.title", "text")); }, ""},
      {"owner without the dot", [](OwnerFragment& f) { f.commands.push_back(command("cardx", "text")); },
       "fragment card contains foreign command owner cardx"},
      {"owner in other letter case", [](OwnerFragment& f) { f.commands.push_back(command("Card", "text")); },
       "fragment card contains foreign command owner Card"},
      {"empty owner ends in a blank", [](OwnerFragment& f) { f.commands.push_back(command("", "clipPop")); },
       "fragment card contains foreign command owner "},
      {"prefix of the id", [](OwnerFragment& f) { f.commands.push_back(command("car", "text")); },
       "fragment card contains foreign command owner car"},
      {"pushes and pops need not nest",
       [](OwnerFragment& f) {
         setKinds(f, {"clipPush", "transformPush", "clipPop", "transformPop"});
       },
       ""},
      {"sub-owners share the stack",
       [](OwnerFragment& f) {
         f.commands = {command("card.a", "clipPush"), command("card", "rect"), command("card.b", "clipPop")};
       },
       ""},
      {"first command pops",
       [](OwnerFragment& f) {
         setKinds(f, {"transformPop", "transformPush"});
       },
       underflow},
      {"clip pops below zero",
       [](OwnerFragment& f) {
         setKinds(f, {"clipPush", "clipPop", "clipPop"});
       },
       underflow},
      {"underflow before a later foreign owner",
       [](OwnerFragment& f) {
         setKinds(f, {"rect", "clipPop"});
         f.commands.push_back(command("other", "rect"));
       },
       underflow},
      {"owner rule before the command's stack effect",
       [](OwnerFragment& f) { f.commands = {command("other", "clipPop")}; },
       "fragment card contains foreign command owner other"},
      {"one clip push left open",
       [](OwnerFragment& f) {
         setKinds(f, {"rect", "clipPush", "text"});
       },
       balance},
      {"one transform push left open", [](OwnerFragment& f) { setKinds(f, {"transformPush"}); }, balance},
      {"capital T is another kind",
       [](OwnerFragment& f) {
         setKinds(f, {"TransformPush", "transformPush"});
       },
       balance},
      {"capital T pop changes nothing", [](OwnerFragment& f) { setKinds(f, {"TransformPop"}); }, ""},
  };
  for (const FragmentCase& c : cases) {
    SCOPED_TRACE(c.name);
    OwnerFragment fragment = cardFragment();
    c.change(fragment);
    EXPECT_EQ(validateOwnerFragment(fragment), c.expected);
  }
}

TEST(FragmentValidationTest, BoundedGeometryNamesItsLabel) {
  EXPECT_EQ(checkBoundedGeometry({-1000000, -1000000, 0, 0}, "box"), "");
  EXPECT_EQ(checkBoundedGeometry({1000000, 1000000, 1000000, 1000000}, "box"), "");
  EXPECT_EQ(checkBoundedGeometry({0, 0, 0, -1}, "box"), "box exceeds bounded retained geometry");
  EXPECT_EQ(checkBoundedGeometry({kMin, 0, 0, 0}, "{0} and |"), "{0} and | exceeds bounded retained geometry");
  EXPECT_EQ(checkBoundedGeometry({0, kMax, 0, 0}, ""), " exceeds bounded retained geometry");
}

}  // namespace
}  // namespace render
