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

// Length of the well-formed UTF-8 sequence that starts at byte `at` of `text`: 1 for an
// ASCII byte, 2 to 4 for a longer one, and 0 when the bytes there are not UTF-8 (a stray
// continuation byte, an overlong form, a surrogate, a code point past U+10FFFF, or a
// sequence cut short by the end of `text`).
std::size_t utf8_sequence_length(const std::string& text, std::size_t at);

}  // namespace varnak
