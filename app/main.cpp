// The oreb-vet program: opens the directory in the data directory, seeds it, and then either
// runs the self-test (MIVO_EXAMPLE_TEST=1) or shows the directory window until it is closed.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/screen_layout.hpp"
#include "app/self_test.hpp"
#include "runtime/files.hpp"

#ifdef _WIN32
#include "app/frame_loop.hpp"
#include "app/timer_resolution.hpp"
#include "canvas/canvas.hpp"
#endif

int main() {
  try {
    runtime::Text dataDirectory = runtime::environmentVariable("MIVO_EXAMPLE_DATA");
    if (dataDirectory.empty()) dataDirectory = "data/oreb-vet";
    runtime::ensureDirectory(dataDirectory);
    auto view = std::make_shared<app::DirectoryView>(dataDirectory);
    view->seedDemoData();
    if (runtime::environmentVariable("MIVO_EXAMPLE_TEST") == "1") {
      std::exit(app::runSelfTest(*view, std::cout, std::cerr));
    }
#ifdef _WIN32
    const app::TimerResolution timerResolution;  // for the frame loop's short sleeps, until exit
    app::DirectoryScreenState state;
    canvas::openWindow(runtime::Text(app::kWindowTitle), app::kWindowWidth, app::kWindowHeight);
    app::runDirectoryScreen(*view, state);
    canvas::closeAllWindows();
    view.reset();
    return 0;
#else
    std::cerr << "oreb-vet: this build has no directory window (it needs Windows); set MIVO_EXAMPLE_TEST=1 for the "
                 "self-test\n";
    return 1;
#endif
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
}
