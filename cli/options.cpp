// Command-line options. Setting options take their ranges and defaults from
// the plug-in table, in the table's order.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/options.h"
#include "host/cpu.h"

namespace {

struct track_option {
  const char* name;
  int index;
};
const track_option track_options[] = {{"frame", 0}, {"w3dyl", 1}, {"w3dyh", 2},
                                      {"w3dcl", 4}, {"w3dch", 5}, {"w2dy", 3},
                                      {"w2dc", 6},  {"mosq-nr", 7}, {"block-nr", 8}};
const char* const check_options[] = {"field", "anime", "mosquito", "block"};

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
  return format_none;
}

const char* usage_text() {
  return "usage: nivora [options] INPUT OUTPUT\n"
         "Denoises a clip. INPUT and OUTPUT are files, or - for standard input and output.\n"
         "Formats: .y4m (YUV4MPEG2, 4:2:0, 4:2:2 or 4:4:4, 8 to 16 bits), .yc48 (raw\n"
         "PIXEL_YC frames, needs --size), .md5 (output: MD5 of the frames).\n"
         "\n"
         "Filter settings (defaults are the plug-in's):\n"
         "  --frame N          temporal radius, 1 to 4 (window of 2N+1 frames)\n"
         "  --w3dyl N          luma temporal strength, coarsest band (0 to 30)\n"
         "  --w3dyh N          luma temporal strength, detail bands (0 to 30)\n"
         "  --w2dy N           luma spatial strength (0 to 30)\n"
         "  --w3dcl N          chroma temporal strength, coarsest band (0 to 30)\n"
         "  --w3dch N          chroma temporal strength, detail bands (0 to 30)\n"
         "  --w2dc N           chroma spatial strength (0 to 30)\n"
         "  --mosq-nr N        mosquito-noise strength (0 to 20)\n"
         "  --block-nr N       block-noise strength (0 to 20)\n"
         "  --field, --no-field        per-field processing (default: from the y4m\n"
         "                             interlacing tag, on when there is none)\n"
         "  --anime, --no-anime        anime mode\n"
         "  --mosquito, --no-mosquito  mosquito-noise pre-filter\n"
         "  --block, --no-block        block-noise pre-filter\n"
         "  --track F,L,H,S,CL,CH,D,MOSQ,BLOCK   all nine values in the plug-in's order\n"
         "  --check FIELD,ANIME,MOSQ,BLOCK       all four switches (0 or 1)\n"
         "\n"
         "Strong mode (a motion-compensated filter of its own, not the plug-in's):\n"
         "  --sigma S          noise standard deviation in 8-bit code values (S > 0);\n"
         "                     every setting follows from it\n"
         "  --sigma auto       estimate it from the clip (luma and chroma apart) and\n"
         "                     print the estimate\n"
         "  Strong mode reads y4m and writes y4m, md5 or null in the input's\n"
         "  colourspace; the plug-in's settings do not apply to it.\n"
         "\n"
         "Run:\n"
         "  --range START:END  output frames START to END-1 only (END may be left out);\n"
         "                     outputs of adjacent ranges concatenate to the whole run\n"
         "  --threads N        worker threads (default: number of processors)\n"
         "  --cpu LEVEL        kernels: ref, sse2, sse3 or avx2 (at most what the\n"
         "                     processor runs)\n"
         "  --quiet, -q        no progress and no summary\n"
         "\n"
         "Formats:\n"
         "  --input-format F   y4m or yc48 (default: from the extension)\n"
         "  --output-format F  y4m, yc48, md5 or null (default: from the extension,\n"
         "                     else the input's)\n"
         "  --size WxH         frame size of raw YC48 input\n"
         "  --fps N[:D]        frame rate written to y4m output (default: the input's)\n"
         "  --output-colorspace C   y4m colourspace of the output, e.g. 420jpeg, 422p10,\n"
         "                     444p16 (default: the input's; 444p16 from YC48)\n"
         "  --header MODE      y4m stream header: auto (only when the output starts at\n"
         "                     frame 0), always or never\n"
         "  --help, -h         this text\n"
         "  --version          the version\n"
         "\n"
         "Exit status: 0 done; 1 failed (input, output or memory; the message says\n"
         "which); 2 wrong command line; 141 the reader of the output went away (no\n"
         "message, as a program stopped by SIGPIPE).\n";
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
  auto track_lo = [table](int i) { return table->track_s ? table->track_s[i] : 0; };
  auto track_hi = [table](int i) { return table->track_e ? table->track_e[i] : 256; };

  std::vector<std::string> positional;
  std::vector<std::string> fields;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_done || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      o->help = true;
      return parse_help;
    }
    if (arg == "--version") return parse_version;
    if (arg == "-q") arg = "--quiet";
    std::string name = arg, value;
    bool has_value = false;
    size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    if (name.compare(0, 2, "--") != 0) {
      *error = "unknown option " + arg;
      return parse_failed;
    }
    const std::string key = name.substr(2);

    // Switches.
    bool is_switch = false;
    for (int c = 0; c < 4; ++c) {
      if (key == check_options[c] || key == std::string("no-") + check_options[c]) {
        o->check[c] = key[0] == 'n' && key[1] == 'o' && key[2] == '-' ? 0 : 1;
        if (c == 0) o->field_given = true;
        else o->plugin_settings_given = true;
        is_switch = true;
      }
    }
    if (key == "quiet") {
      o->quiet = true;
      is_switch = true;
    }
    if (is_switch) {
      if (has_value) {
        *error = name + " takes no value";
        return parse_failed;
      }
      continue;
    }

    // Everything else takes a value: --opt=value or --opt value.
    bool known = key == "track" || key == "check" || key == "range" || key == "threads" ||
                 key == "cpu" || key == "size" || key == "fps" || key == "input-format" ||
                 key == "output-format" || key == "output-colorspace" || key == "header" ||
                 key == "sigma";
    for (const track_option& t : track_options) known = known || key == t.name;
    if (!known) {
      *error = "unknown option " + name;
      return parse_failed;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        *error = name + ": missing value";
        return parse_failed;
      }
      value = argv[++i];
    }

    int64_t v = 0;
    bool done = false;
    for (const track_option& t : track_options) {
      if (key != t.name) continue;
      if (!int_option(name, value, track_lo(t.index), track_hi(t.index), &v, error))
        return parse_failed;
      o->track[t.index] = int(v);
      o->plugin_settings_given = true;
      done = true;
    }
    if (done) continue;

    if (key == "sigma") {
      if (!sigma_option(name, value, o, error)) return parse_failed;
    } else if (key == "track") {
      o->plugin_settings_given = true;
      if (!split_list(value, ',', 9, &fields)) {
        *error = name + ": expected 9 comma-separated values (F,L,H,S,CL,CH,D,MOSQ,BLOCK)";
        return parse_failed;
      }
      for (int k = 0; k < 9; ++k) {
        const char* label = table->track_name ? table->track_name[k] : "";
        if (!int_option(name + " (" + label + ")", fields[k], track_lo(k), track_hi(k), &v, error))
          return parse_failed;
        o->track[k] = int(v);
      }
    } else if (key == "check") {
      o->plugin_settings_given = true;
      if (!split_list(value, ',', 4, &fields)) {
        *error = name + ": expected 4 comma-separated values (FIELD,ANIME,MOSQ,BLOCK)";
        return parse_failed;
      }
      for (int k = 0; k < 4; ++k) {
        if (!int_option(name + " (" + check_options[k] + ")", fields[k], 0, 1, &v, error))
          return parse_failed;
        o->check[k] = int(v);
      }
      o->field_given = true;
    } else if (key == "range") {
      int64_t start = 0, end = -1;
      size_t colon = value.find(':');
      if (colon == std::string::npos) {
        *error = name + ": expected START:END";
        return parse_failed;
      }
      if (!int_option(name + " (start)", value.substr(0, colon), 0, INT32_MAX - 1, &start, error))
        return parse_failed;
      if (colon + 1 < value.size() &&
          !int_option(name + " (end)", value.substr(colon + 1), start + 1, INT32_MAX, &end, error))
        return parse_failed;
      o->range_start = start;
      o->range_end = end;
    } else if (key == "threads") {
      if (!int_option(name, value, 1, 256, &v, error)) return parse_failed;
      o->threads = int(v);
    } else if (key == "cpu") {
      if (value == "ref") o->cpu = simd_ref;
      else if (value == "sse2") o->cpu = simd_sse2;
      else if (value == "sse3") o->cpu = simd_sse3;
      else if (value == "avx2") o->cpu = simd_avx2;
      else {
        *error = name + ": unknown level '" + value + "' (ref, sse2, sse3 or avx2)";
        return parse_failed;
      }
    } else if (key == "size") {
      size_t x = value.find('x');
      int64_t w = 0, h = 0;
      if (x == std::string::npos) {
        *error = name + ": expected WxH, e.g. 720x480";
        return parse_failed;
      }
      if (!int_option(name + " (width)", value.substr(0, x), 1, max_frame_width, &w, error) ||
          !int_option(name + " (height)", value.substr(x + 1), 1, max_frame_height, &h, error))
        return parse_failed;
      o->raw_w = int(w);
      o->raw_h = int(h);
    } else if (key == "fps") {
      size_t sep = value.find_first_of(":/");
      int64_t num = 0, den = 1;
      if (!int_option(name, value.substr(0, sep), 1, INT32_MAX, &num, error)) return parse_failed;
      if (sep != std::string::npos &&
          !int_option(name + " (denominator)", value.substr(sep + 1), 1, INT32_MAX, &den, error))
        return parse_failed;
      o->fps_num = int(num);
      o->fps_den = int(den);
    } else if (key == "input-format") {
      if (!format_option(name, value, false, &o->input_format, error)) return parse_failed;
    } else if (key == "output-format") {
      if (!format_option(name, value, true, &o->output_format, error)) return parse_failed;
    } else if (key == "output-colorspace") {
      int chroma = 0, bits = 0;
      if (value.size() >= sizeof o->out_colorspace ||
          !parse_colorspace(value.c_str(), &chroma, &bits)) {
        *error = name + ": unsupported colourspace '" + value + "'";
        return parse_failed;
      }
      snprintf(o->out_colorspace, sizeof o->out_colorspace, "%s", value.c_str());
    } else if (key == "header") {
      if (value == "auto") o->header = header_auto;
      else if (value == "always") o->header = header_always;
      else if (value == "never") o->header = header_never;
      else {
        *error = name + ": expected auto, always or never";
        return parse_failed;
      }
    }
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
  return parse_ok;
}
