#include "clips.h"

uint32_t hash_mix(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352du;
  v ^= v >> 15;
  v *= 0x846ca68bu;
  v ^= v >> 16;
  return v;
}

PIXEL_YC clean_pixel(int n, int x, int y, int motion) {
  const int xs = x + motion * n;
  int luma = 600 + 6 * xs + 4 * y;                        // gradient
  if (((xs / 24) + (y / 24)) % 2) luma += 900;            // blocky edges
  luma += ((xs * 7 + y * 3) % 16) * 20;                   // fine texture
  const short cb = (short)(-400 + 3 * y - (xs % 50));
  const short cr = (short)(300 - 2 * xs + ((y / 16) % 2) * 200);
  return PIXEL_YC{(short)luma, cb, cr};
}

PIXEL_YC clip_pixel(uint32_t seed, int n, int x, int y, int noise, int motion) {
  PIXEL_YC p = clean_pixel(n, x, y, motion);
  if (noise > 0) {
    const uint32_t r = hash_mix(seed ^ hash_mix((uint32_t)n * 0x9e3779b9u ^ hash_mix((uint32_t)(y * 8191 + x))));
    const int span = 2 * noise + 1;
    p.y = (short)(p.y + (int)(r % span) - noise);
    p.cb = (short)(p.cb + (int)((r >> 10) % span) - noise);
    p.cr = (short)(p.cr + (int)((r >> 20) % span) - noise);
  }
  return p;
}

uint64_t frame_hash(const PIXEL_YC* frame, int w, int h, int max_w) {
  uint64_t hash = 1469598103934665603ull;
  for (int y = 0; y < h; ++y) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(frame + (size_t)y * max_w);
    for (size_t i = 0; i < (size_t)w * sizeof(PIXEL_YC); ++i) {
      hash ^= b[i];
      hash *= 1099511628211ull;
    }
  }
  return hash;
}
