#include "runtime/text_field_model.hpp"

#include "runtime/text.hpp"

namespace runtime {

TextFieldModel::~TextFieldModel() = default;

void TextFieldModel::begin(const std::string& initial) {
  text = initial;
  savedText = initial;
  focused = true;
  replaceOnType = true;
}

void TextFieldModel::insert(const std::string& typed) {
  if (!focused || typed.empty()) return;
  if (replaceOnType) {
    text.clear();
    replaceOnType = false;
  }
  if (text.size() + typed.size() <= kMaxBytes) text = formatText("{0}{1}", {text, typed});
}

void TextFieldModel::backspace() {
  if (replaceOnType) {
    text.clear();
    replaceOnType = false;
    return;
  }
  if (text.empty()) return;
  auto index = static_cast<std::int64_t>(text.size()) - 1;
  while (index > 0) {
    const std::int32_t byte = byteAt(text, index);
    if (byte < 0x80 || byte > 0xBF) break;
    --index;
  }
  text = sliceText(text, 0, index);
}

void TextFieldModel::cancel() {
  text = savedText;
  focused = false;
}

}  // namespace runtime
