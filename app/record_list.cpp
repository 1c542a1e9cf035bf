#include "app/record_list.hpp"

namespace app {

bool recordMatches(const store::Record& record, const runtime::Text& kind, const runtime::Text& search) {
  if (record.kind != kind) return false;
  if (search.empty()) return true;
  return record.content.find(search) != runtime::Text::npos || record.id.find(search) != runtime::Text::npos;
}

}  // namespace app
