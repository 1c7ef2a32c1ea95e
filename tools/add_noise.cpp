// add_noise: adds seeded Gaussian noise to an 8-bit YUV4MPEG2 clip.
//
//   add_noise SIGMA SEED < clean.y4m > noisy.y4m
//
// Every sample of every plane and frame gets its own draw of N(0, SIGMA^2) in
// 8-bit code values; the sum is rounded to nearest and clipped to 0..255. The
// draws come from a fixed generator (splitmix64 and the Box-Muller transform
// in double precision), so a seed gives the same clip on every machine.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint64_t rng_state = 0;

uint64_t next_u64() {
  uint64_t z = (rng_state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

// Uniform in (0, 1].
double next_unit() { return (double)((next_u64() >> 11) + 1) * (1.0 / 9007199254740992.0); }

bool read_line(std::string* line) {
  line->clear();
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') line->push_back((char)c);
  return c == '\n';
}

int tag_int(const std::string& header, char tag) {
  for (size_t i = 0; i + 1 < header.size(); ++i)
    if (header[i] == ' ' && header[i + 1] == tag) return std::atoi(header.c_str() + i + 2);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: add_noise SIGMA SEED < clean.y4m > noisy.y4m\n");
    return 2;
  }
  const double sigma = std::atof(argv[1]);
  rng_state = std::strtoull(argv[2], nullptr, 10);
  std::string header;
  if (!read_line(&header) || header.compare(0, 10, "YUV4MPEG2 ") != 0) {
    std::fprintf(stderr, "add_noise: input is not a y4m stream\n");
    return 1;
  }
  const int w = tag_int(header, 'W'), h = tag_int(header, 'H');
  size_t c_pos = header.find(" C");
  std::string cs = c_pos == std::string::npos ? "420" : header.substr(c_pos + 2, 3);
  if (w <= 0 || h <= 0 || (cs != "420" && cs != "422" && cs != "444") ||
      header.find("p10") != std::string::npos || header.find("p16") != std::string::npos) {
    std::fprintf(stderr, "add_noise: only 8-bit 4:2:0, 4:2:2 or 4:4:4 y4m\n");
    return 1;
  }
  const int cw = cs == "444" ? w : (w + 1) / 2;
  const int ch = cs == "420" ? (h + 1) / 2 : h;
  const size_t bytes = (size_t)w * h + 2 * (size_t)cw * ch;
  std::vector<uint8_t> frame(bytes);
  std::fwrite(header.data(), 1, header.size(), stdout);
  std::fputc('\n', stdout);
  std::string frame_header;
  while (read_line(&frame_header)) {
    if (std::fread(frame.data(), 1, bytes, stdin) != bytes) {
      std::fprintf(stderr, "add_noise: truncated frame\n");
      return 1;
    }
    for (size_t i = 0; i < bytes; ++i) {
      const double r = std::sqrt(-2.0 * std::log(next_unit()));
      const double g = r * std::cos(6.283185307179586 * next_unit());
      const double v = std::floor(frame[i] + sigma * g + 0.5);
      frame[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    std::fwrite(frame_header.data(), 1, frame_header.size(), stdout);
    std::fputc('\n', stdout);
    std::fwrite(frame.data(), 1, bytes, stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
