#include "cli_test_util.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <set>

namespace {

int picture_value(int x, int y, int n, std::mt19937* rng, int noise) {
  int v = 40 + (x * 3 + y * 2) % 160 + (x > 10 + n ? 30 : 0);
  return v + int((*rng)() % (2 * noise + 1)) - noise;
}

}  // namespace

std::string make_y4m(int w, int h, int frames, const char* colorspace, char interlace,
                     uint32_t seed) {
  video_format f;
  f.width = w;
  f.height = h;
  f.interlace = interlace;
  snprintf(f.colorspace, sizeof f.colorspace, "%s", colorspace);
  if (colorspace[0]) parse_colorspace(colorspace, &f.chroma, &f.bits);
  std::string out = y4m_format_header(f);
  std::mt19937 rng(seed);
  const int wide = f.bits > 8, cw = chroma_width(f), ch = chroma_height(f);
  const int max = (1 << f.bits) - 1;
  auto put = [&](int v) {
    v = v < 0 ? 0 : v > max ? max : v;
    out += char(v & 255);
    if (wide) out += char(v >> 8);
  };
  for (int n = 0; n < frames; ++n) {
    out += "FRAME\n";
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) put(picture_value(x, y, n, &rng, 12) << (f.bits - 8));
    for (int plane = 0; plane < 2; ++plane)
      for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x)
          put((128 + (plane ? x : y) % 40 - 20 + int(rng() % 9) - 4) << (f.bits - 8));
  }
  return out;
}

std::string with_frame_parameters(const std::string& y4m, size_t payload_bytes) {
  size_t at = y4m.find('\n') + 1;
  std::string out = y4m.substr(0, at);
  for (int k = 0; at + 6 + payload_bytes <= y4m.size(); ++k, at += 6 + payload_bytes) {
    out += "FRAME";
    if (k % 3) out += " Ip X" + std::to_string(k) + "=" + std::string(k * 7 % 40, 'q');
    out += '\n';
    out.append(y4m, at + 6, payload_bytes);
  }
  return out;
}

std::string make_yc48(int w, int h, int frames, uint32_t seed) {
  std::string out;
  std::mt19937 rng(seed);
  auto put = [&](int v) {
    out += char(v & 255);
    out += char((v >> 8) & 255);
  };
  for (int n = 0; n < frames; ++n)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        put(picture_value(x, y, n, &rng, 12) * 16 - 256);
        put(int(rng() % 600) - 300);
        put((x - y) * 8);
      }
  return out;
}

namespace {

// The files a test process named, removed when it ends. CTest runs test
// processes side by side, so every name carries the process id: two tests
// writing one shared file would read each other's data.
struct temp_files {
  pid_t owner = getpid();
  std::set<std::string> paths;
  ~temp_files() {
    if (getpid() != owner) return;  // a forked child leaves its parent's files alone
    for (const std::string& path : paths) unlink(path.c_str());
  }
} temp_files_made;

}  // namespace

std::string temp_path(const std::string& name) {
  const std::string path = testing::TempDir() + "nivora_" + std::to_string(getpid()) + "_" + name;
  temp_files_made.paths.insert(path);
  return path;
}

void write_file(const std::string& path, const std::string& data) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
}

std::string read_file(const std::string& path) {
  std::string data;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return data;
  char buf[65536];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, got);
  fclose(f);
  return data;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

cli_result run_nivora(const std::vector<std::string>& args, const FILTER_DLL* table) {
  if (!table) table = GetFilterTable();
  std::vector<const char*> argv{"nivora"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  cli_result r;
  cli_options o;
  std::string error;
  parse_status p = parse_options(int(argv.size()), argv.data(), table, &o, &error);
  if (p != parse_ok) {
    r.status = 2;
    r.messages = error;
    return r;
  }
  char* text = nullptr;
  size_t length = 0;
  FILE* err = open_memstream(&text, &length);
  r.status = run_cli(o, table, err, &r.summary);
  fclose(err);
  r.messages.assign(text, length);
  free(text);
  return r;
}

int y4m_frame_count(const std::string& data, size_t payload_bytes) {
  size_t at = data.find('\n');
  int frames = 0;
  while (at != std::string::npos && at + 1 + 6 + payload_bytes <= data.size() &&
         data.compare(at + 1, 6, "FRAME\n") == 0) {
    ++frames;
    at += 6 + payload_bytes;
  }
  return frames;
}

testing::AssertionResult same_bytes(const std::string& got, const std::string& expected) {
  if (got == expected) return testing::AssertionSuccess();
  size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  testing::AssertionResult r = testing::AssertionFailure();
  r << got.size() << " bytes against " << expected.size() << " expected, first difference at byte "
    << at;
  if (at < got.size() && at < expected.size())
    r << " (" << int(uint8_t(got[at])) << " against " << int(uint8_t(expected[at])) << ")";
  return r;
}

namespace {

int entries(const char* folder) {
  DIR* d = opendir(folder);
  if (!d) return -1;
  int n = 0;
  while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
  closedir(d);
  return n;
}

}  // namespace

int open_descriptors() { return entries("/proc/self/fd"); }
int process_threads() { return entries("/proc/self/task"); }
