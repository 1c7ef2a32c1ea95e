// Clip files: reading, writing, the deterministic test pictures, comparison.
#include <cstring>

#include "plugin_host.h"

namespace {

const char clip_magic[8] = {'N', 'V', 'Y', 'C', '4', '8', '\0', '\1'};

uint64_t splitmix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Roughly Gaussian noise of about `spread` / 2 standard deviation, integers only.
int noise(uint64_t& state, int spread) {
  const uint64_t r = splitmix(state);
  int sum = 0;
  for (int i = 0; i < 4; ++i) sum += int((r >> (16 * i)) & 0xFFFF);
  return (sum - 2 * 0xFFFF) * spread / 0x10000;
}

short clamp16(int v) { return short(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

void put_le32(unsigned char* p, int32_t v) {
  const uint32_t u = uint32_t(v);
  for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(u >> (8 * i));
}

int32_t get_le32(const unsigned char* p) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= uint32_t(p[i]) << (8 * i);
  return int32_t(u);
}

}  // namespace

bool read_clip(const char* path, yc_clip& clip) {
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return false;
  }
  unsigned char head[20];
  bool ok = std::fread(head, 1, sizeof head, f) == sizeof head &&
            std::memcmp(head, clip_magic, sizeof clip_magic) == 0;
  const int w = ok ? get_le32(head + 8) : 0;
  const int h = ok ? get_le32(head + 12) : 0;
  const int n = ok ? get_le32(head + 16) : 0;
  ok = ok && w > 0 && h > 0 && n >= 0 && w <= 16384 && h <= 16384 && n <= 1000;
  if (ok) {
    clip.w = w;
    clip.h = h;
    clip.frames.assign(n, std::vector<PIXEL_YC>(size_t(w) * h));
    std::vector<unsigned char> bytes(size_t(w) * h * 6);
    for (int k = 0; k < n && ok; ++k) {
      ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
      for (size_t i = 0; ok && i < size_t(w) * h; ++i) {
        const unsigned char* s = &bytes[i * 6];
        clip.frames[k][i].y = short(uint16_t(s[0] | (s[1] << 8)));
        clip.frames[k][i].cb = short(uint16_t(s[2] | (s[3] << 8)));
        clip.frames[k][i].cr = short(uint16_t(s[4] | (s[5] << 8)));
      }
    }
  }
  std::fclose(f);
  if (!ok) std::fprintf(stderr, "%s is not a complete clip file\n", path);
  return ok;
}

bool write_clip(const char* path, const yc_clip& clip) {
  FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::fprintf(stderr, "cannot create %s\n", path);
    return false;
  }
  unsigned char head[20];
  std::memcpy(head, clip_magic, sizeof clip_magic);
  put_le32(head + 8, clip.w);
  put_le32(head + 12, clip.h);
  put_le32(head + 16, int32_t(clip.frames.size()));
  bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
  std::vector<unsigned char> bytes(size_t(clip.w) * clip.h * 6);
  for (const auto& frame : clip.frames) {
    for (size_t i = 0; i < frame.size(); ++i) {
      const short v[3] = {frame[i].y, frame[i].cb, frame[i].cr};
      for (int c = 0; c < 3; ++c) {
        bytes[i * 6 + 2 * c] = (unsigned char)(uint16_t(v[c]) & 0xFF);
        bytes[i * 6 + 2 * c + 1] = (unsigned char)(uint16_t(v[c]) >> 8);
      }
    }
    ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  }
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "cannot write %s\n", path);
  return ok;
}

void generate_clip(uint64_t seed, int w, int h, int frame_n, yc_clip& clip, bool blurred) {
  clip.w = w;
  clip.h = h;
  clip.frames.assign(frame_n, std::vector<PIXEL_YC>(size_t(w) * h));
  uint64_t state = seed * 0x2545F4914F6CDD1Dull + 1;
  // Blurred noise: white noise of three times the deviation averaged over
  // 3x3 neighbourhoods (a field with a border of one for each channel).
  const int fw = w + 2, fh = h + 2;
  std::vector<int> field[3];
  auto blurred_at = [&](int c, int x, int y) {
    int sum = 0;
    for (int dy = 0; dy < 3; ++dy)
      for (int dx = 0; dx < 3; ++dx) sum += field[c][size_t(y + dy) * fw + x + dx];
    return sum / 3;  // 9 samples of 3 times the deviation: the deviation
  };
  // A bright bar and a dark disc that move, over a diagonal gradient, a
  // checker texture in one quadrant and fine stripes in another.
  for (int k = 0; k < frame_n; ++k) {
    if (blurred)
      for (int c = 0; c < 3; ++c) {
        field[c].resize(size_t(fw) * fh);
        for (int& v : field[c]) v = noise(state, c ? 160 : 240);
      }
    const int bar_x = (w / 5 + 3 * k) % (w > 8 ? w - 8 : 1);
    const int disc_x = w / 2 + 2 * k, disc_y = h / 2 - k, disc_r = (h < w ? h : w) / 5 + 1;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        int luma = 300 + (3200 * x) / (w > 1 ? w - 1 : 1) / 2 + (1600 * y) / (h > 1 ? h - 1 : 1);
        int cb = -900 + (1800 * y) / (h > 1 ? h : 1);
        int cr = 700 - (1400 * x) / (w > 1 ? w : 1);
        if (x >= bar_x && x < bar_x + 6) luma = 3900, cb = 400;
        const int dx = x - disc_x, dy = y - disc_y;
        if (dx * dx + dy * dy <= disc_r * disc_r) luma = 150, cr = -1500;
        if (x < w / 2 && y >= h / 2 && (((x + k) / 4 + y / 4) & 1)) luma += 700;
        if (x >= w / 2 && y < h / 3 && (x & 1)) luma -= 500, cb += 300;
        if (blurred) {
          luma += blurred_at(0, x, y);
          cb += blurred_at(1, x, y);
          cr += blurred_at(2, x, y);
        } else {
          luma += noise(state, 240);
          cb += noise(state, 160);
          cr += noise(state, 160);
        }
        // Now and then a sample far outside the nominal ranges.
        const uint64_t r = splitmix(state);
        if ((r & 0x3FF) == 0) luma = (r & 0x400) ? 32767 : -32768;
        if ((r & 0xFF800) == 0x800) cb = (r & 0x100000) ? 32767 : -32768;
        if ((r & 0x7FF00000) == 0x100000) luma = 8191 + int((r >> 40) & 3);
        PIXEL_YC& p = clip.frames[k][size_t(y) * w + x];
        p.y = clamp16(luma);
        p.cb = clamp16(cb);
        p.cr = clamp16(cr);
      }
    }
  }
}

bool compare_clips(const yc_clip& a, const yc_clip& b, const char* name_a, const char* name_b) {
  if (a.w != b.w || a.h != b.h || a.frames.size() != b.frames.size()) {
    std::printf("%s is %dx%d with %zu frames, %s is %dx%d with %zu frames\n", name_a, a.w, a.h,
                a.frames.size(), name_b, b.w, b.h, b.frames.size());
    return false;
  }
  long long differing = 0;
  for (size_t k = 0; k < a.frames.size(); ++k) {
    for (size_t i = 0; i < a.frames[k].size(); ++i) {
      const short va[3] = {a.frames[k][i].y, a.frames[k][i].cb, a.frames[k][i].cr};
      const short vb[3] = {b.frames[k][i].y, b.frames[k][i].cb, b.frames[k][i].cr};
      for (int c = 0; c < 3; ++c) {
        if (va[c] == vb[c]) continue;
        if (differing++ == 0)
          std::printf("first difference: output frame %zu, x %zu, y %zu, %s: %s %d, %s %d\n", k,
                      i % a.w, i / a.w, c == 0 ? "y" : (c == 1 ? "cb" : "cr"), name_a, va[c],
                      name_b, vb[c]);
      }
    }
  }
  if (differing) std::printf("%lld samples differ\n", differing);
  return differing == 0;
}
