// Render image admission: every rule's message in rule order, the edges of each limit, and the
// hexadecimal payload test.
#include "render/image_validation.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace render {
namespace {

ImageRecord readyImage(std::int32_t width, std::int32_t height) {
  ImageRecord image;
  image.id = "photo";
  image.kind = "image";
  image.generation = 1;
  image.width = width;
  image.height = height;
  image.sizeBytes = width * height * 4;
  image.format = "bgra8-hex";
  image.colorSpace = "srgb";
  image.alphaMode = "straight";
  image.state = "ready";
  image.resident = true;
  image.contentIdentity = "photo-1";
  image.payloadHex = std::string(static_cast<std::size_t>(image.sizeBytes) * 2, 'f');
  image.source = "camera";
  return image;
}

ImageRecord placeholder(const char* state) {
  ImageRecord image = readyImage(0, 0);
  image.state = state;
  image.resident = false;
  return image;
}

struct ImageCase {
  const char* name;
  std::function<void(ImageRecord&)> change;
  std::string expected;
};

TEST(ImageValidationTest, EachRuleReportsItsOwnMessageInOrder) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::string identity = "render image requires id/content identity of at most 64 bytes and a source";
  const std::string placeholderMessage =
      "render image photo placeholder state requires nonresident empty payload metadata";
  const std::string dimensions = "render image photo dimensions must be within 1..512";
  const std::string byteSize = "render image photo byte size must equal width*height*4 within 1048576 bytes";
  const std::string length = "render image photo BGRA8 hex payload length must equal sizeBytes*2";
  const std::vector<ImageCase> cases = {
      {"1 x 1 ready, mixed-case digits", [](ImageRecord& i) { i.payloadHex = "0aF19bCd"; }, ""},
      {"64-byte ids", [](ImageRecord& i) { i.id = i.contentIdentity = std::string(64, 'i'); }, ""},
      {"rec2020", [](ImageRecord& i) { i.colorSpace = "rec2020"; }, ""},
      {"linear-srgb", [](ImageRecord& i) { i.colorSpace = "linear-srgb"; }, ""},
      {"display-p3", [](ImageRecord& i) { i.colorSpace = "display-p3"; }, ""},
      {"id of 65 bytes, whatever else", [](ImageRecord& i) { i.id = std::string(65, 'i'), i.kind = "x"; }, identity},
      {"empty id", [](ImageRecord& i) { i.id.clear(); }, identity},
      {"empty content identity", [](ImageRecord& i) { i.contentIdentity.clear(); }, identity},
      {"content identity of 65 bytes", [](ImageRecord& i) { i.contentIdentity = std::string(65, 'c'); }, identity},
      {"empty source", [](ImageRecord& i) { i.source.clear(), i.generation = 0; }, identity},
      {"kind is case-sensitive", [](ImageRecord& i) { i.kind = "Image", i.generation = 0; },
       "render image photo requires kind=image, received Image"},
      {"empty kind ends in a blank", [](ImageRecord& i) { i.kind.clear(); },
       "render image photo requires kind=image, received "},
      {"generation 0", [](ImageRecord& i) { i.generation = 0, i.format = "x"; },
       "render image photo requires a positive generation"},
      {"most negative generation", [=](ImageRecord& i) { i.generation = kMin; },
       "render image photo requires a positive generation"},
      {"format", [](ImageRecord& i) { i.format = "rgba8-hex", i.colorSpace = "x"; },
       "render image photo format rgba8-hex is unsupported; admitted format is bgra8-hex"},
      {"colour space", [](ImageRecord& i) { i.colorSpace = "SRGB", i.alphaMode = "x"; },
       "render image photo colorSpace SRGB is unsupported; admitted named SDR spaces are srgb, linear-srgb, "
       "display-p3, and rec2020"},
      {"alpha mode", [](ImageRecord& i) { i.alphaMode = "premultiplied", i.state = "x"; },
       "render image photo requires alphaMode=straight"},
      {"empty state ends in a blank", [](ImageRecord& i) { i.state.clear(); },
       "render image photo has unsupported state "},
      {"state is case-sensitive", [](ImageRecord& i) { i.state = "Ready"; },
       "render image photo has unsupported state Ready"},
      {"ready but not resident, before dimensions", [](ImageRecord& i) { i.resident = false, i.width = 0; },
       "render image photo ready state requires resident pixels"},
      {"ready 0 x 0", [](ImageRecord& i) { i = readyImage(0, 0); }, dimensions},
      {"ready 1 x 0", [](ImageRecord& i) { i = readyImage(1, 0); }, dimensions},
      {"ready 513 x 1", [](ImageRecord& i) { i = readyImage(513, 1); }, dimensions},
      {"ready 1 x 513", [](ImageRecord& i) { i = readyImage(1, 513); }, dimensions},
      {"ready with extreme sides", [=](ImageRecord& i) { i.width = kMax, i.height = kMin; }, dimensions},
      {"size not width*height*4", [](ImageRecord& i) { i.sizeBytes = 3; }, byteSize},
      {"most negative size", [=](ImageRecord& i) { i.sizeBytes = kMin; }, byteSize},
      {"six digits", [](ImageRecord& i) { i.payloadHex = "0aF19b"; }, length},
      {"ten digits", [](ImageRecord& i) { i.payloadHex = "0aF19bCd00"; }, length},
      {"last digit g", [](ImageRecord& i) { i.payloadHex = "0aF19bCg"; },
       "render image photo BGRA8 payload contains a non-hexadecimal byte"},
      {"loading 0 x 0", [](ImageRecord& i) { i = placeholder("loading"); }, ""},
      {"error 2000 x 2000", [](ImageRecord& i) { i = placeholder("error"), i.width = i.height = 2000; }, ""},
      {"empty with the largest sides", [=](ImageRecord& i) { i = placeholder("empty"), i.width = i.height = kMax; },
       ""},
      {"loading resident", [](ImageRecord& i) { i = placeholder("loading"), i.resident = true; }, placeholderMessage},
      {"loading with a size", [](ImageRecord& i) { i = placeholder("loading"), i.sizeBytes = 4; }, placeholderMessage},
      {"loading with a payload", [](ImageRecord& i) { i = placeholder("loading"), i.payloadHex = "00"; },
       placeholderMessage},
      {"loading width -1", [](ImageRecord& i) { i = placeholder("loading"), i.width = -1; }, placeholderMessage},
      {"empty height at the minimum", [=](ImageRecord& i) { i = placeholder("empty"), i.height = kMin; },
       placeholderMessage},
  };
  for (const ImageCase& c : cases) {
    SCOPED_TRACE(c.name);
    ImageRecord image = readyImage(1, 1);
    c.change(image);
    EXPECT_EQ(validateRenderImage(image), c.expected);
  }
}

TEST(ImageValidationTest, TheLargestReadyImageIsAdmittedAndOneDigitMoreIsNot) {
  ImageRecord image = readyImage(512, 512);
  EXPECT_EQ(image.sizeBytes, 1048576);
  EXPECT_EQ(validateRenderImage(image), "");
  image.payloadHex.back() = 'x';
  EXPECT_EQ(validateRenderImage(image), "render image photo BGRA8 payload contains a non-hexadecimal byte");
  image.payloadHex.push_back('0');
  EXPECT_EQ(validateRenderImage(image), "render image photo BGRA8 hex payload length must equal sizeBytes*2");
}

TEST(ImageValidationTest, HexTextAcceptsOnlyHexadecimalDigits) {
  EXPECT_TRUE(isHexText(""));
  EXPECT_TRUE(isHexText("0123456789abcdefABCDEF"));
  for (const char* text : {" ", "0 1", "g", "G", "/", ":", "@", "`", "\xC3\xA9", "\x80", "\xFF"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(isHexText(text));
  }
  EXPECT_FALSE(isHexText(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace render
