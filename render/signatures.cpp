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

std::size_t totalBytes(std::initializer_list<std::string_view> texts) {
  std::size_t total = 0;
  for (std::string_view text : texts) total += text.size();
  return total;
}

// One signature line, written field by field into storage reserved up front for the whole line,
// so a line is built in one pass with no reallocation and no text per field.
class SignatureLine {
 public:
  SignatureLine(std::string_view tag, std::size_t textBytes, std::size_t fieldCount) {
    line_.reserve(tag.size() + textBytes + fieldCount * kMaxFieldOverhead);
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

}  // namespace

Text lengthPrefixedField(std::string_view text) {
  Text field;
  field.reserve(text.size() + kMaxFieldOverhead);
  appendLengthPrefixed(field, text, false);
  return field;
}

Text encodePaintSignature(const PaintRecord& paint) {
  SignatureLine line("paint-v1", paint.id.size(), 8);
  line.text(paint.id);
  line.integer(paint.red);
  line.integer(paint.green);
  line.integer(paint.blue);
  line.integer(paint.alpha);
  line.integer(paint.radius);
  line.integer(paint.borderWidth);
  line.integer(paint.opacity);
  return line.take();
}

Text encodeImageSignature(const ImageRecord& image) {
  SignatureLine line("image-v1",
                     totalBytes({image.id, image.kind, image.format, image.colorSpace, image.alphaMode, image.state,
                                 image.contentIdentity, image.payloadHex, image.source}),
                     14);
  line.text(image.id);
  line.text(image.kind);
  line.integer(image.generation);
  line.integer(image.width);
  line.integer(image.height);
  line.integer(image.sizeBytes);
  line.text(image.format);
  line.text(image.colorSpace);
  line.text(image.alphaMode);
  line.text(image.state);
  line.flag(image.resident);
  line.text(image.contentIdentity);
  line.text(image.payloadHex);
  line.text(image.source);
  return line.take();
}

Text encodeGlyphSignature(const GlyphAlphaRecord& glyph) {
  SignatureLine line("glyph-v1", totalBytes({glyph.id, glyph.format, glyph.payloadHex, glyph.source}), 8);
  line.text(glyph.id);
  line.integer(glyph.width);
  line.integer(glyph.height);
  line.integer(glyph.rowStride);
  line.integer(glyph.sizeBytes);
  line.text(glyph.format);
  line.text(glyph.payloadHex);
  line.text(glyph.source);
  return line.take();
}

Text encodeClipSignature(const ClipRecord& clip) {
  SignatureLine line("clip-v1", clip.id.size(), 6);
  line.text(clip.id);
  line.integer(clip.x);
  line.integer(clip.y);
  line.integer(clip.width);
  line.integer(clip.height);
  line.integer(clip.radius);
  return line.take();
}

Text encodeTransformSignature(const TransformRecord& transform) {
  SignatureLine line("transform-v1", transform.id.size(), 6);
  line.text(transform.id);
  line.integer(transform.translateX);
  line.integer(transform.translateY);
  line.integer(transform.scalePercentX);
  line.integer(transform.scalePercentY);
  line.integer(transform.rotationMillidegrees);
  return line.take();
}

Text encodeCommandSignature(const CommandRecord& command) {
  const CommandInnerPart& inner = command.inner;
  SignatureLine line(
      "command-v1",
      totalBytes({command.owner, command.kind, command.attributeText1, command.attributeText2, command.resourceId,
                  command.paintId, command.clipId, command.transformId, command.attributeText3, command.attributeText4,
                  inner.innerText1, inner.innerText2, inner.innerText3, inner.innerText4}),
      43);
  line.integer(command.sequence);
  line.text(command.owner);
  line.text(command.kind);
  line.text(command.attributeText1);
  line.text(command.attributeText2);
  line.text(command.resourceId);
  line.integer(command.imageGeneration);
  line.text(command.paintId);
  line.text(command.clipId);
  line.text(command.transformId);
  line.integer(command.attributeInt1);
  line.integer(command.attributeInt2);
  line.integer(command.attributeInt3);
  line.integer(command.attributeInt4);
  line.text(command.attributeText3);
  line.text(command.attributeText4);
  line.text(inner.innerText1);
  line.text(inner.innerText2);
  line.text(inner.innerText3);
  line.text(inner.innerText4);
  for (std::int32_t value :
       {command.attributeInt5, command.attributeInt6, command.attributeInt7, command.attributeInt8,
        command.attributeInt9, command.attributeInt10, command.attributeInt11, command.attributeInt12,
        command.attributeInt13, command.attributeInt14, command.attributeInt15, command.attributeInt16,
        command.attributeInt17, command.attributeInt18, command.attributeInt19, command.attributeInt20,
        command.attributeInt21, command.attributeInt22}) {
    line.integer(value);
  }
  line.flag(command.skipGlyphResolution);
  // A constant tail kept so that every command line has the same 43 fields: "end" (the only
  // field without a length prefix) and three times 1.
  line.constantFields("|end|1|1|1");
  return line.take();
}

Text encodeFragmentSignature(const OwnerFragment& fragment) {
  const FragmentDependencySignature& dependencies = fragment.dependencySignature;
  SignatureLine line("fragment-v1",
                     totalBytes({fragment.id, dependencies.key1, dependencies.key2, dependencies.key3,
                                 dependencies.key4, dependencies.key5, dependencies.source, fragment.source}),
                     19);
  line.text(fragment.id);
  line.integer(fragment.generation);
  line.integer(fragment.attribute);
  for (const BoundsRect* bounds : {&fragment.layoutBounds, &fragment.inkBounds}) {
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
  line.text(fragment.source);
  line.count(fragment.commands.size());
  return line.take();
}

}  // namespace render
