// The built-in self-test: seven checks of the directory view against the data directory,
// reopening it with fresh views to prove that saves are durable.
#pragma once

#include <memory>
#include <ostream>
#include <string_view>

#include "app/directory_view.hpp"

namespace app {

inline constexpr int kSelfTestPassed = 0;
inline constexpr int kSelfTestFailed = 2;

// The self-test's assertion: when ok is false, writes the check's name and a line end to err.
// Returns ok.
bool requireCheck(bool ok, std::string_view name, std::ostream& err);

// Runs the checks in order on the seeded view and its data directory. The first failing check
// writes its name to err and gives kSelfTestFailed; later checks do not run. When all pass,
// writes "oreb-vet: pass" to out and gives kSelfTestPassed. The caller ends the process with it.
int runSelfTest(DirectoryView& view, std::ostream& out, std::ostream& err);

}  // namespace app
