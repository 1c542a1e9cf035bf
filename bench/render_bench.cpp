// Speed of the canonical signature lines:
//   the line of the largest ready image (512 x 512 pixels, 2 MiB of hexadecimal payload) against
//     copying the same 2 MiB into a buffer that is already allocated;
//   the line of a draw command whose every text is 32 bytes long, as lines per second.
// The ratio of the image line to the copy is printed after the table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio_reporter.hpp"
#include "render/render_records.hpp"
#include "render/signatures.hpp"

namespace {

render::ImageRecord largestReadyImage() {
  render::ImageRecord image;
  image.id = "photo";
  image.kind = "image";
  image.generation = 1;
  image.width = 512;
  image.height = 512;
  image.sizeBytes = 512 * 512 * 4;
  image.format = "bgra8-hex";
  image.colorSpace = "srgb";
  image.alphaMode = "straight";
  image.state = "ready";
  image.resident = true;
  image.contentIdentity = "photo-1";
  image.payloadHex.reserve(std::size_t{2} * 1048576);
  for (int i = 0; i < 1048576; ++i) {
    image.payloadHex += "0123456789abcdef"[i % 16];
    image.payloadHex += 'f';
  }
  image.source = "camera";
  return image;
}

render::CommandRecord commandWith32ByteTexts() {
  const std::string text(32, 't');
  render::CommandRecord command;
  command.sequence = 123456;
  command.kind = command.owner = command.attributeText1 = command.attributeText2 = text;
  command.resourceId = command.paintId = command.clipId = command.transformId = text;
  command.attributeText3 = command.attributeText4 = text;
  command.inner = {text, text, text, text};
  command.imageGeneration = 7;
  command.attributeInt1 = -1000000;
  command.attributeInt22 = 2147483647;
  return command;
}

void BM_EncodeImageSignature(benchmark::State& state) {
  const render::ImageRecord image = largestReadyImage();
  for (auto _ : state) {
    benchmark::DoNotOptimize(render::encodeImageSignature(image));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.payloadHex.size()));
}

void BM_FloorCopyPayload(benchmark::State& state) {
  const render::ImageRecord image = largestReadyImage();
  std::vector<char> buffer(image.payloadHex.size());
  for (auto _ : state) {
    std::memcpy(buffer.data(), image.payloadHex.data(), image.payloadHex.size());
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.payloadHex.size()));
}

void BM_EncodeCommandSignature(benchmark::State& state) {
  const render::CommandRecord command = commandWith32ByteTexts();
  for (auto _ : state) {
    benchmark::DoNotOptimize(render::encodeCommandSignature(command));
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_EncodeImageSignature)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_FloorCopyPayload)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_EncodeCommandSignature)->Unit(benchmark::kNanosecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatio("image line of the largest image", "BM_EncodeImageSignature/min_time:2.000",
                      "BM_FloorCopyPayload/min_time:2.000", 3.0);
  benchmark::Shutdown();
  return 0;
}
