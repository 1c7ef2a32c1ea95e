// Clips as 8-bit 4:4:4 y4m, for comparisons with the command line: the
// editor's own sample formulas both ways (from 8-bit samples exact, back with
// the editor's rounding), and the largest difference between two y4m files.
#include <cstdlib>
#include <cstring>

#include "plugin_host.h"

namespace {

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

bool read_y4m(const char* path, int* w, int* h, std::vector<std::vector<unsigned char>>* frames) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char line[256];
  bool ok = std::fgets(line, sizeof line, f) && std::strncmp(line, "YUV4MPEG2 ", 10) == 0;
  *w = *h = 0;
  bool c444 = false;
  for (char* t = std::strtok(line + 10, " \n"); ok && t; t = std::strtok(nullptr, " \n")) {
    if (t[0] == 'W') *w = std::atoi(t + 1);
    if (t[0] == 'H') *h = std::atoi(t + 1);
    if (t[0] == 'C') c444 = std::strcmp(t, "C444") == 0;
  }
  ok = ok && c444 && *w > 0 && *h > 0;
  const size_t bytes = size_t(*w) * *h * 3;
  while (ok && std::fgets(line, sizeof line, f)) {
    frames->emplace_back(bytes);
    ok = std::strncmp(line, "FRAME", 5) == 0 &&
         std::fread(frames->back().data(), 1, bytes, f) == bytes;
  }
  std::fclose(f);
  if (!ok) std::printf("%s: not an 8-bit 4:4:4 y4m file\n", path);
  return ok;
}

}  // namespace

int command_to_y4m(const char* clip_path, const char* out_path, bool nearest) {
  // The editor rounds luma with 383 / 4096, 0.42 of a code value below the
  // nearest on average; nearest rounds with half.
  const int luma_round = nearest ? 2048 : 383;
  yc_clip clip;
  if (!read_clip(clip_path, clip)) return 2;
  FILE* f = std::fopen(out_path, "wb");
  if (!f) return 2;
  std::fprintf(f, "YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C444\n", clip.w, clip.h);
  const size_t n = size_t(clip.w) * clip.h;
  std::vector<unsigned char> bytes(3 * n);
  for (const auto& frame : clip.frames) {
    for (size_t i = 0; i < n; ++i) {
      bytes[i] = (unsigned char)clamp_int(((frame[i].y * 219 + luma_round) >> 12) + 16, 0, 255);
      bytes[n + i] = (unsigned char)clamp_int((((frame[i].cb + 2048) * 7 + 66) >> 7) + 16, 0, 255);
      bytes[2 * n + i] =
          (unsigned char)clamp_int((((frame[i].cr + 2048) * 7 + 66) >> 7) + 16, 0, 255);
    }
    std::fprintf(f, "FRAME\n");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
  }
  return std::fclose(f) == 0 ? 0 : 2;
}

int command_from_y4m(const char* y4m_path, const char* out_path) {
  yc_clip clip;
  std::vector<std::vector<unsigned char>> frames;
  if (!read_y4m(y4m_path, &clip.w, &clip.h, &frames)) return 2;
  const size_t n = size_t(clip.w) * clip.h;
  for (const auto& bytes : frames) {
    clip.frames.emplace_back(n);
    for (size_t i = 0; i < n; ++i) {
      PIXEL_YC& p = clip.frames.back()[i];
      p.y = short(((bytes[i] * 1197) >> 6) - 299);
      p.cb = short(((bytes[n + i] - 128) * 4681 + 164) >> 8);
      p.cr = short(((bytes[2 * n + i] - 128) * 4681 + 164) >> 8);
    }
  }
  return write_clip(out_path, clip) ? 0 : 2;
}

// Prints the largest difference and how many samples differ; fails when the
// largest exceeds `limit` or the files do not match in size.
int command_compare_y4m(const char* a, const char* b, int limit) {
  int wa, ha, wb, hb;
  std::vector<std::vector<unsigned char>> fa, fb;
  if (!read_y4m(a, &wa, &ha, &fa) || !read_y4m(b, &wb, &hb, &fb)) return 2;
  if (wa != wb || ha != hb || fa.size() != fb.size()) {
    std::printf("%s and %s differ in size or length\n", a, b);
    return 1;
  }
  int largest = 0;
  long long differing = 0, total = 0;
  for (size_t k = 0; k < fa.size(); ++k)
    for (size_t i = 0; i < fa[k].size(); ++i) {
      const int d = std::abs(int(fa[k][i]) - int(fb[k][i]));
      largest = d > largest ? d : largest;
      differing += d != 0;
      ++total;
    }
  std::printf("largest difference %d, %lld of %lld samples differ (%.3f%%)\n", largest,
              differing, total, 100.0 * double(differing) / double(total));
  return largest <= limit ? 0 : 1;
}

// The frames of a clip at the given positions, in that order.
int command_pick(const char* clip_path, const char* out_path, const char* positions) {
  yc_clip clip, out;
  if (!read_clip(clip_path, clip)) return 2;
  out.w = clip.w;
  out.h = clip.h;
  for (const char* p = positions; *p;) {
    char* end = nullptr;
    const long k = std::strtol(p, &end, 10);
    if (end == p || k < 0 || size_t(k) >= clip.frames.size()) return 2;
    out.frames.push_back(clip.frames[size_t(k)]);
    p = *end == ',' ? end + 1 : end;
  }
  return write_clip(out_path, out) ? 0 : 2;
}
