// save-records: saves customers one after another through the directory view, as a person at
// the window saves them, so that tests can run two of it on one data directory at once. Each
// save reads the store first, as the window does, and one that the view refuses is made again,
// after a short pause, on the records it reads then (as the person would save again), up to 200
// times: long enough to outlast a store file that cannot be replaced for a while, as when the
// other program keeps the store's state in its write-ahead file meanwhile. A count of 0 only
// opens the store, which puts a write-ahead file it takes into
// place.
// usage: save-records <data directory> <name prefix> <count> [pause in milliseconds]
// Output, one line per attempt: "saved <id> <name>", "kept <id> <name>" (the save answered true
// while the store's state is a write-ahead file not yet moved into place) or "refused <status>".
// Exit status: 0 when every record was saved, 1 when one was not, 3 for a bad command line.
#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <thread>

#include "app/directory_view.hpp"
#include "runtime/files.hpp"

namespace {

constexpr int kAttempts = 200;
constexpr std::chrono::milliseconds kRetryPause{40};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::cerr << "usage: save-records <data directory> <name prefix> <count> [pause in milliseconds]\n";
    return 3;
  }
  try {
    const std::string directory = argv[1];
    const std::string prefix = argv[2];
    const int count = std::atoi(argv[3]);
    const int pause = argc == 5 ? std::atoi(argv[4]) : 0;
    runtime::ensureDirectory(directory);
    app::DirectoryView view(directory);
    for (int n = 1; n <= count; ++n) {
      // The pause lets the other program save while this one's records are on screen.
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
      const std::string name = prefix + " " + std::to_string(n);
      bool saved = false;
      for (int attempt = 0; attempt < kAttempts && !saved; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(kRetryPause);
        view.reloadIfChanged();  // as the window reads the store before each save
        const app::SaveOutcome outcome = view.saveRecord("", "customer", name, "", "", false);
        saved = static_cast<bool>(outcome);
        if (saved) {
          std::cout << (outcome.result == app::SaveResult::kKept ? "kept " : "saved ") << outcome.written.id << ' '
                    << name << std::endl;
        } else {
          std::cout << "refused " << view.status() << std::endl;
        }
      }
      if (!saved) return 1;
    }
    return 0;
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
}
