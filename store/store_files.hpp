// The files a store keeps in its directory, and their paths.
#pragma once

#include <string_view>

#include "runtime/text.hpp"

namespace store {

// The snapshot file: the last committed state.
inline constexpr std::string_view kSnapshotFileName = "store.corvane";
// The write-ahead file: a commit's bytes, written before the snapshot file is replaced and
// removed after; one found at open is recovered.
inline constexpr std::string_view kWalFileName = "store.wal.corvane";
// The next file: the snapshot's replacement, written only while a snapshot is promoted.
inline constexpr std::string_view kNextFileName = "store.next.corvane";
// The lock file, held by a commit from its check of the snapshot file to its move, and by the
// recovery at open. Always empty; not part of the stored data.
inline constexpr std::string_view kLockFileName = "store.lock.corvane";

// "{directory}/store.corvane".
runtime::Text snapshotPath(const runtime::Text& directory);
// "{directory}/store.wal.corvane".
runtime::Text walPath(const runtime::Text& directory);
// "{directory}/store.next.corvane".
runtime::Text nextPath(const runtime::Text& directory);
// "{directory}/store.lock.corvane".
runtime::Text lockPath(const runtime::Text& directory);

}  // namespace store
