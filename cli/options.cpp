// Command-line options, driven by one table: each option's name, whether it
// takes a value, the function that parses and stores it, and its lines of the
// help text (which is the table's help in order). Setting options take their
// ranges and defaults from the plug-in table.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/options.h"
#include "host/cpu.h"

namespace {

const char* const check_names[] = {"field", "anime", "mosquito", "block"};

// A whole decimal integer (optional sign), within [lo, hi].
bool parse_int(const std::string& text, int64_t lo, int64_t hi, int64_t* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = strtoll(text.c_str(), &end, 10);
  if (errno || *end || !(text[0] == '-' || text[0] == '+' || (text[0] >= '0' && text[0] <= '9')))
    return false;
  if (v < lo || v > hi) return false;
  *value = v;
  return true;
}

bool is_number(const std::string& text) {
  int64_t ignored;
  return parse_int(text, INT64_MIN, INT64_MAX, &ignored);
}

// "--opt: VALUE is out of range (LO to HI)" or "is not a number".
bool int_option(const std::string& option, const std::string& text, int64_t lo, int64_t hi,
                int64_t* value, std::string* error) {
  if (parse_int(text, lo, hi, value)) return true;
  *error = option + ": " + (text.empty() ? std::string("missing value")
                            : is_number(text)
                                ? text + " is out of range (" + std::to_string(lo) + " to " +
                                      std::to_string(hi) + ")"
                                : "'" + text + "' is not a whole number");
  return false;
}

// Splits "a,b,c" (exactly count fields).
bool split_list(const std::string& text, char separator, size_t count,
                std::vector<std::string>* fields) {
  fields->clear();
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    fields->push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return fields->size() == count;
}

bool format_option(const std::string& option, const std::string& text, bool output,
                   stream_format* format, std::string* error) {
  if (text == "y4m") *format = format_y4m;
  else if (text == "yc48") *format = format_yc48;
  else if (output && text == "md5") *format = format_md5;
  else if (output && text == "null") *format = format_null;
  else {
    *error = option + ": unknown format '" + text + "' (" +
             (output ? "y4m, yc48, md5 or null" : "y4m or yc48") + ")";
    return false;
  }
  return true;
}

// --sigma: "auto" or a decimal number above 0 (no limit short of 1e15).
bool sigma_option(const std::string& option, const std::string& text, cli_options* o,
                  std::string* error) {
  o->strong = true;
  if (text == "auto") {
    o->sigma_auto = true;
    return true;
  }
  errno = 0;
  char* end = nullptr;
  const double v = text.empty() ? 0 : strtod(text.c_str(), &end);
  const bool numeric = !text.empty() && *end == 0 && errno == 0 &&
                       text.find_first_not_of("0123456789.+-eE") == std::string::npos;
  if (!numeric) {
    *error = option + ": expected a noise level above 0 or auto, not '" + text + "'";
    return false;
  }
  if (!(v > 0)) {
    *error = option + ": the noise level must be above 0 (got " + text + ")";
    return false;
  }
  if (v > 1e15) {  // far beyond any sample range; its squares stay finite floats
    *error = option + ": " + text + " is not a usable noise level (at most 1e15)";
    return false;
  }
  o->sigma_auto = false;
  o->sigma = float(v);
  return true;
}

// One use of an option: what it was written as (for messages) and its value.
struct option_use {
  const FILTER_DLL* table;
  cli_options* o;
  std::string name;  // as written, "--frame" or "--no-field"
  std::string value;
  bool negated;      // a switch written --no-NAME
  std::string* error;
};
typedef bool (*option_fn)(const option_use& u, int index);

int track_lo(const FILTER_DLL* table, int i) { return table->track_s ? table->track_s[i] : 0; }
int track_hi(const FILTER_DLL* table, int i) { return table->track_e ? table->track_e[i] : 256; }

bool set_track(const option_use& u, int index) {
  int64_t v = 0;
  if (!int_option(u.name, u.value, track_lo(u.table, index), track_hi(u.table, index), &v,
                  u.error))
    return false;
  u.o->track[index] = int(v);
  u.o->plugin_settings_given = true;
  return true;
}

bool set_check(const option_use& u, int index) {
  u.o->check[index] = u.negated ? 0 : 1;
  if (index == 0) u.o->field_given = true;
  else u.o->plugin_settings_given = true;
  return true;
}

bool set_quiet(const option_use& u, int) {
  u.o->quiet = true;
  return true;
}

bool set_plugin(const option_use& u, int) {
  u.o->plugin = true;
  return true;
}

bool set_dry_run(const option_use& u, int) {
  u.o->dry_run = true;
  return true;
}

bool set_track_list(const option_use& u, int) {
  u.o->plugin_settings_given = true;
  std::vector<std::string> fields;
  if (!split_list(u.value, ',', 9, &fields)) {
    *u.error = u.name + ": expected 9 comma-separated values (F,L,H,S,CL,CH,D,MOSQ,BLOCK)";
    return false;
  }
  for (int k = 0; k < 9; ++k) {
    const char* label = u.table->track_name ? u.table->track_name[k] : "";
    int64_t v = 0;
    if (!int_option(u.name + " (" + label + ")", fields[k], track_lo(u.table, k),
                    track_hi(u.table, k), &v, u.error))
      return false;
    u.o->track[k] = int(v);
  }
  return true;
}

bool set_check_list(const option_use& u, int) {
  u.o->plugin_settings_given = true;
  std::vector<std::string> fields;
  if (!split_list(u.value, ',', 4, &fields)) {
    *u.error = u.name + ": expected 4 comma-separated values (FIELD,ANIME,MOSQ,BLOCK)";
    return false;
  }
  for (int k = 0; k < 4; ++k) {
    int64_t v = 0;
    if (!int_option(u.name + " (" + check_names[k] + ")", fields[k], 0, 1, &v, u.error))
      return false;
    u.o->check[k] = int(v);
  }
  u.o->field_given = true;
  return true;
}

bool set_sigma(const option_use& u, int) { return sigma_option(u.name, u.value, u.o, u.error); }

bool set_range(const option_use& u, int) {
  int64_t start = 0, end = -1;
  const size_t colon = u.value.find(':');
  if (colon == std::string::npos) {
    *u.error = u.name + ": expected START:END";
    return false;
  }
  if (!int_option(u.name + " (start)", u.value.substr(0, colon), 0, INT32_MAX - 1, &start,
                  u.error))
    return false;
  if (colon + 1 < u.value.size() &&
      !int_option(u.name + " (end)", u.value.substr(colon + 1), start + 1, INT32_MAX, &end,
                  u.error))
    return false;
  u.o->range_start = start;
  u.o->range_end = end;
  return true;
}

bool set_threads(const option_use& u, int) {
  int64_t v = 0;
  if (!int_option(u.name, u.value, 1, 256, &v, u.error)) return false;
  u.o->threads = int(v);
  return true;
}

bool set_cpu(const option_use& u, int) {
  if (u.value == "ref") u.o->cpu = simd_ref;
  else if (u.value == "sse2") u.o->cpu = simd_sse2;
  else if (u.value == "sse3") u.o->cpu = simd_sse3;
  else if (u.value == "avx2") u.o->cpu = simd_avx2;
  else {
    *u.error = u.name + ": unknown level '" + u.value + "' (ref, sse2, sse3 or avx2)";
    return false;
  }
  return true;
}

bool set_size(const option_use& u, int) {
  const size_t x = u.value.find('x');
  int64_t w = 0, h = 0;
  if (x == std::string::npos) {
    *u.error = u.name + ": expected WxH, e.g. 720x480";
    return false;
  }
  if (!int_option(u.name + " (width)", u.value.substr(0, x), 1, max_frame_width, &w, u.error) ||
      !int_option(u.name + " (height)", u.value.substr(x + 1), 1, max_frame_height, &h, u.error))
    return false;
  u.o->raw_w = int(w);
  u.o->raw_h = int(h);
  return true;
}

bool set_fps(const option_use& u, int) {
  const size_t sep = u.value.find_first_of(":/");
  int64_t num = 0, den = 1;
  if (!int_option(u.name, u.value.substr(0, sep), 1, INT32_MAX, &num, u.error)) return false;
  if (sep != std::string::npos &&
      !int_option(u.name + " (denominator)", u.value.substr(sep + 1), 1, INT32_MAX, &den, u.error))
    return false;
  u.o->fps_num = int(num);
  u.o->fps_den = int(den);
  return true;
}

bool set_codec(const option_use& u, int) {
  if (u.value.empty()) {
    *u.error = u.name + ": missing encoder name";
    return false;
  }
  u.o->encoding.codec = u.value;
  return true;
}

bool set_crf(const option_use& u, int) {
  int64_t v = 0;
  if (!int_option(u.name, u.value, 0, 63, &v, u.error)) return false;
  u.o->encoding.crf = int(v);
  return true;
}

bool set_join(const option_use& u, int) {
  u.o->join_list = u.value;
  return true;
}

bool set_encoder_options(const option_use& u, int) {
  u.o->encoding.encoder_options = u.value;
  return true;
}

bool set_input_format(const option_use& u, int) {
  return format_option(u.name, u.value, false, &u.o->input_format, u.error);
}

bool set_output_format(const option_use& u, int) {
  return format_option(u.name, u.value, true, &u.o->output_format, u.error);
}

bool set_output_colorspace(const option_use& u, int) {
  int chroma = 0, bits = 0;
  if (u.value.size() >= sizeof u.o->out_colorspace ||
      !parse_colorspace(u.value.c_str(), &chroma, &bits)) {
    *u.error = u.name + ": unsupported colourspace '" + u.value + "'";
    return false;
  }
  snprintf(u.o->out_colorspace, sizeof u.o->out_colorspace, "%s", u.value.c_str());
  return true;
}

bool set_header(const option_use& u, int) {
  if (u.value == "auto") u.o->header = header_auto;
  else if (u.value == "always") u.o->header = header_always;
  else if (u.value == "never") u.o->header = header_never;
  else {
    *u.error = u.name + ": expected auto, always or never";
    return false;
  }
  return true;
}

enum option_kind {
  option_text,     // no option: a part of the help text between options
  option_value,    // --NAME VALUE or --NAME=VALUE
  option_switch,   // --NAME or --no-NAME, no value
  option_flag,     // --NAME, no value
  option_help,     // --NAME exactly: the usage
  option_version,  // --NAME exactly: the version
};

// The options, in the order of the help text. Each names what it takes, the
// function that parses and stores its value, and its lines of the help.
struct option_entry {
  option_kind kind;
  const char* name;   // without the leading "--"
  char short_name;    // -X written alone, 0 for none
  option_fn apply;
  int index;          // the setting it stores (track or check index)
  const char* help;
};

const option_entry options[] = {
    {option_text, nullptr, 0, nullptr, 0,
     "usage: nivora [options] INPUT OUTPUT\n"
     "Denoises a clip. INPUT and OUTPUT are files, or - for standard input and output.\n"
     "Formats: .y4m (YUV4MPEG2, 4:2:0, 4:2:2 or 4:4:4, 8 to 16 bits), .yc48 (raw\n"
     "PIXEL_YC frames, needs --size), .md5 (output: MD5 of the frames).\n"
     "The plug-in's filter keeps one chroma sample per pixel pair, the even\n"
     "column's: with 4:4:4 input every odd column takes the chroma of the column\n"
     "to its left, even with every strength at 0. Strong mode (--sigma) keeps\n"
     "every chroma sample.\n"
     "Frames up to 1920x1088; in strong mode (--sigma) up to 8192x8192.\n"
     "\n"
     "A file OUTPUT appears only when the run succeeds (it is written under a\n"
     "temporary name beside it first); a failed or stopped run leaves an existing\n"
     "OUTPUT as it was. OUTPUT must not be INPUT itself, nor a folder.\n"
     "\n"
     "Without a filter option the run is strong mode at the noise level it\n"
     "estimates (--sigma auto). The plug-in's filter, the same as nivora.auf's,\n"
     "runs with --plugin or any of its settings below; raw YC48 in or out is the\n"
     "plug-in's format and runs its filter too.\n"
     "\n"
     "The plug-in's filter (defaults are the plug-in's):\n"},
    {option_flag, "plugin", 0, set_plugin, 0,
     "  --plugin           the plug-in's filter with its default settings\n"},
    {option_value, "frame", 0, set_track, 0,
     "  --frame N          temporal radius, 1 to 4 (window of 2N+1 frames)\n"},
    {option_value, "w3dyl", 0, set_track, 1,
     "  --w3dyl N          luma temporal strength, coarsest band (0 to 30)\n"},
    {option_value, "w3dyh", 0, set_track, 2,
     "  --w3dyh N          luma temporal strength, detail bands (0 to 30)\n"},
    {option_value, "w2dy", 0, set_track, 3,
     "  --w2dy N           luma spatial strength (0 to 30)\n"},
    {option_value, "w3dcl", 0, set_track, 4,
     "  --w3dcl N          chroma temporal strength, coarsest band (0 to 30)\n"},
    {option_value, "w3dch", 0, set_track, 5,
     "  --w3dch N          chroma temporal strength, detail bands (0 to 30)\n"},
    {option_value, "w2dc", 0, set_track, 6,
     "  --w2dc N           chroma spatial strength (0 to 30)\n"},
    {option_value, "mosq-nr", 0, set_track, 7,
     "  --mosq-nr N        mosquito-noise strength (0 to 20)\n"},
    {option_value, "block-nr", 0, set_track, 8,
     "  --block-nr N       block-noise strength (0 to 20)\n"},
    {option_switch, "field", 0, set_check, 0,
     "  --field, --no-field        per-field processing (default: from the y4m\n"
     "                             interlacing tag, on when there is none)\n"},
    {option_switch, "anime", 0, set_check, 1, "  --anime, --no-anime        anime mode\n"},
    {option_switch, "mosquito", 0, set_check, 2,
     "  --mosquito, --no-mosquito  mosquito-noise pre-filter\n"},
    {option_switch, "block", 0, set_check, 3,
     "  --block, --no-block        block-noise pre-filter\n"},
    {option_value, "track", 0, set_track_list, 0,
     "  --track F,L,H,S,CL,CH,D,MOSQ,BLOCK   all nine values in the plug-in's order\n"},
    {option_value, "check", 0, set_check_list, 0,
     "  --check FIELD,ANIME,MOSQ,BLOCK       all four switches (0 or 1)\n"},
    {option_text, nullptr, 0, nullptr, 0,
     "\n"
     "Strong mode (a motion-compensated filter of its own, not the plug-in's;\n"
     "the default):\n"},
    {option_value, "sigma", 0, set_sigma, 0,
     "  --sigma S          noise standard deviation in 8-bit code values (S > 0);\n"
     "                     every setting follows from it\n"
     "  --sigma auto       estimate it from the clip (luma and chroma apart) and\n"
     "                     print the estimate (the default)\n"},
    {option_text, nullptr, 0, nullptr, 0,
     "  Strong mode reads y4m and writes y4m, md5 or null in the input's\n"
     "  colourspace, frames up to 8192x8192; the plug-in's settings do not\n"
     "  apply to it.\n"
     "\n"
     "Run:\n"},
    {option_value, "range", 0, set_range, 0,
     "  --range START:END  output frames START to END-1 only (END may be left out);\n"
     "                     outputs of adjacent ranges concatenate to the whole run\n"},
    {option_value, "threads", 0, set_threads, 0,
     "  --threads N        worker threads (default: number of processors)\n"},
    {option_value, "cpu", 0, set_cpu, 0,
     "  --cpu LEVEL        kernels: ref, sse2, sse3 or avx2 (at most what the\n"
     "                     processor runs)\n"},
    {option_flag, "quiet", 'q', set_quiet, 0, "  --quiet, -q        no progress and no summary\n"},
    {option_flag, "dry-run", 0, set_dry_run, 0,
     "  --dry-run          check the command line and stop, opening nothing\n"},
    {option_text, nullptr, 0, nullptr, 0, "\nFormats:\n"},
    {option_value, "input-format", 0, set_input_format, 0,
     "  --input-format F   y4m or yc48 (default: from the extension)\n"},
    {option_value, "output-format", 0, set_output_format, 0,
     "  --output-format F  y4m, yc48, md5 or null (default: from the extension,\n"
     "                     else the input's)\n"},
    {option_text, nullptr, 0, nullptr, 0,
     "  Other names (.mp4, .mkv, .mov, ...) are containers, read and written\n"
     "  through FFmpeg's libraries: any video FFmpeg decodes; the output's\n"
     "  container from its name, with the input container's audio, subtitles,\n"
     "  data, chapters, metadata, colour tags and timestamps.\n"},
    {option_value, "codec", 0, set_codec, 0,
     "  --codec NAME       video encoder of a container output (default: libx264\n"
     "                     for .mp4, .mkv and .mov; ffv1 is lossless)\n"},
    {option_value, "crf", 0, set_crf, 0,
     "  --crf N            quality of libx264 and libx265 (default 18)\n"},
    {option_value, "encoder-options", 0, set_encoder_options, 0,
     "  --encoder-options K=V[:K=V...]  given to the encoder, e.g. preset=slow\n"},
    {option_value, "join", 0, set_join, 0,
     "  --join LIST        no filtering: OUTPUT (a container) joined from the parts\n"
     "                     named in the file LIST, one a line in order, container\n"
     "                     outputs of adjacent --range runs of INPUT; INPUT's other\n"
     "                     streams, chapters and metadata are copied once\n"
     "                     (nivora-farm joins its parts so)\n"},
    {option_value, "size", 0, set_size, 0, "  --size WxH         frame size of raw YC48 input\n"},
    {option_value, "fps", 0, set_fps, 0,
     "  --fps N[:D]        frame rate written to y4m output (default: the input's)\n"},
    {option_value, "output-colorspace", 0, set_output_colorspace, 0,
     "  --output-colorspace C   y4m colourspace of the output, e.g. 420jpeg, 422p10,\n"
     "                     444p16 (default: the input's; 444p16 from YC48)\n"},
    {option_value, "header", 0, set_header, 0,
     "  --header MODE      y4m stream header: auto (only when the output starts at\n"
     "                     frame 0), always or never\n"},
    {option_help, "help", 'h', nullptr, 0, "  --help, -h         this text\n"},
    {option_version, "version", 0, nullptr, 0, "  --version          the version\n"},
    {option_text, nullptr, 0, nullptr, 0,
     "\n"
     "Exit status: 0 done; 1 failed (input, output or memory; the message says\n"
     "which); 2 wrong command line; 141 the reader of the output went away (no\n"
     "message, as a program stopped by SIGPIPE); 130, 143, 129 stopped by SIGINT,\n"
     "SIGTERM, SIGHUP (no message; the output file is not written).\n"},
};

// The entry of a long option's name (a switch also as no-NAME), or of a
// short option written alone; null when there is none.
const option_entry* find_option(const std::string& key, bool* negated) {
  *negated = false;
  for (const option_entry& e : options) {
    if (!e.name) continue;
    if (key == e.name) return &e;
    if (e.kind == option_switch && key == std::string("no-") + e.name) {
      *negated = true;
      return &e;
    }
  }
  return nullptr;
}

const option_entry* find_short(char letter) {
  for (const option_entry& e : options)
    if (e.name && e.short_name == letter) return &e;
  return nullptr;
}

}  // namespace

stream_format format_from_name(const std::string& path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return format_none;
  std::string ext = path.substr(dot + 1);
  for (char& ch : ext) ch = char(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
  if (ext == "y4m") return format_y4m;
  if (ext == "yc48") return format_yc48;
  if (ext == "md5") return format_md5;
  if (container_name(path)) return format_container;
  return format_none;
}

const char* usage_text() {
  static const std::string text = [] {
    std::string t;
    for (const option_entry& e : options) t += e.help;
    return t;
  }();
  return text.c_str();
}

#ifndef NIVORA_VERSION
#define NIVORA_VERSION "unknown"
#endif
const char* version_text() { return "nivora " NIVORA_VERSION; }

parse_status parse_options(int argc, const char* const* argv, const FILTER_DLL* table,
                           cli_options* o, std::string* error) {
  *o = cli_options();
  for (int i = 0; i < table->track_n && i < 9; ++i) o->track[i] = table->track_default[i];
  for (int i = 0; i < table->check_n && i < 4; ++i) o->check[i] = table->check_default[i];

  std::vector<std::string> positional;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_done || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    // -X alone is its long option; --NAME=VALUE or --NAME [VALUE] otherwise.
    std::string name = arg, value;
    bool has_value = false;
    const option_entry* entry = nullptr;
    bool negated = false;
    if (arg.size() == 2 && arg[1] != '-' && (entry = find_short(arg[1])) != nullptr) {
      name = std::string("--") + entry->name;
    } else {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        has_value = true;
      }
      if (name.compare(0, 2, "--") != 0) {
        *error = "unknown option " + arg;
        return parse_failed;
      }
      entry = find_option(name.substr(2), &negated);
    }
    // --help and --version are known only as written alone.
    if (!entry || ((entry->kind == option_help || entry->kind == option_version) && has_value)) {
      *error = "unknown option " + name;
      return parse_failed;
    }
    if (entry->kind == option_help) {
      o->help = true;
      return parse_help;
    }
    if (entry->kind == option_version) return parse_version;
    if (entry->kind == option_value && !has_value) {
      if (i + 1 >= argc) {
        *error = name + ": missing value";
        return parse_failed;
      }
      value = argv[++i];
    } else if (entry->kind != option_value && has_value) {
      *error = name + " takes no value";
      return parse_failed;
    }
    if (!entry->apply({table, o, name, value, negated, error}, entry->index)) return parse_failed;
  }
  if (positional.size() != 2) {
    *error = positional.size() < 2 ? "expected INPUT and OUTPUT (see --help)"
                                   : "too many arguments: " + positional[2];
    return parse_failed;
  }
  o->input = positional[0];
  o->output = positional[1];
  if (o->strong && o->plugin_settings_given) {
    *error = "--sigma selects strong mode, where the plug-in's filter settings do not apply";
    return parse_failed;
  }
  if (o->strong && o->plugin) {
    *error = "--sigma selects strong mode and --plugin the plug-in's filter: give one of them";
    return parse_failed;
  }
  // The default: strong mode at the estimated level, unless the plug-in's
  // filter was asked for, or the clip is raw YC48, which only it takes.
  const bool plugin_asked = o->plugin || o->plugin_settings_given || o->field_given;
  const bool yc48 = o->raw_w || o->input_format == format_yc48 ||
                    o->output_format == format_yc48 ||
                    (o->input_format == format_none && format_from_name(o->input) == format_yc48) ||
                    (o->output_format == format_none && format_from_name(o->output) == format_yc48);
  if (!o->strong && !plugin_asked && !yc48) {
    o->strong = true;
    o->sigma_auto = true;
  }
  return parse_ok;
}
