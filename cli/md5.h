// MD5 of a byte stream, for the md5 output format.
#pragma once

#include <cstddef>
#include <cstdint>

struct md5_state {
  uint32_t a, b, c, d;
  uint64_t bytes;
  uint8_t block[64];
};
void md5_start(md5_state* m);
void md5_add(md5_state* m, const void* data, size_t length);
void md5_finish(md5_state* m, uint8_t digest[16]);
