#include "render/signatures.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace render {

namespace {

// The most one field adds besides a text's own bytes: "|", a 64-bit length in decimal and ":".
// Every other field ("|-2147483648", "|false", "|end") is shorter.
constexpr std::size_t kMaxFieldOverhead = 1 + 20 + 1;

// Room for the separator, the digits of any 64-bit number and the length prefix's ":".
using FieldHead = char[kMaxFieldOverhead + 2];

template <typename Integer>
char* writeDecimal(char* out, Integer value) {
  return std::to_chars(out, out + 20, value).ptr;
}

std::size_t decimalLength(std::uint64_t value) {
  std::size_t digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

std::size_t decimalLength(std::int32_t value) {
  const std::uint64_t magnitude =
      value < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(value)) : static_cast<std::uint64_t>(value);
  return (value < 0 ? 1 : 0) + decimalLength(magnitude);
}

// Appends the text's byte length, ":" and the text; with a separator, "|" comes first. The
// separator and the length go in one append so that a short field costs two appends.
void appendLengthPrefixed(Text& line, std::string_view text, bool separated) {
  FieldHead head;
  char* out = head;
  if (separated) *out++ = '|';
  out = writeDecimal(out, static_cast<std::uint64_t>(text.size()));
  *out++ = ':';
  line.append(head, static_cast<std::size_t>(out - head));
  line.append(text);
}

// Counts the bytes a line's fields take, so that the line is built in storage of exactly its
// own length: lines are kept by the thousand, and room to spare would be kept with them.
class LineLength {
 public:
  void text(std::string_view value) { bytes_ += 2 + decimalLength(std::uint64_t{value.size()}) + value.size(); }
  void integer(std::int32_t value) { bytes_ += 1 + decimalLength(value); }
  void count(std::size_t value) { bytes_ += 1 + decimalLength(std::uint64_t{value}); }
  void flag(bool value) { bytes_ += value ? 5 : 6; }
  void constantFields(std::string_view fields) { bytes_ += fields.size(); }

  std::size_t bytes() const { return bytes_; }

 private:
  std::size_t bytes_ = 0;
};

// Writes the fields of a line after its tag, in one pass with no reallocation and no text per field.
class SignatureLine {
 public:
  SignatureLine(std::string_view tag, std::size_t fieldBytes) {
    line_.reserve(tag.size() + fieldBytes);
    line_.append(tag);
  }

  void text(std::string_view value) { appendLengthPrefixed(line_, value, true); }
  void integer(std::int32_t value) { number(value); }
  // A number of entries; written in full rather than narrowed to 32 bits.
  void count(std::size_t value) { number(static_cast<std::uint64_t>(value)); }
  void flag(bool value) { line_.append(value ? "|true" : "|false"); }
  // Fields that are the same in every line, written as they stand with their separators.
  void constantFields(std::string_view fields) { line_.append(fields); }

  Text take() { return std::move(line_); }

 private:
  template <typename Integer>
  void number(Integer value) {
    FieldHead head;
    head[0] = '|';
    line_.append(head, static_cast<std::size_t>(writeDecimal(head + 1, value) - head));
  }

  Text line_;
};

// The line of a record: its tag, then the fields that writeFields hands to a field sink, measured
// first and then written.
template <typename Record, typename WriteFields>
Text signatureLine(std::string_view tag, const Record& record, WriteFields writeFields) {
  LineLength length;
  writeFields(length, record);
  SignatureLine line(tag, length.bytes());
  writeFields(line, record);
  return line.take();
}

}  // namespace

Text lengthPrefixedField(std::string_view text) {
  Text field;
  field.reserve(decimalLength(std::uint64_t{text.size()}) + 1 + text.size());
  appendLengthPrefixed(field, text, false);
  return field;
}

Text encodePaintSignature(const PaintRecord& paint) {
  return signatureLine("paint-v1", paint, [](auto& line, const PaintRecord& record) {
    line.text(record.id);
    line.integer(record.red);
    line.integer(record.green);
    line.integer(record.blue);
    line.integer(record.alpha);
    line.integer(record.radius);
    line.integer(record.borderWidth);
    line.integer(record.opacity);
  });
}

Text encodeImageSignature(const ImageRecord& image) {
  return signatureLine("image-v1", image, [](auto& line, const ImageRecord& record) {
    line.text(record.id);
    line.text(record.kind);
    line.integer(record.generation);
    line.integer(record.width);
    line.integer(record.height);
    line.integer(record.sizeBytes);
    line.text(record.format);
    line.text(record.colorSpace);
    line.text(record.alphaMode);
    line.text(record.state);
    line.flag(record.resident);
    line.text(record.contentIdentity);
    line.text(record.payloadHex);
    line.text(record.source);
  });
}

Text encodeGlyphSignature(const GlyphAlphaRecord& glyph) {
  return signatureLine("glyph-v1", glyph, [](auto& line, const GlyphAlphaRecord& record) {
    line.text(record.id);
    line.integer(record.width);
    line.integer(record.height);
    line.integer(record.rowStride);
    line.integer(record.sizeBytes);
    line.text(record.format);
    line.text(record.payloadHex);
    line.text(record.source);
  });
}

Text encodeClipSignature(const ClipRecord& clip) {
  return signatureLine("clip-v1", clip, [](auto& line, const ClipRecord& record) {
    line.text(record.id);
    line.integer(record.x);
    line.integer(record.y);
    line.integer(record.width);
    line.integer(record.height);
    line.integer(record.radius);
  });
}

Text encodeTransformSignature(const TransformRecord& transform) {
  return signatureLine("transform-v1", transform, [](auto& line, const TransformRecord& record) {
    line.text(record.id);
    line.integer(record.translateX);
    line.integer(record.translateY);
    line.integer(record.scalePercentX);
    line.integer(record.scalePercentY);
    line.integer(record.rotationMillidegrees);
  });
}

Text encodeCommandSignature(const CommandRecord& command) {
  return signatureLine("command-v1", command, [](auto& line, const CommandRecord& record) {
    const CommandInnerPart& inner = record.inner;
    line.integer(record.sequence);
    line.text(record.owner);
    line.text(record.kind);
    line.text(record.attributeText1);
    line.text(record.attributeText2);
    line.text(record.resourceId);
    line.integer(record.imageGeneration);
    line.text(record.paintId);
    line.text(record.clipId);
    line.text(record.transformId);
    line.integer(record.attributeInt1);
    line.integer(record.attributeInt2);
    line.integer(record.attributeInt3);
    line.integer(record.attributeInt4);
    line.text(record.attributeText3);
    line.text(record.attributeText4);
    line.text(inner.innerText1);
    line.text(inner.innerText2);
    line.text(inner.innerText3);
    line.text(inner.innerText4);
    for (std::int32_t value :
         {record.attributeInt5, record.attributeInt6, record.attributeInt7, record.attributeInt8, record.attributeInt9,
          record.attributeInt10, record.attributeInt11, record.attributeInt12, record.attributeInt13,
          record.attributeInt14, record.attributeInt15, record.attributeInt16, record.attributeInt17,
          record.attributeInt18, record.attributeInt19, record.attributeInt20, record.attributeInt21,
          record.attributeInt22}) {
      line.integer(value);
    }
    line.flag(record.skipGlyphResolution);
    // A constant tail kept so that every command line has the same 43 fields: "end" (the only
    // field without a length prefix) and three times 1.
    line.constantFields("|end|1|1|1");
  });
}

Text encodeFragmentSignature(const OwnerFragment& fragment) {
  return signatureLine("fragment-v1", fragment, [](auto& line, const OwnerFragment& record) {
    const FragmentDependencySignature& dependencies = record.dependencySignature;
    line.text(record.id);
    line.integer(record.generation);
    line.integer(record.attribute);
    for (const BoundsRect* bounds : {&record.layoutBounds, &record.inkBounds}) {
      line.integer(bounds->x);
      line.integer(bounds->y);
      line.integer(bounds->width);
      line.integer(bounds->height);
    }
    line.text(dependencies.key1);
    line.text(dependencies.key2);
    line.text(dependencies.key3);
    line.text(dependencies.key4);
    line.text(dependencies.key5);
    line.text(dependencies.source);
    line.text(record.source);
    line.count(record.commands.size());
  });
}

}  // namespace render
