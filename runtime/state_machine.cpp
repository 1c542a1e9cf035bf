#include "runtime/state_machine.hpp"

#include <utility>

namespace runtime {

StateMachine::StateMachine(std::string initial, std::vector<StateTransition> table)
    : current(initial), previous(std::move(initial)), status("ok"), transitions(std::move(table)) {}

StateMachine::~StateMachine() = default;

bool StateMachine::fire(const std::string& event) {
  int matches = 0;
  const StateTransition* last = nullptr;
  for (const StateTransition& row : transitions) {
    if (row.from == current && row.event == event) {
      ++matches;
      last = &row;
    }
  }
  if (matches == 0) return false;
  if (matches > 1) {
    status = "Ambiguous state transition";
    return false;
  }
  previous = current;
  current = last->to;
  lastEvent = event;
  ++transitionCount;
  status = "ok";
  return true;
}

}  // namespace runtime
