#include "weft/weft_log.h"

namespace weft {

// No console attributes outside Windows.
void SetLogConsoleColour(unsigned short) {}

}  // namespace weft
