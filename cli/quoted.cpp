// Input bytes quoted for messages: nothing reaches the terminal that could
// move its cursor, change its colours or hide the rest of the line.
#include <cstdio>

#include "cli/quoted.h"

std::string quoted_bytes(const char* data, size_t length, size_t limit) {
  const size_t room = limit > 3 ? limit - 3 : 0;  // what fits before "..."
  std::string out;
  size_t cut = 0;  // out's length at the last piece that fits before "..."
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    char piece[5] = {char(c), 0};
    if (c < 0x20 || c > 0x7e || c == '\\') snprintf(piece, sizeof piece, "\\x%02x", c);
    out += piece;
    if (out.size() <= room) cut = out.size();
    if (out.size() > limit) break;
  }
  if (out.size() <= limit) return out;
  out.resize(cut);
  return limit >= 3 ? out + "..." : std::string(limit, '.');
}
