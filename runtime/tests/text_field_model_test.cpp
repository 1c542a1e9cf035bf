// The single-line text field: selection on begin, the 4096-byte limit, UTF-8 aware backspace
// and cancel.
#include "runtime/text_field_model.hpp"

#include <gtest/gtest.h>

#include <string>

namespace runtime {
namespace {

TEST(TextFieldModelTest, StartsIdleAndEmpty) {
  const TextFieldModel field;
  EXPECT_EQ(field.text, "");
  EXPECT_EQ(field.savedText, "");
  EXPECT_FALSE(field.focused);
  EXPECT_FALSE(field.replaceOnType);
}

TEST(TextFieldModelTest, BeforeBeginTypingIsIgnored) {
  TextFieldModel field;
  field.insert("x");
  EXPECT_EQ(field.text, "");
  field.backspace();
  EXPECT_EQ(field.text, "");
}

TEST(TextFieldModelTest, FirstInsertReplacesTheSelection) {
  TextFieldModel field;
  field.begin("Rex");
  EXPECT_EQ(field.text, "Rex");
  EXPECT_EQ(field.savedText, "Rex");
  EXPECT_TRUE(field.focused);
  EXPECT_TRUE(field.replaceOnType);
  field.insert("M");
  EXPECT_EQ(field.text, "M");
  EXPECT_FALSE(field.replaceOnType);
  field.insert("ax");
  EXPECT_EQ(field.text, "Max");
  EXPECT_EQ(field.savedText, "Rex");
}

TEST(TextFieldModelTest, EmptyInsertKeepsTheSelection) {
  TextFieldModel field;
  field.begin("Rex");
  field.insert("");
  EXPECT_EQ(field.text, "Rex");
  EXPECT_TRUE(field.replaceOnType);
}

TEST(TextFieldModelTest, InsertedTextIsTakenLiterally) {
  TextFieldModel field;
  field.begin("");
  field.insert("{0}");
  field.insert("{1}");
  EXPECT_EQ(field.text, "{0}{1}");
}

TEST(TextFieldModelTest, FirstBackspaceClearsTheSelection) {
  TextFieldModel field;
  field.begin("Rex");
  field.backspace();
  EXPECT_EQ(field.text, "");
  EXPECT_FALSE(field.replaceOnType);
  field.backspace();
  EXPECT_EQ(field.text, "");
}

TEST(TextFieldModelTest, BackspaceWorksWithoutFocus) {
  TextFieldModel field;
  field.begin("abc");
  field.insert("abc");
  field.cancel();
  EXPECT_FALSE(field.focused);
  EXPECT_FALSE(field.replaceOnType);
  field.insert("x");
  EXPECT_EQ(field.text, "abc");
  field.backspace();
  EXPECT_EQ(field.text, "ab");
}

TEST(TextFieldModelTest, CancelRightAfterBeginKeepsTheSelection) {
  TextFieldModel field;
  field.begin("Rex");
  field.cancel();
  EXPECT_EQ(field.text, "Rex");
  EXPECT_TRUE(field.replaceOnType);
  EXPECT_FALSE(field.focused);
  field.backspace();
  EXPECT_EQ(field.text, "");
}

TEST(TextFieldModelTest, CancelRestoresTheBegunText) {
  TextFieldModel field;
  field.begin("Rex");
  field.insert("Max");
  field.insert("imus");
  field.backspace();
  field.cancel();
  EXPECT_EQ(field.text, "Rex");
  EXPECT_EQ(field.savedText, "Rex");
}

TEST(TextFieldModelTest, LimitIs4096BytesAndRefusesWholeInsertions) {
  TextFieldModel field;
  field.begin("");
  field.insert(std::string(4090, 'a'));
  field.insert("bbbbbbb");
  EXPECT_EQ(field.text, std::string(4090, 'a'));
  field.insert("bbbbbb");
  EXPECT_EQ(field.text.size(), 4096u);
  EXPECT_EQ(field.text.substr(4090), "bbbbbb");
  field.insert("c");
  EXPECT_EQ(field.text.size(), 4096u);
}

TEST(TextFieldModelTest, OversizedFirstInsertStillClearsTheSelection) {
  TextFieldModel field;
  field.begin("Rex");
  field.insert(std::string(5000, 'x'));
  EXPECT_EQ(field.text, "");
  EXPECT_FALSE(field.replaceOnType);
}

TEST(TextFieldModelTest, LongBegunContentIsReplacedOnceThenFrozen) {
  TextFieldModel field;
  const std::string longText(5000, 'L');
  field.begin(longText);
  EXPECT_EQ(field.text, longText);
  field.insert("ok");
  EXPECT_EQ(field.text, "ok");

  TextFieldModel frozen;
  frozen.begin(longText);
  frozen.replaceOnType = false;
  frozen.insert("x");
  EXPECT_EQ(frozen.text, longText);
}

TEST(TextFieldModelTest, BackspaceRemovesWholeUtf8Characters) {
  TextFieldModel field;
  field.begin("");
  field.insert("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  field.backspace();
  EXPECT_EQ(field.text, "a\xC3\xA9\xE2\x82\xAC");
  field.backspace();
  EXPECT_EQ(field.text, "a\xC3\xA9");
  field.backspace();
  EXPECT_EQ(field.text, "a");
  field.backspace();
  EXPECT_EQ(field.text, "");
}

TEST(TextFieldModelTest, BackspaceOnStrayContinuationBytes) {
  TextFieldModel field;
  field.begin("");
  field.insert("\x80\x80\x80");
  field.backspace();
  EXPECT_EQ(field.text, "");
  field.insert("ab\xBF\xBF");
  field.backspace();
  EXPECT_EQ(field.text, "a");
}

TEST(TextFieldModelTest, OperationsAreVirtual) {
  struct Recording : TextFieldModel {
    void insert(const std::string& typed) override {
      log += "i";
      TextFieldModel::insert(typed);
    }
    std::string log;
  };
  Recording recording;
  TextFieldModel& base = recording;
  base.begin("x");
  base.insert("y");
  EXPECT_EQ(recording.log, "i");
  EXPECT_EQ(base.text, "y");
}

}  // namespace
}  // namespace runtime
