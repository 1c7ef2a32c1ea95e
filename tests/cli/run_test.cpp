// Whole runs of the command line: what the filter sees through the plug-in
// interface, identical output for any thread count, for ranges and for
// streams, the formats end to end, and the refusals of bad input.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "cli/cli.h"
#include "cli_test_util.h"

namespace {

// A stand-in filter reached through a copy of the real table: it fetches the
// window as the driver does, checks what the host hands it, and outputs the
// mean of the window (a temporal filter whose result can be computed here).
struct probe_state {
  int faults = 0;  // anything the host got wrong
  std::string first_fault;
  int calls = 0, inits = 0, updates = 0, exits = 0, saves = 0;
  std::vector<int> frame_n_seen;
  std::vector<std::vector<PIXEL_YC>> window;  // copies of the window's frames
  int window_count = 0;
  FILTER_PROC_INFO* fpip = nullptr;
} probe;

void probe_fault(const std::string& what) {
  if (!probe.faults++) probe.first_fault = what;
}

// Thread t of T writes rows [t h / T, (t + 1) h / T) of ycp_temp.
void probe_mean_job(int thread_id, int thread_num, void* param1, void* param2) {
  (void)param1;
  FILTER_PROC_INFO* fpip = static_cast<FILTER_PROC_INFO*>(param2);
  const int count = probe.window_count;
  for (int y = thread_id * fpip->h / thread_num; y < (thread_id + 1) * fpip->h / thread_num; ++y)
    for (int x = 0; x < fpip->w; ++x) {
      int s[3] = {0, 0, 0};
      for (int i = 0; i < count; ++i) {
        const PIXEL_YC& p = probe.window[i][size_t(y) * fpip->max_w + x];
        s[0] += p.y;
        s[1] += p.cb;
        s[2] += p.cr;
      }
      PIXEL_YC& out = fpip->ycp_temp[size_t(y) * fpip->max_w + x];
      out.y = short(s[0] / count);
      out.cb = short(s[1] / count);
      out.cr = short(s[2] / count);
    }
}

BOOL probe_proc(FILTER* fp, FILTER_PROC_INFO* fpip) {
  ++probe.calls;
  const int w = fpip->w, h = fpip->h, R = fp->track[0];
  if (fpip->max_w != ((w + 15) & ~15) || fpip->max_h < ((h + 15) & ~15) ||
      fpip->line_size != fpip->max_w * 6 || !fpip->editp || !fpip->ycp_edit || !fpip->ycp_temp)
    probe_fault("per-frame record");
  probe.frame_n_seen.push_back(fpip->frame_n);
  EXFUNC* ex = fp->exfunc;
  ex->set_ycp_filtering_cache_size(fp, fpip->max_w, fpip->max_h, 5, 0);
  if (probe.window.empty()) probe.window.assign(9, std::vector<PIXEL_YC>(size_t(fpip->max_w) * fpip->max_h));
  probe.window_count = 0;
  for (int i = -R; i <= R; ++i) {
    const int p = fpip->frame + i, fn = fpip->frame_n;
    const int m = p < 0 ? -p : p >= fn ? 2 * fn - p - 2 : p;
    PIXEL_YC* a = ex->get_ycp_filtering_cache_ex(fp, fpip->editp, m, nullptr, nullptr);
    if (!a) {
      probe_fault("no frame for " + std::to_string(m));
      continue;
    }
    for (int y = 0; y < h; ++y)
      if (memcmp(&a[size_t(y) * fpip->max_w + fpip->max_w - 1], &a[size_t(y) * fpip->max_w + w - 1], 6))
        probe_fault("columns past the width");
    memcpy(probe.window[probe.window_count++].data(), a, sizeof(PIXEL_YC) * fpip->max_w * fpip->max_h);
    // Scribble below the picture, as the driver's extension does, then fetch
    // the neighbours: the first frame must stay as it was.
    for (int x = 0; x < fpip->max_w; ++x) a[size_t(fpip->max_h - 1) * fpip->max_w + x].y = 12345;
    const int before = a[0].y + 7 * a[w - 1].cb;
    if (m > 0) ex->get_ycp_filtering_cache_ex(fp, fpip->editp, m - 1, nullptr, nullptr);
    if (m + 1 < fn) ex->get_ycp_filtering_cache_ex(fp, fpip->editp, m + 1, nullptr, nullptr);
    if (a[0].y + 7 * a[w - 1].cb != before ||
        a[size_t(fpip->max_h - 1) * fpip->max_w].y != 12345)
      probe_fault("a fetched frame changed within two fetches");
  }
  if (!probe.window_count) return 1;
  ex->exec_multi_thread_func(probe_mean_job, nullptr, fpip);
  // The result is left in ycp_temp: the host must take it from the swapped pointer.
  std::swap(fpip->ycp_edit, fpip->ycp_temp);
  return 1;
}

BOOL probe_init(FILTER*) { return ++probe.inits; }
BOOL probe_exit(FILTER*) { return ++probe.exits; }
BOOL probe_update(FILTER*, int) { return ++probe.updates; }
BOOL probe_save_start(FILTER*, int, int, void*) { return ++probe.saves; }

const FILTER_DLL* probe_table() {
  static FILTER_DLL table;
  table = *GetFilterTable();
  table.func_proc = probe_proc;
  table.func_init = probe_init;
  table.func_exit = probe_exit;
  table.func_update = probe_update;
  table.func_save_start = probe_save_start;
  probe = probe_state();
  return &table;
}

// The probe's expected output: the mean of the reflected window, in YC48.
std::string expected_means(const std::string& clip, int w, int h, int frames, int R) {
  const size_t fb = size_t(w) * h * 6;
  std::string out;
  for (int n = 0; n < frames; ++n)
    for (size_t s = 0; s < size_t(w) * h * 3; ++s) {
      int sum = 0;
      for (int i = -R; i <= R; ++i) {
        const int p = n + i, m = p < 0 ? -p : p >= frames ? 2 * frames - p - 2 : p;
        sum += int16_t(uint8_t(clip[m * fb + 2 * s]) | uint8_t(clip[m * fb + 2 * s + 1]) << 8);
      }
      const int v = sum / (2 * R + 1);
      out += char(v & 255);
      out += char((v >> 8) & 255);
    }
  return out;
}

std::string y4m_frames_only(const std::string& data) { return data.substr(data.find('\n') + 1); }

}  // namespace

TEST(RunWithProbe, TheFilterSeesTheClipThroughTheEditorsInterface) {
  const int w = 21, h = 11, frames = 9;
  const std::string clip = make_yc48(w, h, frames, 5), in = temp_path("probe.yc48");
  write_file(in, clip);
  const std::string size = std::to_string(w) + "x" + std::to_string(h);
  for (int R = 1; R <= 4; ++R) {
    const std::string out = temp_path("probe_out.yc48");
    cli_result r = run_nivora({"-q", "--frame", std::to_string(R), "--size", size, in, out},
                              probe_table());
    ASSERT_EQ(r.status, 0) << r.messages;
    EXPECT_EQ(probe.faults, 0) << probe.first_fault;
    EXPECT_EQ(probe.calls, frames);
    EXPECT_EQ(probe.inits, 1);
    EXPECT_EQ(probe.updates, 1);
    EXPECT_EQ(probe.saves, 1);
    EXPECT_EQ(probe.exits, 1);
    EXPECT_EQ(r.summary.cache_misses, 0);
    EXPECT_TRUE(same_bytes(read_file(out), expected_means(clip, w, h, frames, R)))
        << "radius " << R;
  }
}

TEST(RunWithProbe, AStreamOfUnknownLengthGivesTheSameFrames) {
  const int w = 16, h = 8, frames = 7;
  const std::string clip = make_yc48(w, h, frames, 9), fifo = temp_path("stream.fifo");
  unlink(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { write_file(fifo, clip); });
  const std::string out = temp_path("stream_out.yc48");
  cli_result r = run_nivora({"-q", "--frame", "3", "--size", "16x8", fifo, out}, probe_table());
  writer.join();
  ASSERT_EQ(r.status, 0) << r.messages;
  EXPECT_EQ(probe.faults, 0) << probe.first_fault;
  // frame_n grows beyond the window until the end is in reach.
  EXPECT_EQ(probe.frame_n_seen, (std::vector<int>{5, 6, 7, 7, 7, 7, 7}));
  EXPECT_TRUE(same_bytes(read_file(out), expected_means(clip, w, h, frames, 3)));
}

TEST(RunWithFilter, OutputDoesNotDependOnThreadsOrRanges) {
  const std::string in = temp_path("threads.y4m");
  write_file(in, make_y4m(40, 24, 10, "420jpeg", 'p', 3));
  for (const char* settings : {"2,8,8,8,8,8,8,5,5", "4,30,30,30,30,30,30,20,20"}) {
    const std::vector<std::string> base = {"-q", "--track", settings, "--check", "1,1,1,1"};
    std::string whole;
    for (const char* threads : {"1", "2", "3", "7"}) {
      const std::string out = temp_path(std::string("threads_") + threads + ".y4m");
      std::vector<std::string> args = base;
      args.insert(args.end(), {"--threads", threads, in, out});
      cli_result r = run_nivora(args);
      ASSERT_EQ(r.status, 0) << r.messages;
      EXPECT_EQ(r.summary.cache_misses, 0);
      // Played in order, a frame is converted about once although the
      // mosquito pass asks for most frames three times (at radius 2: the first
      // window and its neighbours, then one frame per output frame).
      if (settings[0] == '2') {
        EXPECT_LE(r.summary.cache_conversions, 10 + 7) << threads;
      }
      const std::string data = read_file(out);
      if (whole.empty()) whole = data;
      EXPECT_TRUE(same_bytes(data, whole)) << threads << " threads, settings " << settings;
    }
    // Scalar kernels give the same frames as the processor's best.
    {
      const std::string out = temp_path("threads_ref.y4m");
      std::vector<std::string> args = base;
      args.insert(args.end(), {"--cpu", "ref", "--threads", "2", in, out});
      ASSERT_EQ(run_nivora(args).status, 0);
      EXPECT_TRUE(same_bytes(read_file(out), whole)) << "ref kernels, settings " << settings;
    }
    // Adjacent ranges, concatenated, give the whole run (only the first has a header).
    std::string joined;
    for (const char* range : {"0:1", "1:4", "4:9", "9:"}) {
      const std::string out = temp_path("range.y4m");
      std::vector<std::string> args = base;
      args.insert(args.end(), {"--range", range, "--threads", "2", in, out});
      cli_result r = run_nivora(args);
      ASSERT_EQ(r.status, 0) << r.messages;
      joined += read_file(out);
    }
    EXPECT_TRUE(same_bytes(joined, whole)) << "settings " << settings;
  }
}

// Largest difference between the samples of two y4m streams of format f
// (luma only, or all planes).
static int largest_difference(const std::string& a, const std::string& b, const video_format& f,
                       bool luma_only) {
  const int wide = f.bits > 8;
  const size_t frame = frame_payload_bytes(format_y4m, f);
  const size_t checked = luma_only ? size_t(f.width) * f.height * (1 + wide) : frame;
  const size_t ha = a.find('\n') + 1, hb = b.find('\n') + 1;
  int largest = 0;
  for (size_t at = 0; ha + at + 6 + frame <= a.size(); at += 6 + frame) {
    if (hb + at + 6 + frame > b.size()) return 1 << 30;
    for (size_t i = 6; i < 6 + checked; i += 1 + wide) {
      const char* p = &a[ha + at + i];
      const char* q = &b[hb + at + i];
      int x = uint8_t(p[0]) | (wide ? uint8_t(p[1]) << 8 : 0);
      int y = uint8_t(q[0]) | (wide ? uint8_t(q[1]) << 8 : 0);
      largest = std::max(largest, abs(x - y));
    }
  }
  return largest;
}

// A 4:4:4 y4m stream (progressive frame headers) with every odd column's
// chroma replaced by the even column's before it: what the filter's one
// chroma sample per pixel pair makes of it.
static std::string even_column_chroma(const std::string& y4m, const video_format& f) {
  std::string out = y4m;
  const int wide = f.bits > 8, sample = 1 + wide;
  const size_t plane = size_t(f.width) * f.height * sample;
  const size_t frame = frame_payload_bytes(format_y4m, f);
  for (size_t at = out.find('\n') + 1 + 6; at + frame <= out.size(); at += 6 + frame)
    for (size_t p = 1; p < 3; ++p)
      for (int r = 0; r < f.height; ++r)
        for (int x = 1; x < f.width; x += 2) {
          const size_t odd = at + p * plane + (size_t(r) * f.width + x) * sample;
          out.replace(odd, sample, out, odd - sample, sample);
        }
  return out;
}

TEST(RunWithFilter, FormatsRoundTripAtZeroStrength) {
  // With every strength at 0 the filter passes the picture through, with one
  // chroma sample per pixel pair: 4:2:0 and 4:2:2 come back whole, 4:4:4
  // with the even column's chroma in both columns of a pair.
  const std::vector<std::string> zero = {"-q", "--track", "2,0,0,0,0,0,0,0,0", "--check", "0,0,0,0"};
  for (const char* cs : {"420jpeg", "422", "444", "420p10", "422p12", "444p16"}) {
    const std::string in = temp_path("zero.y4m"), out = temp_path("zero_out.y4m");
    const std::string data = make_y4m(20, 12, 3, cs, 'p', 4);
    write_file(in, data);
    std::vector<std::string> args = zero;
    args.insert(args.end(), {in, out});
    cli_result r = run_nivora(args);
    ASSERT_EQ(r.status, 0) << r.messages;
    const std::string back = read_file(out);
    ASSERT_EQ(back.size(), data.size()) << cs;
    EXPECT_EQ(back.substr(0, back.find('\n')), data.substr(0, data.find('\n')));
    video_format f;
    std::string error;
    ASSERT_TRUE(y4m_parse_header(data.data(), data.find('\n'), &f, &error));
    const int tolerance = f.bits <= 8 ? 1 : (219 << (f.bits - 8)) / 4096 + 1;
    if (f.chroma != 444) {
      EXPECT_LE(largest_difference(data, back, f, false), tolerance) << cs;
      continue;
    }
    // Unaveraged 4:4:4 chroma shows a step of YC48 chroma (224 / 4096 of
    // the 8-bit range) whole: up to one and a half steps at 16 bits.
    const int chroma_tolerance = 1 + (3 * (224 << (f.bits - 8))) / (2 * 4096);
    EXPECT_LE(largest_difference(data, back, f, true), tolerance) << cs;
    EXPECT_LE(largest_difference(even_column_chroma(data, f), back, f, false), chroma_tolerance)
        << cs;
    EXPECT_GT(largest_difference(data, back, f, false), chroma_tolerance) << cs;
  }
  // y4m to raw YC48 and back to y4m.
  const std::string in = temp_path("conv.y4m"), raw = temp_path("conv.yc48"),
                    back = temp_path("conv_back.y4m");
  write_file(in, make_y4m(20, 12, 2, "420p10", 'p', 6));
  std::vector<std::string> to_raw = zero, to_y4m = zero;
  to_raw.insert(to_raw.end(), {in, raw});
  to_y4m.insert(to_y4m.end(), {"--size", "20x12", "--output-colorspace", "420p10", raw, back});
  ASSERT_EQ(run_nivora(to_raw).status, 0);
  EXPECT_EQ(read_file(raw).size(), size_t(2 * 20 * 12 * 6));
  cli_result r = run_nivora(to_y4m);
  ASSERT_EQ(r.status, 0) << r.messages;
  EXPECT_EQ(read_file(back).substr(0, 32), "YUV4MPEG2 W20 H12 F25:1 C420p10\n");
  video_format f;
  f.width = 20;
  f.height = 12;
  f.bits = 10;
  EXPECT_LE(largest_difference(read_file(in), read_file(back), f, false), 1);
}

TEST(RunWithFilter, PerFieldProcessingFollowsTheInterlacingTag) {
  const std::string frames = y4m_frames_only(make_y4m(32, 32, 4, "444", 'p', 8));
  auto run_md5 = [&](char tag, std::vector<std::string> args) {
    const std::string in = temp_path("tag.y4m"), out = temp_path("tag.md5");
    write_file(in, std::string("YUV4MPEG2 W32 H32 F25:1 I") + tag + " C444\n" + frames);
    args.insert(args.end(), {"-q", in, out});
    EXPECT_EQ(run_nivora(args).status, 0);
    return read_file(out);
  };
  EXPECT_EQ(run_md5('p', {"--plugin"}), run_md5('t', {"--no-field"}));
  EXPECT_EQ(run_md5('t', {"--plugin"}), run_md5('p', {"--field"}));
  EXPECT_EQ(run_md5('b', {"--plugin"}), run_md5('p', {"--check", "1,0,0,0"}));
  EXPECT_NE(run_md5('p', {"--plugin"}), run_md5('t', {"--plugin"}));
}

TEST(RunRefusals, BadInputGetsOneClearLineAndAFailingStatus) {
  const std::string good = make_y4m(8, 8, 3, "420jpeg", 'p', 1);
  const int descriptors = open_descriptors(), threads = process_threads();
  const struct {
    std::string data;
    std::vector<std::string> extra;
    const char* message;
    int frames_written;  // -1: no output at all
  } cases[] = {
      {"", {}, "in.y4m: empty input", -1},
      {"RIFF....", {}, "in.y4m: not a YUV4MPEG2 stream", -1},
      {"YUV4MPEG2 W8 H8 Cmono\n", {}, "in.y4m: unsupported colourspace mono", -1},
      {"YUV4MPEG2 W0 H8\n", {}, "in.y4m: zero-sized frame", -1},
      // The plug-in's filter's own limit (strong mode, the default, takes more).
      {"YUV4MPEG2 W3840 H2160\n", {"--plugin"}, "in.y4m: frame size 3840x2160 exceeds the filter's limit", -1},
      {"YUV4MPEG2 W1920 H1089\n", {"--plugin"}, "1920x1089 exceeds the filter's limit of 1920x1088", -1},
      {"YUV4MPEG2 W8 H8", {}, "in.y4m: truncated y4m header", -1},
      {good.substr(0, good.size() - 10), {}, "in.y4m: frame 2 is truncated", -1},
      {good, {"--range", "3:5"}, "the range starts at frame 3 but the clip has 3 frames", -2},
      {good, {"--size", "8x8"}, "--size is for raw YC48 input", -1},
  };
  for (const auto& c : cases) {
    const std::string in = temp_path("in.y4m"), out = temp_path("bad_out.y4m");
    write_file(in, c.data);
    unlink(out.c_str());
    // Without -q: a failed run must not end with a summary line after its message.
    std::vector<std::string> args = c.extra;
    args.insert(args.end(), {in, out});
    cli_result r = run_nivora(args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_NE(r.messages.find(c.message), std::string::npos) << r.messages;
    EXPECT_EQ(std::count(r.messages.begin(), r.messages.end(), '\n'), 1) << r.messages;
    if (c.frames_written == -1) {
      EXPECT_FALSE(file_exists(out)) << c.message;
    } else if (c.frames_written >= 0) {
      EXPECT_EQ(y4m_frame_count(read_file(out), 8 * 8 * 3 / 2), c.frames_written) << c.message;
    }
  }
  // Raw YC48 with a partial last frame.
  const std::string raw = temp_path("cut.yc48"), out = temp_path("cut_out.yc48");
  write_file(raw, make_yc48(4, 4, 3, 1).substr(0, 4 * 4 * 6 * 3 - 1));
  unlink(out.c_str());
  cli_result r = run_nivora({"--size", "4x4", raw, out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.messages.find("cut.yc48: frame 2 is truncated"), std::string::npos) << r.messages;
  EXPECT_EQ(r.messages.find("frames"), std::string::npos) << r.messages;
  EXPECT_FALSE(file_exists(out));
  r = run_nivora({"-q", raw, out});
  EXPECT_NE(r.messages.find("cut.yc48: raw YC48 input needs the frame size (--size WxH)"),
            std::string::npos) << r.messages;
  // Unreadable input, unwritable output.
  r = run_nivora({"-q", "/nonexistent/in.y4m", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.messages.find("/nonexistent/in.y4m: cannot open for reading"), std::string::npos);
  write_file(temp_path("ok.y4m"), good);
  r = run_nivora({"-q", temp_path("ok.y4m"), "/nonexistent/out.y4m"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.messages.find("/nonexistent/out.y4m: cannot open for writing"), std::string::npos);
  // Strong mode's ways out as well.
  r = run_nivora({"-q", "--sigma", "2", temp_path("ok.y4m"), "/nonexistent/out.y4m"});
  EXPECT_EQ(r.status, 1) << r.messages;
  const std::string strong_out = temp_path("strong_out.y4m");
  r = run_nivora(
      {"-q", "--sigma", "2", "--output-colorspace", "444p16", temp_path("ok.y4m"), strong_out});
  EXPECT_EQ(r.status, 1) << r.messages;
  r = run_nivora({"-q", "--sigma", "2", "--threads", "3", temp_path("ok.y4m"), strong_out});
  EXPECT_EQ(r.status, 0) << r.messages;
  // However a run ends, it leaves no file open and no worker running.
  EXPECT_EQ(open_descriptors(), descriptors);
  EXPECT_EQ(process_threads(), threads);
}

TEST(RunWithFilter, FilesAndPipesGiveTheSameFrames) {
  // A file is read back by offset when fetched, a pipe's frames are held: the
  // frames the filter sees, and so the output, must not differ. Frame headers
  // with parameters give the same frames as plain ones.
  const std::string plain = make_y4m(48, 40, 12, "420jpeg", 'p', 13);
  const std::string clip = with_frame_parameters(plain, 48 * 40 * 3 / 2);
  const std::string in = temp_path("pipe_vs_file.y4m"), fifo = temp_path("pipe_vs_file.fifo");
  for (const char* settings : {"1,10,10,10,10,10,10,10,10", "4,30,30,30,30,30,30,20,20"}) {
    std::string reference;
    for (const char* range : {"0:", "5:"})
      for (int way = 0; way < 3; ++way) {
        const std::string out = temp_path("pipe_vs_file.md5");
        const std::vector<std::string> args = {
            "-q", "--track", settings, "--check", "1,0,1,1", "--range", range, "--threads", "2",
            way == 2 ? fifo : in, out};
        std::thread writer;
        if (way == 2) {
          unlink(fifo.c_str());
          ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
          writer = std::thread([&] { write_file(fifo, clip); });
        } else {
          write_file(in, way == 0 ? plain : clip);
        }
        cli_result r = run_nivora(args);
        if (writer.joinable()) writer.join();
        ASSERT_EQ(r.status, 0) << r.messages;
        EXPECT_EQ(r.summary.cache_misses, 0);
        const std::string digest = read_file(out);
        if (way == 0) reference = digest;
        EXPECT_EQ(digest, reference) << (way == 1 ? "file" : "pipe") << ", settings " << settings
                                     << ", range " << range;
      }
  }
}

namespace {

// Names a run left in the temporary folder beside the outputs of this
// process: the temporary files of outputs never put in place.
std::vector<std::string> leftover_temporaries() {
  std::vector<std::string> found;
  const std::string prefix = ".nivora_" + std::to_string(getpid()) + "_";
  DIR* d = opendir(testing::TempDir().c_str());
  if (!d) return found;
  while (const dirent* e = readdir(d))
    if (strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) found.push_back(e->d_name);
  closedir(d);
  return found;
}

const std::vector<std::string> strong_args = {"--sigma", "3"};

}  // namespace

TEST(RunOutput, TheInputIsRefusedAsOutputByAnyName) {
  const std::string clip = make_y4m(16, 16, 4, "420jpeg", 'p', 3);
  const std::string in = temp_path("same.y4m"), hard = temp_path("same_hard.y4m"),
                    soft = temp_path("same_soft.y4m");
  const size_t slash = in.rfind('/');
  const std::string dotted = in.substr(0, slash) + "/./" + in.substr(slash + 1);
  write_file(in, clip);
  unlink(hard.c_str());
  unlink(soft.c_str());
  ASSERT_EQ(link(in.c_str(), hard.c_str()), 0);
  ASSERT_EQ(symlink(in.c_str(), soft.c_str()), 0);
  for (const auto& mode : {std::vector<std::string>{}, strong_args})
    for (const std::string& out : {in, hard, dotted, soft}) {
      std::vector<std::string> args = mode;
      args.insert(args.end(), {"-q", in, out});
      const cli_result r = run_nivora(args);
      EXPECT_EQ(r.status, 1) << out;
      EXPECT_NE(r.messages.find(out + ": is the input file"), std::string::npos) << r.messages;
      EXPECT_TRUE(same_bytes(read_file(in), clip)) << out;
    }
  // A null output writes nothing, so it may name anything.
  EXPECT_EQ(run_nivora({"-q", "--output-format", "null", in, in}).status, 0);
  EXPECT_TRUE(leftover_temporaries().empty());
}

TEST(RunOutput, AFailedRunLeavesNoOutputAndKeepsAnExistingOne) {
  const std::string clip = make_y4m(16, 16, 6, "420jpeg", 'p', 4);
  const std::string cut = temp_path("cut_mid.y4m");
  write_file(cut, clip.substr(0, clip.size() - 100));
  for (const auto& mode : {std::vector<std::string>{}, strong_args})
    for (const char* name : {"failed.y4m", "failed.md5"})
      for (bool existing : {false, true}) {
        const std::string out = temp_path(name);
        unlink(out.c_str());
        if (existing) write_file(out, "the last good output\n");
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"-q", "--threads", "2", cut, out});
        const cli_result r = run_nivora(args);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.messages.find("frame 5 is truncated"), std::string::npos) << r.messages;
        if (existing) EXPECT_EQ(read_file(out), "the last good output\n") << name;
        else EXPECT_FALSE(file_exists(out)) << name;
        EXPECT_TRUE(leftover_temporaries().empty()) << name;
      }
}

TEST(RunOutput, AWholeRunReplacesTheOutputAndKeepsItsPermissions) {
  const std::string clip = make_y4m(16, 16, 4, "420jpeg", 'p', 5);
  const std::string in = temp_path("whole_in.y4m"), out = temp_path("whole_out.y4m"),
                    expected = temp_path("whole_expected.y4m"), soft = temp_path("whole_link.y4m");
  write_file(in, clip);
  unlink(expected.c_str());
  ASSERT_EQ(run_nivora({"-q", in, expected}).status, 0);
  struct stat st;
  ASSERT_EQ(stat(expected.c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);  // as a file made by open(2)

  write_file(out, "older and longer than the output will be" + std::string(100000, '!'));
  ASSERT_EQ(chmod(out.c_str(), 0604), 0);
  ASSERT_EQ(run_nivora({"-q", in, out}).status, 0);
  EXPECT_TRUE(same_bytes(read_file(out), read_file(expected)));
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);

  // Through a symbolic link: the link stays, its target gets the output.
  write_file(out, "old");
  unlink(soft.c_str());
  ASSERT_EQ(symlink(out.c_str(), soft.c_str()), 0);
  ASSERT_EQ(run_nivora({"-q", in, soft}).status, 0);
  ASSERT_EQ(lstat(soft.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_TRUE(same_bytes(read_file(out), read_file(expected)));

  // A file this user may not write is not replaced behind its back (root
  // may write any file).
  if (geteuid() != 0) {
    write_file(out, "read only");
    ASSERT_EQ(chmod(out.c_str(), 0444), 0);
    const cli_result r = run_nivora({"-q", in, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.messages.find("cannot open for writing: Permission denied"), std::string::npos)
        << r.messages;
    EXPECT_EQ(read_file(out), "read only");
    chmod(out.c_str(), 0644);
  }
  EXPECT_TRUE(leftover_temporaries().empty());
}

TEST(RunOutput, AFolderIsRefusedAsOutput) {
  const std::string in = temp_path("folder_in.y4m"), folder = temp_path("folder_out");
  write_file(in, make_y4m(16, 16, 2, "420jpeg", 'p', 6));
  rmdir(folder.c_str());
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  for (const auto& mode : {std::vector<std::string>{}, strong_args}) {
    std::vector<std::string> args = mode;
    args.insert(args.end(), {"-q", in, folder});
    const cli_result r = run_nivora(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.messages.find(folder + ": is a folder"), std::string::npos) << r.messages;
  }
  EXPECT_EQ(rmdir(folder.c_str()), 0);  // still empty
  EXPECT_TRUE(leftover_temporaries().empty());
}
