#pragma once

#include <cstddef>
#include <string>

namespace varnak {

// `text` as it may be shown on a terminal: control bytes (C0, DEL, and the C1 controls
// U+0080..U+009F in UTF-8) and bytes that are not UTF-8 become \xNN, so a quoted file
// cannot move the cursor, clear the screen or change colours. Other UTF-8 passes as it is.
std::string printable(const std::string& text);

// `text` made printable, in double quotes, cut after `limit` bytes of the original with
// "..." added, so that a refusal stays one short line even for a line megabytes long.
std::string quoted(const std::string& text, std::size_t limit = 60);

}  // namespace varnak
