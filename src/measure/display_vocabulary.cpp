#include "measure/display_vocabulary.h"

namespace tsl {

const char* DisplayStateName(DisplayState state) {
  switch (state) {
    case DisplayState::kPending:
      return "pending";
    case DisplayState::kShown:
      return "shown";
    case DisplayState::kLate:
      return "late";
    case DisplayState::kNeverShown:
      return "never shown";
    case DisplayState::kUnplaced:
      return "unplaced";
    case DisplayState::kNotPresented:
      return "not presented";
    case DisplayState::kNotMeasured:
      break;
  }
  return "not measured";
}

bool ParseDisplayState(std::string_view name, DisplayState& state) {
  for (const DisplayState s : {DisplayState::kPending, DisplayState::kShown, DisplayState::kLate,
                               DisplayState::kNeverShown, DisplayState::kUnplaced,
                               DisplayState::kNotMeasured, DisplayState::kNotPresented}) {
    if (name == DisplayStateName(s)) {
      state = s;
      return true;
    }
  }
  return false;
}

}  // namespace tsl
