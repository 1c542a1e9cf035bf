// A finite state machine over text states and events, driven by a fixed transition table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace runtime {

struct StateTransition {
  std::string from;
  std::string event;
  std::string to;
};

class StateMachine {
 public:
  StateMachine(std::string initial, std::vector<StateTransition> transitions);
  virtual ~StateMachine();

  // Moves along the one row that matches (current, event). No match: false, nothing
  // changes. Several matches: false, status becomes "Ambiguous state transition".
  virtual bool fire(const std::string& event);

  std::string current;
  std::string previous;
  std::string lastEvent;
  std::int32_t transitionCount = 0;
  std::string status;
  const std::vector<StateTransition> transitions;
};

}  // namespace runtime
