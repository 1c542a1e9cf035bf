// Times frames of about 40 drawing calls on a real window and prints the time per frame.
// Windows only, so a plain timing program rather than a Google Benchmark one. Run under wine
// with a display: wine build/windows/bench/canvas_frame_bench.exe [frames]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "canvas/canvas.hpp"

namespace {

void drawFrame(int frame) {
  canvas::BeginFrame("Oreb Inc.", "Veterinary care / a fictional clinic, with a real persistent directory.");  // 4
  for (int row = 0; row < 6; ++row) {
    const std::int64_t y = 190 + row * 64;
    canvas::DrawRoundedRectRgba(34, y, 560, 56, 10, 24, 32, 40);
    canvas::DrawTextStyled("Patient record " + std::to_string(row + frame % 3), 50, static_cast<int>(y) + 8, 250, 221,
                           233, 230);
    canvas::drawMutedLabel("animal - owner customer-" + std::to_string(row), 50, static_cast<int>(y) + 32);
    canvas::DrawRectRgba(560, y + 20, 16, 16, 96, 200, 160);
    canvas::isMouseOver(34, static_cast<std::int32_t>(y), 560, 56);
  }
  for (int field = 0; field < 3; ++field) {
    canvas::DrawRoundedRectRgba(640, 190 + field * 70, 320, 44, 8, 30, 40, 48);
    canvas::DrawText("field", 656, 202 + field * 70, 150, 200, 210, 210);
  }
  canvas::EndFrame();
}

}  // namespace

int main(int argc, char** argv) try {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 200;
  canvas::openWindow("canvas frame bench", 1000, 700);
  for (int i = 0; i < 10; ++i) drawFrame(i);  // warm-up
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) drawFrame(i);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const double perFrameUs = std::chrono::duration<double, std::micro>(elapsed).count() / frames;
  std::printf("frames=%d drawing-calls-per-frame=38 time-per-frame-us=%.1f\n", frames, perFrameUs);
  // Where the time goes: every operation pumps the message queue once (twice for text).
  const auto perCallUs = [](auto&& call) {
    constexpr int kCalls = 500;
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i) call();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin).count() / kCalls;
  };
  std::printf("pumpMessages-us=%.1f DrawRectRgba-us=%.1f DrawRoundedRectRgba-us=%.1f DrawTextStyled-us=%.1f\n",
              perCallUs([] { canvas::pumpMessages(); }), perCallUs([] { canvas::DrawRectRgba(1, 2, 30, 40, 5, 6, 7); }),
              perCallUs([] { canvas::DrawRoundedRectRgba(34, 100, 560, 56, 10, 24, 32, 40); }),
              perCallUs([] { canvas::DrawTextStyled("Patient record 1", 50, 100, 250, 200, 200, 200); }));
  canvas::closeAllWindows();
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "%s\n", e.what());
  return 1;
}
