// The editing model of a single-line text field: begin, type, backspace, cancel.
#pragma once

#include <string>

namespace runtime {

class TextFieldModel {
 public:
  static constexpr std::size_t kMaxBytes = 4096;

  virtual ~TextFieldModel();

  // Starts editing with the whole content selected.
  virtual void begin(const std::string& initial);
  // Appends typed text while focused, replacing the selection first; text that would take
  // the content past 4096 bytes is dropped whole.
  virtual void insert(const std::string& typed);
  // Clears the selection, or removes the last UTF-8 character.
  virtual void backspace();
  // Restores the content saved by begin and leaves editing.
  virtual void cancel();

  std::string text;
  std::string savedText;
  bool focused = false;
  bool replaceOnType = false;
};

}  // namespace runtime
