#include "app/self_test.hpp"

#include <cstddef>

#include "runtime/files.hpp"
#include "store/record_keys.hpp"

namespace app {

namespace {

// The stored record with the id, or null when the freshly opened database lacks it.
const store::Record* findRecord(const store::Database& database, const Text& id) {
  const std::int32_t index = store::findRecordIndex(database, id);
  return index < 0 ? nullptr : &database.records[static_cast<std::size_t>(index)];
}

}  // namespace

bool requireCheck(bool ok, std::string_view name, std::ostream& err) {
  if (!ok) runtime::printLine(err, name);
  return ok;
}

int runSelfTest(DirectoryView& view, std::ostream& out, std::ostream& err) {
  if (!requireCheck(view.database.records.size() == 5, "seed records", err)) return kSelfTestFailed;
  if (!requireCheck(!view.saveRecord("bad", "animal", "Unknown owner", "Dog", "missing", false), "reject missing owner",
                    err)) {
    return kSelfTestFailed;
  }
  if (!requireCheck(
          view.saveRecord("animal-3", "animal", "Mochi", "Cat / visit complete", "customer-1", false).result ==
              SaveResult::kSaved,
          "update patient", err)) {
    return kSelfTestFailed;
  }

  DirectoryView second(view.dataDirectory);
  const store::Record* updated = findRecord(second.database, "animal-3");
  if (!requireCheck(updated != nullptr && store::recordProperty(*updated, "detail") == "Cat / visit complete",
                    "durable update", err)) {
    return kSelfTestFailed;
  }
  if (!requireCheck(second.database.edges.size() == 3, "relationships persisted", err)) return kSelfTestFailed;
  if (!requireCheck(
          second.saveRecord("animal-3", "animal", "Mochi", "Cat", "customer-1", true).result == SaveResult::kSaved,
          "archive", err)) {
    return kSelfTestFailed;
  }

  DirectoryView third(view.dataDirectory);
  const store::Record* archived = findRecord(third.database, "animal-3");
  if (!requireCheck(archived != nullptr && archived->lifecycle == "archival", "durable archive", err)) {
    return kSelfTestFailed;
  }
  runtime::printLine(out, "oreb-vet: pass");
  return kSelfTestPassed;
}

}  // namespace app
