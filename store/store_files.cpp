// The paths of the store's files in its directory.
#include "store/store_files.hpp"

namespace store {

namespace {

runtime::Text pathIn(const runtime::Text& directory, std::string_view name) {
  runtime::Text path;
  path.reserve(directory.size() + 1 + name.size());
  path += directory;
  path += '/';
  path += name;
  return path;
}

}  // namespace

runtime::Text snapshotPath(const runtime::Text& directory) { return pathIn(directory, kSnapshotFileName); }

runtime::Text walPath(const runtime::Text& directory) { return pathIn(directory, kWalFileName); }

runtime::Text nextPath(const runtime::Text& directory) { return pathIn(directory, kNextFileName); }

runtime::Text lockPath(const runtime::Text& directory) { return pathIn(directory, kLockFileName); }

}  // namespace store
