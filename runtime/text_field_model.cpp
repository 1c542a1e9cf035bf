#include "runtime/text_field_model.hpp"

#include "runtime/text.hpp"
#include "runtime/utf8.hpp"

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
  text.resize(utf8LastCharacterStart(text));
}

void TextFieldModel::cancel() {
  text = savedText;
  focused = false;
}

}  // namespace runtime
