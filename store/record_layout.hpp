// The one layout of records and edges in the key/value map. The fields of the record or edge with
// the id are stored under "<stem><id>/<name>" (the stem is "record/" or "edge/") in the form of
// their kind, and each id is named by a slot of its catalog: "<catalog>/count" and
// "<catalog>/<slot>". The writer puts the fields in the order of these tables; both readers, the
// one that looks keys up and the one that walks a run of keys in key order, find them through the
// same tables.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/text.hpp"
#include "store/record.hpp"

namespace store {

enum class FieldKind {
  kText,        // "<name>": the text
  kNumber,      // "<name>": an int32 in decimal
  kTextList,    // "<name>/count", and "<name>/<n>" for each item
  kProperties,  // "<name>/count", and "<name>/<n>/key" and "<name>/<n>/value" for each property
  kVector,      // "<name>/count", and "<name>/<n>" for each value as its scaled int32
};

// A field of an Owner (Record or Edge): its key name and its member, whose type gives the kind.
template <class Owner>
struct Field {
  constexpr Field(std::string_view n, Text Owner::*m) : name(n), kind(FieldKind::kText), text(m) {}
  constexpr Field(std::string_view n, std::int32_t Owner::*m) : name(n), kind(FieldKind::kNumber), number(m) {}
  constexpr Field(std::string_view n, std::vector<Text> Owner::*m) : name(n), kind(FieldKind::kTextList), list(m) {}
  constexpr Field(std::string_view n, std::vector<Property> Owner::*m)
      : name(n), kind(FieldKind::kProperties), properties(m) {}
  constexpr Field(std::string_view n, std::vector<float> Owner::*m) : name(n), kind(FieldKind::kVector), values(m) {}

  std::string_view name;
  FieldKind kind;
  // The member of the kind; the others are null.
  Text Owner::*text = nullptr;
  std::int32_t Owner::*number = nullptr;
  std::vector<Text> Owner::*list = nullptr;
  std::vector<Property> Owner::*properties = nullptr;
  std::vector<float> Owner::*values = nullptr;
};

// The name of every owner's first field, its id.
inline constexpr std::string_view kIdName = "id";

// In the order the writer puts them; "id" comes first, and an owner whose "id" key is missing
// reads as empty.
inline constexpr Field<Record> kRecordFields[] = {
    {kIdName, &Record::id},
    {"tenant", &Record::tenant},
    {"space", &Record::space},
    {"container", &Record::container},
    {"kind", &Record::kind},
    {"content", &Record::content},
    {"created", &Record::created},
    {"updated", &Record::updated},
    {"expires", &Record::expires},
    {"classification", &Record::classification},
    {"lifecycle", &Record::lifecycle},
    {"purpose", &Record::purpose},
    {"permissions", &Record::permissions},
    {"compartments", &Record::compartments},
    {"provenance", &Record::provenance},
    {"content-refs", &Record::contentRefs},
    {"properties", &Record::properties},
    {"vector", &Record::vector},
};

inline constexpr Field<Edge> kEdgeFields[] = {
    {kIdName, &Edge::id},
    {"tenant", &Edge::tenant},
    {"from", &Edge::from},
    {"to", &Edge::to},
    {"kind", &Edge::kind},
    {"created", &Edge::created},
    {"properties", &Edge::properties},
};

// The most fields of any owner, for readers that keep something per field.
inline constexpr std::size_t kMaxOwnerFields = std::size(kRecordFields);
static_assert(std::size(kEdgeFields) <= kMaxOwnerFields);
static_assert(kRecordFields[0].name == kIdName && kEdgeFields[0].name == kIdName);

// Whether the field's keys are "<name>/..." rather than "<name>" itself.
template <class Owner>
constexpr bool hasSlots(const Field<Owner>& field) {
  return field.kind != FieldKind::kText && field.kind != FieldKind::kNumber;
}

// Where a key's name (what follows "<owner>/") stands against the field's keys, in key order.
enum class NamePlace { kBefore, kWithin, kAfter };
template <class Owner>
constexpr NamePlace placeName(std::string_view name, const Field<Owner>& field) {
  const std::size_t n = field.name.size();
  const int c = name.substr(0, n).compare(field.name);
  if (c != 0) return c < 0 ? NamePlace::kBefore : NamePlace::kAfter;
  if (!hasSlots(field)) return name.size() == n ? NamePlace::kWithin : NamePlace::kAfter;
  // "<name>/" and what follows it.
  if (name.size() == n || name[n] < '/') return NamePlace::kBefore;
  return name[n] == '/' ? NamePlace::kWithin : NamePlace::kAfter;
}

// The byte at `i` of the first key of the field in key order ("<name>", or "<name>/" before its
// slots), or -1 past its end.
template <class Owner>
constexpr int firstKeyByte(const Field<Owner>& field, std::size_t i) {
  if (i < field.name.size()) return static_cast<unsigned char>(field.name[i]);
  return i == field.name.size() && hasSlots(field) ? '/' : -1;
}

// The positions of the fields in the key order of their keys, so that a reader walking an
// owner's keys in that order meets the fields in turn. Names hold no '/', so that no field's keys
// lie among another's.
template <class Owner, std::size_t N>
constexpr std::array<std::uint8_t, N> fieldsInKeyOrder(const Field<Owner> (&fields)[N]) {
  std::array<std::uint8_t, N> order{};
  for (std::size_t i = 0; i < N; ++i) order[i] = static_cast<std::uint8_t>(i);
  std::sort(order.begin(), order.end(), [&fields](std::uint8_t a, std::uint8_t b) {
    for (std::size_t i = 0;; ++i) {
      const int x = firstKeyByte(fields[a], i);
      const int y = firstKeyByte(fields[b], i);
      if (x != y) return x < y;
      if (x < 0) return false;
    }
  });
  return order;
}

template <class Owner, std::size_t N>
constexpr bool namesHoldNoSlash(const Field<Owner> (&fields)[N]) {
  return std::none_of(fields, fields + N, [](const Field<Owner>& f) { return f.name.find('/') != f.name.npos; });
}
static_assert(namesHoldNoSlash(kRecordFields) && namesHoldNoSlash(kEdgeFields));

// Where the records or the edges are stored.
template <class Owner>
struct OwnerLayout {
  std::string_view stem;
  std::string_view catalog;
  std::span<const Field<Owner>> fields;
  std::span<const std::uint8_t> keyOrder;  // fieldsInKeyOrder
};

inline constexpr auto kRecordFieldsInKeyOrder = fieldsInKeyOrder(kRecordFields);
inline constexpr auto kEdgeFieldsInKeyOrder = fieldsInKeyOrder(kEdgeFields);
inline constexpr OwnerLayout<Record> kRecordLayout{"record/", "catalog/records", kRecordFields,
                                                   kRecordFieldsInKeyOrder};
inline constexpr OwnerLayout<Edge> kEdgeLayout{"edge/", "catalog/edges", kEdgeFields, kEdgeFieldsInKeyOrder};

// The last word of the key that holds the number of items of a list, a catalog, the properties
// or a vector.
inline constexpr std::string_view kCountWord = "count";
// The last words of a property's two keys, "<name>/<n>/key" and "<name>/<n>/value".
inline constexpr std::string_view kPropertyKeyWord = "key";
inline constexpr std::string_view kPropertyValueWord = "value";

// The slots a reader looks at, whatever the stored count says. These bound the reading, not
// validation: a text list longer than a valid record's is read up to its bound, and then refused.
inline constexpr std::int32_t kMaxListSlots = 4096;  // the items of a text list, the values of a vector
inline constexpr std::int32_t kMaxPropertySlots = 256;
// Catalog walks examine slots 0..65535; no entry is ever numbered beyond that.
inline constexpr std::int32_t kMaxCatalogSlots = 65536;

}  // namespace store
