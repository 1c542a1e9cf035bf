// The directory screen's frame loop on the window and canvas runtime (Windows only), and the
// shutdown that closes every window after it.
#pragma once

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"

namespace app {

// Runs frames until the main window is gone or closed, or ESCAPE was pressed. A close request
// of the user that lands in the middle of a frame also ends the loop normally; every other
// exception passes to the caller.
void runDirectoryScreen(DirectoryView& view, DirectoryScreenState& state);

// Closes every window of the registry in ascending id order and clears the main and current ids.
void closeAllWindows();

}  // namespace app
