// Command-line options: what a run is asked to do, parsed against the plug-in
// table; the usage and version texts; the exit statuses.
#pragma once

#include <cstdint>
#include <string>

#include "cli/container.h"
#include "cli/video_format.h"
#include "host/host_api.h"

enum header_mode { header_auto = 0, header_always, header_never };

struct cli_options {
  std::string input;
  std::string output;
  stream_format input_format = format_none;   // none: from the extension
  stream_format output_format = format_none;
  int raw_w = 0, raw_h = 0;                   // --size
  int track[9] = {};
  int check[4] = {};
  bool field_given = false;                   // per-field processing set explicitly
  int threads = 0;                            // 0: number of processors
  int cpu = -1;                               // forced kernel level, -1 none
  int64_t range_start = 0;
  int64_t range_end = -1;                     // -1: to the end
  bool quiet = false;
  bool dry_run = false;                       // --dry-run: parse, then stop
  header_mode header = header_auto;
  char out_colorspace[16] = "";               // y4m C tag for the output
  int fps_num = 0, fps_den = 0;               // 0: keep
  bool help = false;
  // Strong mode (--sigma): the motion-compensated filter for a noise level
  // instead of the plug-in's filter.
  bool strong = false;
  bool sigma_auto = false;                    // --sigma auto: estimated from the clip
  float sigma = 0;                            // --sigma S, 8-bit code values
  bool plugin_settings_given = false;         // a setting of the plug-in's filter was given
  container_settings encoding;                // --codec, --crf, --encoder-options
  bool plugin = false;                        // --plugin: the plug-in's filter asked for by name
  std::string join_list;                      // --join LIST: parts to join, no filtering
};

enum parse_status { parse_ok = 0, parse_help, parse_version, parse_failed };

// Exit statuses of the command line.
constexpr int exit_failed = 1;       // the run failed (input, output, memory)
constexpr int exit_usage = 2;        // the command line is wrong
constexpr int exit_reader_gone = 141;  // the reader of the output went away (as after SIGPIPE)

// Parses the command line against the plug-in table (option ranges and
// defaults are the table's). The message names the faulty option. Without
// --sigma, --plugin or any setting of the plug-in's filter (--field included),
// the run is strong mode with the estimated level (o->strong, o->sigma_auto);
// raw YC48 in or out, which strong mode does not take, keeps the plug-in's
// filter.
parse_status parse_options(int argc, const char* const* argv, const FILTER_DLL* table,
                           cli_options* o, std::string* error);
const char* usage_text();
// The version, from the build (one line, no newline).
const char* version_text();

// Format from a file name's extension: y4m, yc48, md5, a container FFmpeg
// knows (format_container), else format_none.
stream_format format_from_name(const std::string& path);
