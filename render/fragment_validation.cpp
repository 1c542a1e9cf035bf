#include "render/fragment_validation.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace render {

namespace {

using runtime::formatText;

constexpr std::size_t kMaxOwnerIdBytes = 128;

bool withinRange(std::int32_t value, std::int32_t low, std::int32_t high) { return value >= low && value <= high; }

bool hasPositiveSize(const BoundsRect& bounds) { return bounds.width > 0 && bounds.height > 0; }

// Both rectangles lie within the bounded geometry here, so their far edges stay within 2000000.
bool contains(const BoundsRect& outer, const BoundsRect& inner) {
  return outer.x <= inner.x && outer.y <= inner.y && outer.x + outer.width >= inner.x + inner.width &&
         outer.y + outer.height >= inner.y + inner.height;
}

bool isComplete(const FragmentDependencySignature& signature) {
  return !signature.key1.empty() && !signature.key2.empty() && !signature.key3.empty() && !signature.key4.empty() &&
         !signature.key5.empty() && !signature.source.empty();
}

// Walks the commands in order: each must belong to the owner or one of its sub-owners, and the
// transform and clip depths, counted independently, may never drop below zero and must end at zero.
Text validateCommands(const OwnerFragment& fragment) {
  const Text subOwnerPrefix = formatText("{0}.", {fragment.id});
  std::int32_t transformDepth = 0;
  std::int32_t clipDepth = 0;
  for (const CommandRecord& command : fragment.commands) {
    if (command.owner != fragment.id && !runtime::startsWith(command.owner, subOwnerPrefix)) {
      return formatText("fragment {0} contains foreign command owner {1}", {fragment.id, command.owner});
    }
    if (command.kind == "transformPush") {
      ++transformDepth;
    } else if (command.kind == "transformPop") {
      --transformDepth;
    } else if (command.kind == "clipPush") {
      ++clipDepth;
    } else if (command.kind == "clipPop") {
      --clipDepth;
    }
    if (transformDepth < 0 || clipDepth < 0) {
      return formatText("fragment {0} contains an underflowing local stack", {fragment.id});
    }
  }
  if (transformDepth != 0 || clipDepth != 0) {
    return formatText("fragment {0} must balance transform and clip state locally", {fragment.id});
  }
  return Text();
}

}  // namespace

Text checkBoundedGeometry(const BoundsRect& bounds, std::string_view label) {
  if (withinRange(bounds.x, -kMaxGeometryCoordinate, kMaxGeometryCoordinate) &&
      withinRange(bounds.y, -kMaxGeometryCoordinate, kMaxGeometryCoordinate) &&
      withinRange(bounds.width, 0, kMaxGeometryCoordinate) && withinRange(bounds.height, 0, kMaxGeometryCoordinate)) {
    return Text();
  }
  return formatText("{0} exceeds bounded retained geometry", {Text(label)});
}

Text validateOwnerFragment(const OwnerFragment& fragment) {
  if (fragment.id.empty() || fragment.id.size() > kMaxOwnerIdBytes || fragment.source.empty() ||
      fragment.generation <= 0) {
    return "retained owner fragment requires bounded identity, positive generation, and source";
  }
  Text geometry = checkBoundedGeometry(fragment.layoutBounds, formatText("fragment {0} layout bounds", {fragment.id}));
  if (!geometry.empty()) return geometry;
  geometry = checkBoundedGeometry(fragment.inkBounds, formatText("fragment {0} ink bounds", {fragment.id}));
  if (!geometry.empty()) return geometry;
  if (!hasPositiveSize(fragment.layoutBounds) || !hasPositiveSize(fragment.inkBounds)) {
    return formatText("fragment {0} requires positive layout and ink bounds", {fragment.id});
  }
  if (!contains(fragment.inkBounds, fragment.layoutBounds)) {
    return formatText("fragment {0} ink bounds must contain its layout bounds", {fragment.id});
  }
  if (!isComplete(fragment.dependencySignature)) {
    return formatText("fragment {0}: {1}",
                      {fragment.id, "retained fragment dependency signature requires five nonempty keys and a source"});
  }
  if (fragment.commands.empty() || fragment.commands.size() > kMaxFragmentCommands) {
    return formatText("fragment {0} requires 1..{1} commands", {fragment.id, std::to_string(kMaxFragmentCommands)});
  }
  return validateCommands(fragment);
}

}  // namespace render
