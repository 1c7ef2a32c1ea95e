// The benchmark's clip, generated rather than read so that no file is needed
// and every run sees the same frames: a smooth gradient, vertical bars and a
// square that move a little every frame, a fine static texture, and noise that
// is new in every frame. The noise is the sum of four uniform bytes, so it is
// roughly Gaussian (standard deviation about 9 in luma, 5 in chroma).
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/whole_frame.h"

namespace {

uint8_t clamp_u8(int v, int lo, int hi) { return uint8_t(v < lo ? lo : (v > hi ? hi : v)); }

struct noise_source {
  uint32_t state;
  explicit noise_source(uint32_t seed) : state(seed ? seed : 1u) {}
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  // Sum of the four bytes of one draw, centred: -510 .. 510, sd about 148.
  int centred() {
    const uint32_t v = next();
    return int(v & 255) + int((v >> 8) & 255) + int((v >> 16) & 255) + int(v >> 24) - 510;
  }
};

// The picture without noise; (x, y) in luma coordinates.
int luma_base(int x, int y, int w, int h, int k) {
  int v = 40 + x * 120 / w + y * 50 / h;
  if (((x + 2 * k) / 32) % 2) v += 30;           // bars moving right
  const int sx = (k * 6) % (w > 200 ? w - 160 : 1), sy = h / 4;
  if (x >= sx && x < sx + 160 && y >= sy && y < sy + 160) v += 50;  // moving square
  if ((x ^ y) & 4) v += 8;                         // fine texture
  return v;
}

int chroma_base(int x, int y, int w, int h, int k, int plane) {
  int v = 128 + (plane ? y * 40 / h - 20 : x * 40 / w - 20);
  const int sx = (k * 6) % (w > 200 ? w - 160 : 1), sy = h / 4;
  if (x >= sx && x < sx + 160 && y >= sy && y < sy + 160) v += plane ? -25 : 25;
  return v;
}

// A FILE that serves the y4m stream: the header, then "FRAME\n" and the
// planes of each frame, generated when the reader gets to it.
struct clip_stream {
  int w = 0, h = 0, frames = 0;
  int next_frame = 0;
  std::vector<uint8_t> chunk;
  size_t pos = 0;
};

ssize_t clip_read(void* cookie, char* buf, size_t size) {
  clip_stream* s = static_cast<clip_stream*>(cookie);
  size_t done = 0;
  while (done < size) {
    if (s->pos == s->chunk.size()) {
      if (s->next_frame >= s->frames) break;
      const size_t planes = size_t(s->w) * s->h + 2 * size_t(s->w / 2) * (s->h / 2);
      s->chunk.resize(6 + planes);
      memcpy(s->chunk.data(), "FRAME\n", 6);
      clip_frame(s->w, s->h, s->next_frame++, s->chunk.data() + 6);
      s->pos = 0;
    }
    size_t n = s->chunk.size() - s->pos;
    if (n > size - done) n = size - done;
    memcpy(buf + done, s->chunk.data() + s->pos, n);
    s->pos += n;
    done += n;
  }
  return ssize_t(done);
}

int clip_close(void* cookie) {
  delete static_cast<clip_stream*>(cookie);
  return 0;
}

}  // namespace

std::string clip_header(int w, int h) {
  char text[128];
  snprintf(text, sizeof text, "YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg\n", w, h);
  return text;
}

void clip_frame(int w, int h, int k, uint8_t* planes) {
  noise_source noise(0x9e3779b9u * uint32_t(k + 1));
  uint8_t* y_plane = planes;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      y_plane[size_t(y) * w + x] = clamp_u8(luma_base(x, y, w, h, k) + noise.centred() / 16, 16, 235);
  const int cw = w / 2, ch = h / 2;
  for (int plane = 0; plane < 2; ++plane) {
    uint8_t* c_plane = planes + size_t(w) * h + size_t(plane) * cw * ch;
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x)
        c_plane[size_t(y) * cw + x] =
            clamp_u8(chroma_base(2 * x, 2 * y, w, h, k, plane) + noise.centred() / 28, 16, 240);
  }
}

FILE* open_clip_stream(int w, int h, int frames) {
  clip_stream* s = new clip_stream;
  s->w = w;
  s->h = h;
  s->frames = frames;
  const std::string header = clip_header(w, h);
  s->chunk.assign(header.begin(), header.end());
  cookie_io_functions_t io = {clip_read, nullptr, nullptr, clip_close};
  FILE* file = fopencookie(s, "r", io);
  if (!file) delete s;
  return file;
}
