// The benchmark's options: what each flag means, how a list of values
// becomes the list of configurations, and the arguments that hand one
// configuration to a child process.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/whole_frame.h"

namespace {

const char usage[] =
    "usage: bench_whole_frame [options]\n"
    "Plays a generated noisy clip through the filter's plug-in table, one fresh\n"
    "process per configuration, and prints frames per second, milliseconds per\n"
    "stage and peak memory. Lists are comma-separated; every combination runs.\n"
    "  --sizes WxH,...       frame sizes (default 720x480,1920x1080)\n"
    "  --radius R,...        Frame setting, 1 to 4 (default 1,2,3,4)\n"
    "  --threads T,...       worker threads (default 1,2)\n"
    "  --levels L,...        kernels: ref, sse2, sse3, avx2, best (default ref,best)\n"
    "  --prefilters P,...    off, on (both pre-filters, strength 5). Default: off,\n"
    "                        plus pre-filters on at Frame 2 with the most threads\n"
    "                        and the best kernels, for the comparison\n"
    "  --field on|off        per-field processing (default on, the plug-in's default)\n"
    "  --frames N            timed frames at most (default 60 up to 720x576, else 20)\n"
    "  --warmup N            frames played before timing (default Frame + 2)\n"
    "  --seconds S           time budget of the timed frames of one configuration\n"
    "                        (default 2; at least 3 frames are timed)\n"
    "  --rounds N            run the whole list N times, interleaved, and keep each\n"
    "                        configuration's fastest run (default 1)\n"
    "  --targets             the configurations the targets compare, 5 rounds:\n"
    "                        both sizes, Frame 2, 1 and 2 threads, best kernels,\n"
    "                        pre-filters off and on (options after it override)\n"
    "  --split-workers T,... worker counts whose work split is counted for each size\n"
    "                        (largest share / mean share per stage; default 16)\n"
    "  --cli-frames N        frames fed to nivora for its peak memory (default 12)\n"
    "  --e2e-frames N        frames of nivora's file-to-file timing (default 40; the\n"
    "                        rate is taken between this and a run of Frame + 4)\n"
    "  --nivora PATH         the command-line host to measure"
#ifdef NIVORA_CLI_PATH
    " (default: the one built\n                        beside this program)\n"
#else
    "\n"
#endif
    "  --no-cli              skip the command-line host's peak memory\n"
    "  --one                 run a single configuration here and print its result\n"
    "  --containers          nivora's default mode instead: decoding H.264 (.mp4, made\n"
    "                        with ffmpeg) and writing FFV1 (.mkv) against reading y4m\n"
    "                        and writing nothing, per size and thread count, frames\n"
    "                        per second between runs of 10 and --e2e-frames frames,\n"
    "                        fastest of --rounds interleaved rounds\n"
    "                        line (what the child processes do)\n"
    "  --help                this text\n";

const char* const level_names[] = {"ref", "sse2", "sse3", "avx2"};

std::vector<std::string> split_list(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

bool parse_int(const std::string& text, int lo, int hi, int* out) {
  char* end = nullptr;
  const long v = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || v < lo || v > hi) return false;
  *out = int(v);
  return true;
}

bool parse_value(const std::string& option, const std::string& value, bench_options* o,
                 std::string* error) {
  const std::vector<std::string> items = split_list(value);
  auto bad = [&](const std::string& item) {
    *error = option + ": cannot use '" + item + "'";
    return false;
  };
  if (option == "--sizes" || option == "--size") {
    o->sizes.clear();
    for (const std::string& item : items) {
      int w = 0, h = 0;
      const size_t x = item.find('x');
      if (x == std::string::npos || !parse_int(item.substr(0, x), 2, 1920, &w) ||
          !parse_int(item.substr(x + 1), 2, 1088, &h) || w % 2 || h % 2)
        return bad(item + "' (even WxH up to 1920x1088");
      o->sizes.push_back({w, h});
    }
  } else if (option == "--radius") {
    o->radii.clear();
    for (const std::string& item : items) {
      int r;
      if (!parse_int(item, 1, 4, &r)) return bad(item);
      o->radii.push_back(r);
    }
  } else if (option == "--threads") {
    o->threads.clear();
    for (const std::string& item : items) {
      int t;
      if (!parse_int(item, 1, 64, &t)) return bad(item);
      o->threads.push_back(t);
    }
  } else if (option == "--levels" || option == "--level") {
    o->levels.clear();
    for (const std::string& item : items) {
      int level = -2;
      for (int k = 0; k < 4; ++k)
        if (item == level_names[k]) level = k;
      if (item == "best") level = level_best;
      if (level == -2) return bad(item);
      o->levels.push_back(level);
    }
  } else if (option == "--prefilters") {
    o->prefilters.clear();
    o->prefilters_given = true;
    for (const std::string& item : items) {
      if (item != "on" && item != "off") return bad(item);
      o->prefilters.push_back(item == "on");
    }
  } else if (option == "--field") {
    if (value != "on" && value != "off") return bad(value);
    o->field = value == "on";
  } else if (option == "--frames") {
    if (!parse_int(value, 1, 100000, &o->frames)) return bad(value);
  } else if (option == "--warmup") {
    if (!parse_int(value, 0, 100000, &o->warmup)) return bad(value);
  } else if (option == "--rounds") {
    if (!parse_int(value, 1, 1000, &o->rounds)) return bad(value);
  } else if (option == "--e2e-frames") {
    if (!parse_int(value, 2, 100000, &o->e2e_frames)) return bad(value);
  } else if (option == "--split-workers") {
    o->split_workers.clear();
    for (const std::string& item : items) {
      int t;
      if (!parse_int(item, 1, 1000, &t)) return bad(item);
      o->split_workers.push_back(t);
    }
  } else if (option == "--cli-frames") {
    if (!parse_int(value, 1, 100000, &o->cli_frames)) return bad(value);
  } else if (option == "--seconds") {
    char* end = nullptr;
    o->seconds = strtod(value.c_str(), &end);
    if (value.empty() || *end || !(o->seconds >= 0)) return bad(value);
  } else if (option == "--nivora") {
    o->nivora = value;
  } else {
    *error = "unknown option " + option + " (see --help)";
    return false;
  }
  return true;
}

int default_frames(int w, int h) { return w * h <= 720 * 576 ? 60 : 20; }

}  // namespace

const char* level_name(int level) {
  return level >= 0 && level <= 3 ? level_names[level] : "best";
}

std::string size_text(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

// 0: run; 1: help printed; 2: error printed.
int parse_options(int argc, char** argv, bench_options* o) {
#ifdef NIVORA_CLI_PATH
  o->nivora = NIVORA_CLI_PATH;
#endif
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i], value;
    if (option == "--help" || option == "-h") {
      fputs(usage, stdout);
      return 1;
    }
    if (option == "--one") {
      o->one = true;
      continue;
    }
    if (option == "--containers") {
      o->containers = true;
      continue;
    }
    if (option == "--no-cli") {
      o->cli = false;
      continue;
    }
    if (option == "--targets") {
      o->sizes = {{720, 480}, {1920, 1080}};
      o->radii = {2};
      o->threads = {1, 2};
      o->levels = {level_best};
      o->prefilters = {0, 1};
      o->prefilters_given = true;
      o->rounds = 5;
      continue;
    }
    const size_t eq = option.find('=');
    if (eq != std::string::npos) {
      value = option.substr(eq + 1);
      option = option.substr(0, eq);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      fprintf(stderr, "bench_whole_frame: %s needs a value\n", option.c_str());
      return 2;
    }
    std::string error;
    if (!parse_value(option, value, o, &error)) {
      fprintf(stderr, "bench_whole_frame: %s\n", error.c_str());
      return 2;
    }
  }
  return 0;
}

frame_config make_config(const bench_options& o, std::pair<int, int> size, int radius,
                         int threads, int level, bool prefilters) {
  frame_config c;
  c.w = size.first;
  c.h = size.second;
  c.radius = radius;
  c.threads = threads;
  c.level = level;
  c.prefilters = prefilters;
  c.field = o.field;
  c.warmup = o.warmup;
  c.frames = o.frames > 0 ? o.frames : default_frames(c.w, c.h);
  c.seconds = o.seconds;
  return c;
}

std::vector<frame_config> configurations(const bench_options& o) {
  std::vector<frame_config> list;
  for (auto size : o.sizes)
    for (int radius : o.radii)
      for (int threads : o.threads)
        for (int level : o.levels)
          for (int pre : o.prefilters) list.push_back(make_config(o, size, radius, threads, level, pre));
  if (!o.prefilters_given) {
    // The pre-filter comparison: the default radius (or the nearest given),
    // the most threads and the best kernels asked for.
    int radius = o.radii[0];
    for (int r : o.radii)
      if (std::abs(r - 2) < std::abs(radius - 2)) radius = r;
    const int threads = *std::max_element(o.threads.begin(), o.threads.end());
    int level = o.levels[0];
    for (int l : o.levels)
      if (l == level_best || (level != level_best && l > level)) level = l;
    for (auto size : o.sizes) list.push_back(make_config(o, size, radius, threads, level, true));
  }
  return list;
}

std::vector<std::string> config_arguments(const frame_config& c) {
  char seconds[32];
  snprintf(seconds, sizeof seconds, "%g", c.seconds);
  std::vector<std::string> args = {"--size",    size_text(c.w, c.h),
                                   "--radius",  std::to_string(c.radius),
                                   "--threads", std::to_string(c.threads),
                                   "--level",   level_name(c.level),
                                   "--prefilters", c.prefilters ? "on" : "off",
                                   "--field",   c.field ? "on" : "off",
                                   "--frames",  std::to_string(c.frames),
                                   "--seconds", seconds};
  if (c.warmup >= 0) {
    args.push_back("--warmup");
    args.push_back(std::to_string(c.warmup));
  }
  return args;
}
