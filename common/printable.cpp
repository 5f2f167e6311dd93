#include "common/printable.hpp"

#include <algorithm>

namespace varnak {
namespace {

void append_escaped(std::string& shown, unsigned char byte) {
  constexpr const char* kHexDigits = "0123456789abcdef";
  shown += "\\x";
  shown += kHexDigits[byte >> 4];
  shown += kHexDigits[byte & 0xF];
}

// Length of the well-formed UTF-8 sequence at `at`, or 0 when the bytes there are not one
// (a stray continuation byte, an overlong form, a surrogate, a code point past U+10FFFF,
// or a sequence cut short by `end`).
std::size_t sequence_length(const std::string& text, std::size_t at, std::size_t end) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (at + length > end) {
    return 0;
  }
  if (byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

void append_printable(std::string& shown, const std::string& text, std::size_t end) {
  for (std::size_t at = 0; at < end;) {
    const unsigned char byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F) {
        append_escaped(shown, byte);
      } else {
        shown += static_cast<char>(byte);
      }
      ++at;
      continue;
    }
    const std::size_t length = sequence_length(text, at, end);
    // U+0080..U+009F are encoded C2 80..C2 9F: the C1 controls, CSI (U+009B) among them.
    const bool c1_control =
        length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F;
    if (length == 0 || c1_control) {
      const std::size_t escaped = length == 0 ? 1 : length;
      for (std::size_t i = 0; i < escaped; ++i) {
        append_escaped(shown, static_cast<unsigned char>(text[at + i]));
      }
      at += escaped;
      continue;
    }
    shown.append(text, at, length);
    at += length;
  }
}

}  // namespace

std::string printable(const std::string& text) {
  std::string shown;
  append_printable(shown, text, text.size());
  return shown;
}

std::string quoted(const std::string& text, std::size_t limit) {
  std::string shown = "\"";
  append_printable(shown, text, std::min(text.size(), limit));
  return shown + (text.size() > limit ? "...\"" : "\"");
}

std::size_t utf8_sequence_length(const std::string& text, std::size_t at) {
  return static_cast<unsigned char>(text[at]) < 0x80 ? 1 : sequence_length(text, at, text.size());
}

}  // namespace varnak
