// Seeded random sequences of bindings, updates, evaluations, preparations, commits (fresh,
// stale, foreign, repeated, changed, of the wrong kind), candidate batches (fresh, stale,
// reordered, repeated) and closes, run against the store and against a small plain model of
// what it must hold; both must agree after every step, and a step that commits nothing leaves
// the store's description and tables exactly as they were.
// RETAINED_MODEL_SEQUENCES sets the number of sequences (the default is smaller in slow builds).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "protocol_fixtures.hpp"
#include "render/signatures.hpp"
#include "retained/operation_result.hpp"
#include "retained/prepared_admission.hpp"
#include "retained/prepared_candidate_batch.hpp"
#include "retained/resource_key_index.hpp"
#include "retained/retained_resource_store.hpp"
#include "runtime/text.hpp"

#ifndef RETAINED_MODEL_SEQUENCES_DEFAULT
#define RETAINED_MODEL_SEQUENCES_DEFAULT 3000
#endif

namespace retained {
namespace {

using namespace retained::testing;
using runtime::formatText;
using runtime::intToText;

constexpr int kOwnerIds = 5;
constexpr int kStepsPerSequence = 40;

Text decimal(std::uint32_t value) { return intToText(static_cast<std::int32_t>(value)); }

struct ModelOwner {
  Text id;
  std::int32_t generation = 0;
  std::vector<render::CommandRecord> commands;
};

// What the store must hold: owners in row order with their commands, resources by id (images by
// id and generation), the revision and whether it is closed.
struct Model {
  bool closed = false;
  std::uint32_t revision = 0;
  std::uint32_t admissions = 0;
  std::vector<ModelOwner> owners;
  std::map<Text, render::PaintRecord> paints;
  std::map<std::pair<Text, std::int32_t>, render::ImageRecord> images;

  ModelOwner* owner(const Text& id) {
    for (ModelOwner& o : owners) {
      if (o.id == id) {
        return &o;
      }
    }
    return nullptr;
  }
};

struct Verdict {
  bool ok = false;
  Text message;
  Model after;
};

// The admission rules written plainly over the model: the verdict and the model it leaves.
Verdict evaluateInModel(const Model& model, const render::OwnerFragment& fragment, const render::ResourceDelta& delta,
                        std::uint32_t expectedRevision, std::uint8_t kind) {
  const Text& id = fragment.id;
  auto refuse = [&model](Text message) { return Verdict{false, std::move(message), model}; };
  auto ownerText = [&id](const char* templ, std::vector<Text> more = {}) {
    more.insert(more.begin(), id);
    return formatText(templ, more);
  };
  if (model.closed) {
    return refuse("retained resource store is not open");
  }
  if (expectedRevision != model.revision) {
    return refuse(formatText("retained resource store stale revision: expected {0}, current {1}",
                             {decimal(expectedRevision), decimal(model.revision)}));
  }
  Model after = model;
  ModelOwner* bound = after.owner(id);
  if (kind != 0 && bound != nullptr) {
    return refuse(ownerText("retained resource owner {0} is already bound"));
  }
  if (kind == 0 && bound == nullptr) {
    return refuse(ownerText("retained resource owner {0} requires an initial binding"));
  }
  const std::vector<render::CommandRecord>& commands = fragment.commands;
  if (kind == 0) {
    if (fragment.generation <= bound->generation) {
      return refuse(ownerText("retained resource owner {0} requires a newer fragment generation"));
    }
    const Text range = ownerText("retained resource owner {0} must preserve its exact command range");
    if (commands.size() != bound->commands.size()) {
      return refuse(range);
    }
    for (std::size_t j = 0; j < commands.size(); ++j) {
      const render::CommandRecord& was = bound->commands[j];
      if (commands[j].sequence != was.sequence) {
        return refuse(range);
      }
      if (commands[j].kind == "image" && was.kind == "image" && was.resourceId == commands[j].resourceId &&
          commands[j].imageGeneration < was.imageGeneration) {
        return refuse(
            ownerText("retained resource owner {0} image {1} generation regressed from {2} to {3}",
                      {was.resourceId, intToText(was.imageGeneration), intToText(commands[j].imageGeneration)}));
      }
    }
  } else {
    const std::int32_t first = commands.front().sequence;
    const std::int32_t last = commands.back().sequence;
    for (const ModelOwner& other : after.owners) {
      if (first <= other.commands.back().sequence && last >= other.commands.front().sequence) {
        return refuse(ownerText("retained resource owner {0} command range overlaps {1}", {other.id}));
      }
    }
  }
  for (const render::PaintRecord& paint : delta.paints) {
    const auto known = after.paints.find(paint.id);
    if (known == after.paints.end()) {
      after.paints.emplace(paint.id, paint);
    } else if (render::encodePaintSignature(known->second) != render::encodePaintSignature(paint)) {
      return refuse(formatText("retained paint identity collision for {0}", {paint.id}));
    }
  }
  for (const render::ImageRecord& image : delta.images) {
    const auto known = after.images.find({image.id, image.generation});
    if (known != after.images.end()) {
      if (render::encodeImageSignature(known->second) != render::encodeImageSignature(image)) {
        return refuse(
            formatText("retained image identity collision for {0}@{1}", {image.id, intToText(image.generation)}));
      }
      continue;
    }
    std::int32_t latest = 0;
    for (const auto& [identity, record] : after.images) {
      if (identity.first == image.id) {
        latest = std::max(latest, identity.second);
      }
    }
    if (latest > image.generation) {
      return refuse(formatText("retained image {0} generation regressed from {1} to {2}",
                               {image.id, intToText(latest), intToText(image.generation)}));
    }
    after.images.emplace(std::make_pair(image.id, image.generation), image);
  }
  for (const render::CommandRecord& command : commands) {
    if (!command.paintId.empty() && after.paints.count(command.paintId) == 0) {
      return refuse(ownerText("retained resource owner {0} references missing paint {1}", {command.paintId}));
    }
    if (command.kind == "image" && after.images.count({command.resourceId, command.imageGeneration}) == 0) {
      return refuse(ownerText("retained resource owner {0} references missing image {1}@{2}",
                              {command.resourceId, intToText(command.imageGeneration)}));
    }
  }
  if (kind != 0) {
    std::set<std::int32_t> seen;
    for (const render::CommandRecord& command : commands) {
      if (!seen.insert(command.sequence).second) {
        return refuse(
            ownerText("retained resource owner {0} repeats command sequence {1}", {intToText(command.sequence)}));
      }
      for (const ModelOwner& other : model.owners) {
        for (const render::CommandRecord& held : other.commands) {
          if (held.sequence == command.sequence) {
            return refuse(ownerText("retained resource owner {0} command sequence {1} is held by {2}",
                                    {intToText(command.sequence), other.id}));
          }
        }
      }
    }
    after.owners.push_back({id, fragment.generation, commands});
  } else {
    bound->generation = fragment.generation;
    bound->commands = commands;
  }
  after.revision += 1;
  after.admissions += 1;
  return {true, "ok", std::move(after)};
}

// A batch of updates, each item seeing the earlier items' resources as if stored.
Verdict prepareBatchInModel(const Model& model, const std::vector<render::OwnerFragment>& fragments,
                            const std::vector<render::ResourceDelta>& deltas, std::uint32_t expectedRevision) {
  auto refuse = [&model](Text message) { return Verdict{false, std::move(message), model}; };
  if (model.closed) {
    return refuse("retained resource store is not open");
  }
  if (expectedRevision != model.revision) {
    return refuse(formatText("retained resource store stale revision: expected {0}, current {1}",
                             {decimal(expectedRevision), decimal(model.revision)}));
  }
  std::set<Text> owners;
  std::set<std::int32_t> sequences;
  for (const render::OwnerFragment& fragment : fragments) {
    if (!owners.insert(fragment.id).second) {
      return refuse(formatText("retained resource candidate batch duplicates owner {0}", {fragment.id}));
    }
    for (const render::CommandRecord& command : fragment.commands) {
      if (!sequences.insert(command.sequence).second) {
        return refuse(formatText("retained resource candidate batch duplicates command sequence {0}",
                                 {intToText(command.sequence)}));
      }
    }
  }
  Model working = model;
  for (std::size_t i = 0; i < fragments.size(); ++i) {
    Verdict item = evaluateInModel(working, fragments[i], deltas[i], working.revision, 0);
    if (!item.ok) {
      return refuse(formatText("retained resource candidate batch item {0}: {1}",
                               {intToText(static_cast<std::int32_t>(i)), item.message}));
    }
    working = std::move(item.after);
  }
  working.revision = model.revision + 1;
  working.admissions = model.admissions + 1;
  return {true, "ok", std::move(working)};
}

// Every owner, command reference and resource of the model read back through the store's
// public accessors; owners the model does not hold must be unknown to the store.
void expectAgreement(const RetainedResourceStore& store, const Model& model) {
  ASSERT_EQ(store.state(), model.closed ? "closed" : "open");
  ASSERT_EQ(store.revision(), model.revision);
  ASSERT_EQ(store.admissionCount(), model.admissions);
  ASSERT_EQ(store.ownerCount(), model.owners.size());
  ASSERT_EQ(store.paintCount(), model.paints.size());
  ASSERT_EQ(store.imageCount(), model.images.size());
  std::uint32_t commands = 0;
  for (std::size_t row = 0; row < model.owners.size(); ++row) {
    const ModelOwner& owner = model.owners[row];
    const auto r = static_cast<std::int32_t>(row);
    ASSERT_EQ(store.findOwner(owner.id), r) << owner.id;
    ASSERT_EQ(store.ownerGeneration(r), owner.generation) << owner.id;
    for (std::size_t j = 0; j < owner.commands.size(); ++j) {
      const render::CommandRecord& command = owner.commands[j];
      const auto position = static_cast<std::uint32_t>(j);
      ASSERT_EQ(store.findCommandOwner(command), r) << owner.id << " command " << command.sequence;
      const std::int32_t paint = store.ownerCommandRef1(r, position);
      ASSERT_EQ(paint < 0 ? Text() : store.storedPaint(paint).id, command.paintId);
      const std::int32_t image = store.ownerCommandRef2(r, position);
      if (command.kind == "image") {
        ASSERT_GE(image, 0);
        ASSERT_EQ(store.storedImage(image).id, command.resourceId);
        ASSERT_EQ(store.storedImage(image).generation, command.imageGeneration);
      } else {
        ASSERT_EQ(image, -1);
      }
    }
    commands += static_cast<std::uint32_t>(owner.commands.size());
  }
  ASSERT_EQ(store.commandCount(), commands);
  for (int k = 0; k < kOwnerIds; ++k) {
    const Text id = "o" + std::to_string(k);
    bool held = false;
    for (const ModelOwner& owner : model.owners) {
      held = held || owner.id == id;
    }
    if (!held) {
      ASSERT_EQ(store.findOwner(id), -1) << id;
    }
  }
  for (const auto& [id, paint] : model.paints) {
    const std::int32_t row = store.indexGet(resourceKey("paint", id, 0));
    ASSERT_GE(row, 0) << id;
    ASSERT_EQ(render::encodePaintSignature(store.storedPaint(row)), render::encodePaintSignature(paint));
  }
  for (const auto& [identity, image] : model.images) {
    const std::int32_t row = store.indexGet(resourceKey("image-generation", identity.first, identity.second));
    ASSERT_GE(row, 0) << identity.first;
    ASSERT_EQ(render::encodeImageSignature(store.storedImage(row)), render::encodeImageSignature(image));
  }
}

struct Preparation {
  std::shared_ptr<PreparedAdmission> prepared;
  render::OwnerFragment fragment;
  render::ResourceDelta delta;
  std::uint8_t kind = 0;
  bool accepted = false;
  Text name;
  std::uint32_t revision = 0;
  Model after;
  bool consumed = false;  // a commit of it went through
};

// One random sequence: the generator, the store, a foreign store and the model.
class Sequence {
 public:
  explicit Sequence(std::uint32_t seed) : random_(seed) {}

  void run() {
    for (int step = 0; step < kStepsPerSequence; ++step) {
      const Text before = storeSnapshot(store_);
      const std::uint32_t revision = model_.revision;
      const int pick = below(100);
      if (pick < 22) {
        single(1);
      } else if (pick < 40) {
        single(0);
      } else if (pick < 55) {
        prepare();
      } else if (pick < 75) {
        commit();
      } else if (pick < 90) {
        batch();
      } else if (pick < 99) {
        evaluate();
      } else {
        close();
      }
      SCOPED_TRACE(::testing::Message() << "step " << step << ": " << lastStep_);
      expectAgreement(store_, model_);
      if (model_.revision == revision) {
        // Nothing was committed: every refusal leaves the description and every table as they were.
        ASSERT_EQ(storeSnapshot(store_), before);
      }
      ASSERT_EQ(foreign_.revision(), 0U);
      ASSERT_EQ(foreign_.ownerCount(), 0U);
      if (::testing::Test::HasFatalFailure() || ::testing::Test::HasNonfatalFailure()) {
        return;
      }
    }
  }

 private:
  int below(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }

  std::uint32_t expectedRevision() {
    if (chance(8)) {
      return model_.revision + (chance(50) ? 1U : static_cast<std::uint32_t>(-1));
    }
    return model_.revision;
  }

  render::CommandRecord randomCommand(std::int32_t sequence, const Text& owner) {
    if (chance(30)) {
      return imageCommand(sequence, owner, "i" + std::to_string(below(2)), 1 + below(3));
    }
    return drawCommand(sequence, owner, chance(30) ? Text() : "p" + std::to_string(below(4)));
  }

  render::ResourceDelta randomDelta() {
    render::ResourceDelta delta = emptyDelta();
    for (int n = below(3); n > 0; --n) {
      delta.paints.push_back(paintOf("p" + std::to_string(below(4)), 1 + below(100) / 90));
    }
    for (int n = below(3); n > 0; --n) {
      delta.images.push_back(
          readyImage("i" + std::to_string(below(2)), 1 + below(3), 1, 1, below(100) < 92 ? 'a' : 'b'));
    }
    return delta;
  }

  // A binding: a short run of sequences, sometimes repeating one or naming one another owner holds.
  render::OwnerFragment randomBinding(const Text& id) {
    const std::int32_t start = below(40);
    const int count = 1 + below(3);
    std::vector<std::int32_t> sequences;
    sequences.reserve(static_cast<std::size_t>(count));
    for (int j = 0; j < count; ++j) {
      sequences.push_back(start + j);
    }
    if (count == 3 && chance(20)) {
      sequences[1] = sequences[0];
    } else if (count == 3 && chance(25) && !model_.owners.empty()) {
      const ModelOwner& other = model_.owners[static_cast<std::size_t>(below(static_cast<int>(model_.owners.size())))];
      sequences[1] = other.commands.front().sequence;
      sequences[0] = 100 + below(10) * 3;
      sequences[2] = sequences[0] + 2;
    }
    render::OwnerFragment fragment = fragmentOf(id, 1 + below(2), sequences);
    for (std::size_t j = 0; j < sequences.size(); ++j) {
      fragment.commands[j] = randomCommand(sequences[j], id);
    }
    return fragment;
  }

  // An update: the owner's own sequences (now and then one renumbered or dropped), new references.
  render::OwnerFragment randomUpdate(const Text& id) {
    ModelOwner* owner = model_.owner(id);
    std::vector<std::int32_t> sequences;
    std::int32_t generation = 1;
    if (owner != nullptr) {
      generation = owner->generation + (chance(90) ? 1 : 0);
      for (const render::CommandRecord& command : owner->commands) {
        sequences.push_back(command.sequence);
      }
    } else {
      sequences.push_back(200 + below(10));
    }
    if (chance(5) && sequences.size() > 1) {
      sequences.pop_back();
    } else if (chance(5)) {
      sequences.back() += 1;
    }
    render::OwnerFragment fragment = fragmentOf(id, generation, sequences);
    for (std::size_t j = 0; j < sequences.size(); ++j) {
      fragment.commands[j] = randomCommand(sequences[j], id);
    }
    return fragment;
  }

  Text randomOwner() { return "o" + std::to_string(below(kOwnerIds)); }

  // Mostly an owner that is bound, so that updates get past the binding rule.
  Text randomBoundOwner() {
    if (model_.owners.empty() || chance(15)) {
      return randomOwner();
    }
    return model_.owners[static_cast<std::size_t>(below(static_cast<int>(model_.owners.size())))].id;
  }

  render::OwnerFragment randomFragment(std::uint8_t kind) {
    return kind != 0 ? randomBinding(randomOwner()) : randomUpdate(randomBoundOwner());
  }

  void single(std::uint8_t kind) {
    lastStep_ = kind != 0 ? "admit binding" : "admit update";
    const render::OwnerFragment fragment = randomFragment(kind);
    const render::ResourceDelta delta = randomDelta();
    const std::uint32_t expected = expectedRevision();
    Verdict verdict = evaluateInModel(model_, fragment, delta, expected, kind);
    const OperationResult result =
        kind != 0 ? store_.admitBinding(fragment, delta, expected) : store_.admitUpdate(fragment, delta, expected);
    ASSERT_EQ(result.ok, verdict.ok) << result.message << " / " << verdict.message;
    ASSERT_EQ(result.message, verdict.message);
    model_ = std::move(verdict.after);
    ASSERT_EQ(result.revision, model_.revision);
  }

  void evaluate() {
    const std::uint8_t kind = chance(50) ? 1 : 0;
    lastStep_ = "evaluate";
    const render::OwnerFragment fragment = randomFragment(kind);
    const render::ResourceDelta delta = randomDelta();
    const std::uint32_t expected = expectedRevision();
    const Verdict verdict = evaluateInModel(model_, fragment, delta, expected, kind);
    const OperationResult result = kind != 0 ? store_.evaluateBinding(fragment, delta, expected)
                                             : store_.evaluateUpdate(fragment, delta, expected);
    ASSERT_EQ(result.message, verdict.message);
    ASSERT_EQ(result.revision, model_.revision);
  }

  void prepare() {
    Preparation p;
    p.kind = chance(50) ? 1 : 0;
    lastStep_ = "prepare";
    p.fragment = randomFragment(p.kind);
    p.delta = randomDelta();
    p.revision = expectedRevision();
    Verdict verdict = evaluateInModel(model_, p.fragment, p.delta, p.revision, p.kind);
    p.prepared = p.kind != 0 ? store_.prepareBinding(p.fragment, p.delta, p.revision)
                             : store_.prepareUpdate(p.fragment, p.delta, p.revision);
    ASSERT_EQ(p.prepared->accepted(), verdict.ok);
    ASSERT_EQ(p.prepared->name(), verdict.message);
    ASSERT_EQ(p.prepared->kind(), p.kind);
    p.accepted = verdict.ok;
    p.name = verdict.message;
    p.after = std::move(verdict.after);
    preparations_.push_back(std::move(p));
    if (preparations_.size() > 4) {
      preparations_.erase(preparations_.begin());
    }
  }

  // Commits a kept preparation, fresh or stale, to its own store or the foreign one, with its own
  // inputs or changed ones, by its own kind or the other.
  void commit() {
    if (preparations_.empty()) {
      prepare();
      return;
    }
    Preparation& p = preparations_[static_cast<std::size_t>(below(static_cast<int>(preparations_.size())))];
    const bool toForeign = chance(10);
    const std::uint8_t kind = chance(10) ? static_cast<std::uint8_t>(1 - p.kind) : p.kind;
    render::OwnerFragment fragment = p.fragment;
    if (chance(10)) {
      fragment.commands.back().attributeInt3 += 1;
    }
    lastStep_ = toForeign ? "commit to the foreign store" : "commit";
    RetainedResourceStore& target = toForeign ? foreign_ : store_;
    const OperationResult result = target.commitPreparedAdmission(p.prepared, fragment, p.delta, kind);
    Text expected;
    if (toForeign) {
      expected = "retained resource prepared admission belongs to another store";
    } else if (p.consumed) {
      expected = "retained resource prepared admission was already consumed";
    } else if (kind != p.kind) {
      expected = "retained resource prepared admission kind does not match commit";
    } else if (!p.accepted) {
      expected = p.name;
    } else if (p.revision != model_.revision) {
      expected = formatText("retained resource prepared admission is stale: expected {0}, current {1}",
                            {decimal(p.revision), decimal(model_.revision)});
    } else if (render::encodeCommandSignature(fragment.commands.back()) !=
               render::encodeCommandSignature(p.fragment.commands.back())) {
      expected = "retained resource prepared admission inputs were changed";
    } else {
      expected = "ok";
      model_ = p.after;
      p.consumed = true;
    }
    ASSERT_EQ(result.message, expected);
    ASSERT_EQ(result.ok, expected == "ok");
    ASSERT_EQ(result.revision, toForeign ? 0U : model_.revision);
    ASSERT_EQ(p.prepared->consumed(), p.consumed);
  }

  void batch() {
    lastStep_ = "batch";
    const int items = 1 + below(3);
    std::vector<render::OwnerFragment> fragments;
    std::vector<render::ResourceDelta> deltas;
    fragments.reserve(static_cast<std::size_t>(items));
    deltas.reserve(static_cast<std::size_t>(items));
    for (int i = 0; i < items; ++i) {
      fragments.push_back(randomUpdate(randomBoundOwner()));
      deltas.push_back(randomDelta());
    }
    const std::uint32_t expected = expectedRevision();
    Verdict verdict = prepareBatchInModel(model_, fragments, deltas, expected);
    const auto prepared = store_.prepareCandidateBatch(fragments, deltas, expected);
    ASSERT_EQ(prepared->accepted() != 0, verdict.ok) << prepared->name() << " / " << verdict.message;
    ASSERT_EQ(prepared->name(), verdict.message);
    if (chance(15)) {
      single(1);  // something else commits first: the batch goes stale
      if (::testing::Test::HasFailure()) {
        return;
      }
      lastStep_ = "stale batch";
    }
    const bool reordered = chance(10) && fragments.size() > 1;
    if (reordered) {
      std::swap(fragments[0], fragments[1]);
      std::swap(deltas[0], deltas[1]);
      lastStep_ = "reordered batch";
    }
    const OperationResult result = store_.commitPreparedCandidateBatch(prepared, fragments, deltas);
    Text expectedMessage;
    if (!verdict.ok) {
      expectedMessage = verdict.message;
    } else if (prepared->revision() != model_.revision) {
      expectedMessage = formatText("retained resource prepared candidate batch is stale: expected {0}, current {1}",
                                   {decimal(prepared->revision()), decimal(model_.revision)});
    } else if (reordered) {
      expectedMessage = "retained resource prepared candidate batch inputs were changed or reordered";
    } else {
      expectedMessage = "ok";
      model_ = std::move(verdict.after);
    }
    ASSERT_EQ(result.message, expectedMessage);
    ASSERT_EQ(result.revision, model_.revision);
    const OperationResult again = store_.commitPreparedCandidateBatch(prepared, fragments, deltas);
    ASSERT_FALSE(again.ok);
    if (result.ok) {
      ASSERT_EQ(again.message, "retained resource prepared candidate batch was already consumed");
    }
  }

  void close() {
    lastStep_ = "close";
    ASSERT_TRUE(store_.close());
    if (!model_.closed) {
      model_.revision += 1;
    }
    model_.closed = true;
    model_.owners.clear();
    model_.paints.clear();
    model_.images.clear();
  }

  std::mt19937 random_;
  RetainedResourceStore store_{kSurface};
  RetainedResourceStore foreign_{kSurface};
  Model model_;
  std::vector<Preparation> preparations_;
  Text lastStep_;
};

int sequenceCount() {
  if (const char* configured = std::getenv("RETAINED_MODEL_SEQUENCES")) {
    return std::max(1, std::atoi(configured));
  }
  return RETAINED_MODEL_SEQUENCES_DEFAULT;
}

TEST(StoreModel, RandomSequencesAgreeWithThePlainModelAfterEveryStep) {
  const int sequences = sequenceCount();
  for (int seed = 0; seed < sequences; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    Sequence sequence(static_cast<std::uint32_t>(seed));
    sequence.run();
    if (HasFailure()) {
      return;
    }
  }
}

}  // namespace
}  // namespace retained
