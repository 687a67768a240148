#include <windows.h>

#include "weft/weft_log.h"

namespace weft {

void SetLogConsoleColour(unsigned short attribute) {
  // Without a console the handle is null or not a console; the call then fails harmlessly.
  SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), attribute);
}

}  // namespace weft
