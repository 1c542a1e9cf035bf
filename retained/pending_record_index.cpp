#include "retained/pending_record_index.hpp"

#include <functional>

namespace retained {
namespace {

using runtime::Text;

// Brings the positions up to date with the list: starts over when the list became shorter than
// what was indexed, then indexes the records appended since. Only the first position per id is
// kept, as a scan from the front would find it.
template <typename Record>
void catchUp(PendingRecordIndex::IdPositions& positions, const std::vector<Record>& records) {
  if (records.size() < positions.indexed) {
    positions.first.clear();
    positions.indexed = 0;
  }
  for (; positions.indexed < records.size(); ++positions.indexed) {
    positions.first.try_emplace(records[positions.indexed].id, static_cast<std::int32_t>(positions.indexed));
  }
}

// A hit whose record no longer carries the id means the list was rewritten in place: index it
// again from the start and ask once more.
template <typename Record>
std::int32_t findFirst(PendingRecordIndex::IdPositions& positions, const std::vector<Record>& records,
                       std::string_view id) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    catchUp(positions, records);
    const auto found = positions.first.find(Text(id));
    if (found == positions.first.end()) return -1;
    const auto at = static_cast<std::size_t>(found->second);
    if (at < records.size() && records[at].id == id) return found->second;
    positions.first.clear();
    positions.indexed = 0;
  }
  return -1;
}

void catchUpImages(PendingRecordIndex::ImagePositions& positions, const std::vector<render::ImageRecord>& images) {
  if (images.size() < positions.indexed) {
    positions.first.clear();
    positions.newest.clear();
    positions.indexed = 0;
  }
  for (; positions.indexed < images.size(); ++positions.indexed) {
    const render::ImageRecord& image = images[positions.indexed];
    positions.first.try_emplace({image.id, image.generation}, static_cast<std::int32_t>(positions.indexed));
    auto [newest, inserted] = positions.newest.try_emplace(image.id, image.generation);
    if (!inserted && image.generation > newest->second) newest->second = image.generation;
  }
}

void forgetImages(PendingRecordIndex::ImagePositions& positions) {
  positions.first.clear();
  positions.newest.clear();
  positions.indexed = 0;
}

}  // namespace

PendingRecordIndex& PendingRecordIndex::operator=(const PendingRecordIndex& other) {
  if (this != &other) *this = PendingRecordIndex();
  return *this;
}

std::size_t PendingRecordIndex::ImageIdentityHash::operator()(
    const std::pair<runtime::Text, std::int32_t>& identity) const noexcept {
  const std::size_t h = std::hash<runtime::Text>{}(identity.first);
  return h ^ (std::hash<std::int32_t>{}(identity.second) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

std::int32_t PendingRecordIndex::findPaint(const std::vector<render::PaintRecord>& paints, std::string_view id) {
  return findFirst(paints_, paints, id);
}

std::int32_t PendingRecordIndex::findGlyph(const std::vector<render::GlyphAlphaRecord>& glyphs, std::string_view id) {
  return findFirst(glyphs_, glyphs, id);
}

std::int32_t PendingRecordIndex::findClip(const std::vector<render::ClipRecord>& clips, std::string_view id) {
  return findFirst(clips_, clips, id);
}

std::int32_t PendingRecordIndex::findTransform(const std::vector<render::TransformRecord>& transforms,
                                               std::string_view id) {
  return findFirst(transforms_, transforms, id);
}

std::int32_t PendingRecordIndex::findImage(const std::vector<render::ImageRecord>& images, std::string_view id,
                                           std::int32_t generation) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    catchUpImages(images_, images);
    const auto found = images_.first.find({Text(id), generation});
    if (found == images_.first.end()) return -1;
    const auto at = static_cast<std::size_t>(found->second);
    if (at < images.size() && images[at].id == id && images[at].generation == generation) return found->second;
    forgetImages(images_);
  }
  return -1;
}

std::int32_t PendingRecordIndex::newestImageGeneration(const std::vector<render::ImageRecord>& images,
                                                       std::string_view id) {
  catchUpImages(images_, images);
  const auto found = images_.newest.find(Text(id));
  if (found == images_.newest.end() || found->second < 0) return 0;
  return found->second;
}

}  // namespace retained
