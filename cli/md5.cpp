// MD5 of the output frames, for checks (the md5 output format).
#include <cstring>

#include "cli/md5.h"

namespace {

uint32_t rotate_left(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One 64-byte block: four rounds of sixteen steps.
void md5_block(md5_state* m, const uint8_t* p) {
  static const uint32_t k[64] = {
      0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
      0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
      0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
      0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
      0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
      0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
      0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
      0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
      0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
      0xeb86d391};
  static const int shift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
  uint32_t w[16];
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 |
           uint32_t(p[4 * i + 3]) << 24;
  uint32_t a = m->a, b = m->b, c = m->c, d = m->d;
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    switch (i / 16) {
      case 0: f = (b & c) | (~b & d); g = i; break;
      case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
    }
    uint32_t next = b + rotate_left(a + f + k[i] + w[g], shift[i / 16][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  m->a += a;
  m->b += b;
  m->c += c;
  m->d += d;
}

}  // namespace

void md5_start(md5_state* m) {
  m->a = 0x67452301;
  m->b = 0xefcdab89;
  m->c = 0x98badcfe;
  m->d = 0x10325476;
  m->bytes = 0;
}

void md5_add(md5_state* m, const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t used = size_t(m->bytes % 64);
  m->bytes += length;
  if (used) {
    size_t take = 64 - used < length ? 64 - used : length;
    memcpy(m->block + used, p, take);
    p += take;
    length -= take;
    if (used + take < 64) return;
    md5_block(m, m->block);
  }
  for (; length >= 64; p += 64, length -= 64) md5_block(m, p);
  memcpy(m->block, p, length);
}

void md5_finish(md5_state* m, uint8_t digest[16]) {
  uint64_t bits = m->bytes * 8;
  static const uint8_t pad[64] = {0x80};
  size_t used = size_t(m->bytes % 64);
  md5_add(m, pad, used < 56 ? 56 - used : 120 - used);
  uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = uint8_t(bits >> (8 * i));
  md5_add(m, length, 8);
  const uint32_t words[4] = {m->a, m->b, m->c, m->d};
  for (int i = 0; i < 16; ++i) digest[i] = uint8_t(words[i / 4] >> (8 * (i % 4)));
}
