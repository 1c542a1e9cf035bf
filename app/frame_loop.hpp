// The directory screen's frame loop on the window and canvas runtime (Windows only).
#pragma once

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"

namespace app {

// Runs frames until the main window is gone or closed, or ESCAPE was pressed. A close request
// of the user that lands in the middle of a frame also ends the loop normally; every other
// exception passes to the caller.
void runDirectoryScreen(DirectoryView& view, DirectoryScreenState& state);

}  // namespace app
