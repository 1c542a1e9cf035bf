// The column tables of the retained store, one type per kind of row: paints, images, glyph alpha
// masks, clips, transforms, owners and commands. A table names each of its columns twice, where
// it declares the column and in its list of columns, which pairs every column with the field of
// the row type it keeps; appending a row, reading one back, rewriting one, growing and clearing
// all go over that list, so none of them can leave a column out and the columns always hold the
// same number of rows. A row appended after `grow` made room for it allocates nothing: its
// values are moved into space the columns already hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "render/render_records.hpp"
#include "runtime/text.hpp"

namespace retained {

using runtime::Text;

// One column of a table: the table's list and the field of the row type that it keeps.
template <typename Table, typename Row, typename Value>
struct Column {
  std::vector<Value> Table::*list;
  Value Row::*field;
};

template <typename Table, typename Row, typename Value>
constexpr Column<Table, Row, Value> column(std::vector<Value> Table::*list, Value Row::*field) {
  return {list, field};
}

// The operations every table has, over the columns its `columns()` lists (the first column is
// the one whose length counts the rows).
template <typename Table, typename Row>
class ColumnTable {
 public:
  std::size_t rows() const { return (self().*std::get<0>(Table::columns()).list).size(); }

  // Whether a row number names a row of the table: the range test behind every accessor that
  // answers "not found" instead of reading past a column.
  bool holds(std::int32_t row) const { return row >= 0 && static_cast<std::size_t>(row) < rows(); }

  void append(Row&& row) {
    eachColumn([&row](auto& list, auto field) { list.push_back(std::move(row.*field)); });
  }

  // The row as it was appended or last written; `row` must be below rows().
  Row read(std::size_t row) const {
    Row out;
    eachColumn([&out, row](const auto& list, auto field) { out.*field = list[row]; });
    return out;
  }

  // Overwrites every column of an existing row; `row` must be below rows().
  void write(std::size_t row, Row&& values) {
    eachColumn([&values, row](auto& list, auto field) { list[row] = std::move(values.*field); });
  }

  // Room for `more` further rows in every column, growing geometrically so that many small
  // admissions do not reallocate every column each time.
  void grow(std::size_t more) {
    eachColumn([more](auto& list, auto) {
      const std::size_t needed = list.size() + more;
      if (needed <= list.capacity()) return;
      list.reserve(needed < 2 * list.capacity() ? 2 * list.capacity() : needed);
    });
  }

  void clear() {
    eachColumn([](auto& list, auto) { list.clear(); });
  }

 private:
  ColumnTable() = default;
  friend Table;

  const Table& self() const { return static_cast<const Table&>(*this); }
  Table& self() { return static_cast<Table&>(*this); }

  // Always inlined: the visits are a few moves or copies each, and a call per row read or
  // written showed in the time of admissions that compare thousands of stored records.
  template <typename Visit>
  [[gnu::always_inline]] void eachColumn(Visit visit) {
    std::apply([this, &visit](const auto&... columns) { (visit(self().*columns.list, columns.field), ...); },
               Table::columns());
  }
  template <typename Visit>
  [[gnu::always_inline]] void eachColumn(Visit visit) const {
    std::apply([this, &visit](const auto&... columns) { (visit(self().*columns.list, columns.field), ...); },
               Table::columns());
  }
};

struct PaintTable : ColumnTable<PaintTable, render::PaintRecord> {
  using R = render::PaintRecord;
  std::vector<Text> ids;
  std::vector<std::int32_t> reds;
  std::vector<std::int32_t> greens;
  std::vector<std::int32_t> blues;
  std::vector<std::int32_t> alphas;
  std::vector<std::int32_t> radii;
  std::vector<std::int32_t> borderWidths;
  std::vector<std::int32_t> opacities;

  static constexpr auto columns() {
    using T = PaintTable;
    return std::tuple(column(&T::ids, &R::id), column(&T::reds, &R::red), column(&T::greens, &R::green),
                      column(&T::blues, &R::blue), column(&T::alphas, &R::alpha), column(&T::radii, &R::radius),
                      column(&T::borderWidths, &R::borderWidth), column(&T::opacities, &R::opacity));
  }
};

struct ImageTable : ColumnTable<ImageTable, render::ImageRecord> {
  using R = render::ImageRecord;
  std::vector<Text> ids;
  std::vector<Text> kinds;
  std::vector<std::int32_t> generations;
  std::vector<std::int32_t> widths;
  std::vector<std::int32_t> heights;
  std::vector<std::int32_t> sizeBytes;
  std::vector<Text> formats;
  std::vector<Text> colorSpaces;
  std::vector<Text> alphaModes;
  std::vector<Text> states;
  std::vector<bool> resident;  // packed bits
  std::vector<Text> contentIds;
  std::vector<Text> payloads;
  std::vector<Text> sources;

  static constexpr auto columns() {
    using T = ImageTable;
    return std::tuple(
        column(&T::ids, &R::id), column(&T::kinds, &R::kind), column(&T::generations, &R::generation),
        column(&T::widths, &R::width), column(&T::heights, &R::height), column(&T::sizeBytes, &R::sizeBytes),
        column(&T::formats, &R::format), column(&T::colorSpaces, &R::colorSpace), column(&T::alphaModes, &R::alphaMode),
        column(&T::states, &R::state), column(&T::resident, &R::resident), column(&T::contentIds, &R::contentIdentity),
        column(&T::payloads, &R::payloadHex), column(&T::sources, &R::source));
  }
};

struct GlyphTable : ColumnTable<GlyphTable, render::GlyphAlphaRecord> {
  using R = render::GlyphAlphaRecord;
  std::vector<Text> ids;
  std::vector<std::int32_t> widths;
  std::vector<std::int32_t> heights;
  std::vector<std::int32_t> rowBytes;
  std::vector<std::int32_t> sizeBytes;
  std::vector<Text> formats;
  std::vector<Text> payloads;
  std::vector<Text> sources;

  static constexpr auto columns() {
    using T = GlyphTable;
    return std::tuple(column(&T::ids, &R::id), column(&T::widths, &R::width), column(&T::heights, &R::height),
                      column(&T::rowBytes, &R::rowStride), column(&T::sizeBytes, &R::sizeBytes),
                      column(&T::formats, &R::format), column(&T::payloads, &R::payloadHex),
                      column(&T::sources, &R::source));
  }
};

struct ClipTable : ColumnTable<ClipTable, render::ClipRecord> {
  using R = render::ClipRecord;
  std::vector<Text> ids;
  std::vector<std::int32_t> xs;
  std::vector<std::int32_t> ys;
  std::vector<std::int32_t> widths;
  std::vector<std::int32_t> heights;
  std::vector<std::int32_t> radii;

  static constexpr auto columns() {
    using T = ClipTable;
    return std::tuple(column(&T::ids, &R::id), column(&T::xs, &R::x), column(&T::ys, &R::y),
                      column(&T::widths, &R::width), column(&T::heights, &R::height), column(&T::radii, &R::radius));
  }
};

struct TransformTable : ColumnTable<TransformTable, render::TransformRecord> {
  using R = render::TransformRecord;
  std::vector<Text> ids;
  std::vector<std::int32_t> translateXs;
  std::vector<std::int32_t> translateYs;
  std::vector<std::int32_t> xScalePercents;
  std::vector<std::int32_t> yScalePercents;
  std::vector<std::int32_t> rotations;

  static constexpr auto columns() {
    using T = TransformTable;
    return std::tuple(column(&T::ids, &R::id), column(&T::translateXs, &R::translateX),
                      column(&T::translateYs, &R::translateY), column(&T::xScalePercents, &R::scalePercentX),
                      column(&T::yScalePercents, &R::scalePercentY), column(&T::rotations, &R::rotationMillidegrees));
  }
};

// A bound owner: its fragment's id and generation, its command sequence range and where its
// commands lie in the command table.
struct OwnerRow {
  Text id;
  std::int32_t generation = 0;
  std::int32_t firstSequence = 0;
  std::int32_t lastSequence = 0;
  std::int32_t firstRow = 0;
  std::int32_t commandCount = 0;
};

struct OwnerTable : ColumnTable<OwnerTable, OwnerRow> {
  using R = OwnerRow;
  std::vector<Text> ids;
  std::vector<std::int32_t> generations;
  std::vector<std::int32_t> firstSequences;
  std::vector<std::int32_t> lastSequences;
  std::vector<std::int32_t> firstRows;
  std::vector<std::int32_t> commandCounts;

  static constexpr auto columns() {
    using T = OwnerTable;
    return std::tuple(column(&T::ids, &R::id), column(&T::generations, &R::generation),
                      column(&T::firstSequences, &R::firstSequence), column(&T::lastSequences, &R::lastSequence),
                      column(&T::firstRows, &R::firstRow), column(&T::commandCounts, &R::commandCount));
  }

  // An update of a bound owner: a new generation, sequence range and command count; the id and
  // the first command row stay, and nothing is allocated.
  void revise(std::size_t row, std::int32_t generation, std::int32_t firstSequence, std::int32_t lastSequence,
              std::int32_t commandCount) {
    generations[row] = generation;
    firstSequences[row] = firstSequence;
    lastSequences[row] = lastSequence;
    commandCounts[row] = commandCount;
  }
};

// One stored command: its sequence, its owner row, its canonical signature (the complete
// retained form of the command), the fields the store reads, and the entry numbers of the five
// resources it references (-1 for none).
struct CommandRow {
  std::int32_t sequence = 0;
  std::int32_t owner = -1;
  Text canonicalText;
  Text kind;
  Text resourceId;
  std::int32_t imageGeneration = 0;
  std::int32_t paintRef = -1;
  std::int32_t imageRef = -1;
  std::int32_t glyphRef = -1;
  std::int32_t clipRef = -1;
  std::int32_t transformRef = -1;
};

struct CommandTable : ColumnTable<CommandTable, CommandRow> {
  using R = CommandRow;
  std::vector<std::int32_t> sequences;
  std::vector<std::int32_t> owners;
  std::vector<Text> canonicalTexts;
  std::vector<Text> kinds;
  std::vector<Text> resourceIds;
  std::vector<std::int32_t> imageGenerations;
  std::vector<std::int32_t> paintRefs;
  std::vector<std::int32_t> imageRefs;
  std::vector<std::int32_t> glyphRefs;
  std::vector<std::int32_t> clipRefs;
  std::vector<std::int32_t> transformRefs;

  static constexpr auto columns() {
    using T = CommandTable;
    return std::tuple(column(&T::sequences, &R::sequence), column(&T::owners, &R::owner),
                      column(&T::canonicalTexts, &R::canonicalText), column(&T::kinds, &R::kind),
                      column(&T::resourceIds, &R::resourceId), column(&T::imageGenerations, &R::imageGeneration),
                      column(&T::paintRefs, &R::paintRef), column(&T::imageRefs, &R::imageRef),
                      column(&T::glyphRefs, &R::glyphRef), column(&T::clipRefs, &R::clipRef),
                      column(&T::transformRefs, &R::transformRef));
  }

  // Rewrites an existing row in place but for its owner column, which an update never moves.
  void rewriteKeepingOwner(std::size_t row, CommandRow&& values) {
    values.owner = owners[row];
    write(row, std::move(values));
  }
};

// How many rows each table is about to receive.
struct TableGrowth {
  std::size_t paints = 0;
  std::size_t images = 0;
  std::size_t glyphs = 0;
  std::size_t clips = 0;
  std::size_t transforms = 0;
  std::size_t owners = 0;
  std::size_t commands = 0;
};

// The seven tables of one store.
struct StoreTables {
  PaintTable paints;
  ImageTable images;
  GlyphTable glyphs;
  ClipTable clips;
  TransformTable transforms;
  OwnerTable owners;
  CommandTable commands;

  // Room in every column of every table for the rows about to be appended, so that appending
  // them allocates nothing.
  void grow(const TableGrowth& more) {
    paints.grow(more.paints);
    images.grow(more.images);
    glyphs.grow(more.glyphs);
    clips.grow(more.clips);
    transforms.grow(more.transforms);
    owners.grow(more.owners);
    commands.grow(more.commands);
  }

  void clear() {
    std::apply([](auto&... tables) { (tables.clear(), ...); },
               std::tie(paints, images, glyphs, clips, transforms, owners, commands));
  }
};

}  // namespace retained
