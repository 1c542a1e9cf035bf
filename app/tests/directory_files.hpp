// Puts the files of one directory into another, replacing those of the same name, as a user
// puts back the files of a data directory (a recursive copy onto an existing directory is
// refused by some standard libraries).
#pragma once

#include <filesystem>

namespace app::testing {

inline void copyFilesInto(const std::filesystem::path& from, const std::filesystem::path& to) {
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(from)) {
    std::filesystem::copy_file(entry.path(), to / entry.path().filename(),
                               std::filesystem::copy_options::overwrite_existing);
  }
}

}  // namespace app::testing
