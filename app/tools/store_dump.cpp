// store-dump: prints a store file (snapshot, write-ahead or next file) as the store's own
// decoder reads it, one line per live entry, so tests can check what a run left on disk.
// Output: "ok=<0|1>", "message=<text>", "sequence=<n>", "entries=<n>", then "<key>=<value>" in
// file order, with backslash, newline and carriage return in values escaped as \\, \n and \r.
// Exit status: 0 when the file decoded, 1 when it did not, 3 when it could not be read.
#include <exception>
#include <iostream>
#include <string>

#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "store/snapshot_codec.hpp"
#include "store/store_state.hpp"

namespace {

std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: store-dump <store file>\n";
    return 3;
  }
  try {
    const runtime::Bytes bytes = runtime::readFileBytes(argv[1], store::kMaxSnapshotFileBytes);
    const store::StoreState state = store::decodeSnapshot(bytes, ".");
    std::cout << "ok=" << (state.ok ? 1 : 0) << '\n';
    std::cout << "message=" << escaped(state.message) << '\n';
    std::cout << "sequence=" << state.sequence << '\n';
    std::cout << "entries=" << state.entries.size() << '\n';
    for (const store::StoreEntry& entry : state.entries) {
      if (!entry.deleted) std::cout << escaped(entry.key) << '=' << escaped(entry.value) << '\n';
    }
    std::cout.flush();
    return state.ok ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 3;
  }
}
