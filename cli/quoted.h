// Bytes from a clip (header tags, ...) made safe to print in a message.
#pragma once

#include <cstddef>
#include <string>

// Printable ASCII stays as it is; every other byte, and the backslash, is
// written \xNN. At most limit characters: a longer text is cut and ends
// with "...".
std::string quoted_bytes(const char* data, size_t length, size_t limit = 80);
