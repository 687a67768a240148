#pragma once

#include <windows.h>

#include <string>

namespace tsl {

// Shows `text` (UTF-8, lines ending in "\n") in a modal box drawn in a fixed-pitch font, so
// that text laid out in columns (the option list, the diagnostic report) keeps them; a message
// box's proportional font would not. The box fits the text within the monitor's work area and
// scrolls beyond it. Returns when the person closes it.
void ShowFixedPitchText(const wchar_t* caption, const std::string& text);

// The fixed-pitch font the box uses at `dpi`: a modern face of about 9 points, or the system's
// fixed font where no such face is had. The caller deletes it.
HFONT CreateFixedPitchFont(UINT dpi);

}  // namespace tsl
