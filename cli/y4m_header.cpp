// The YUV4MPEG2 stream header: its tags, the colourspaces we take, and the
// byte size of a frame in each layout.
#include <cstdio>
#include <cstring>

#include "cli/quoted.h"
#include "cli/video_format.h"

namespace {

// Parses a decimal number of at most 9 digits (no sign) from [p, end).
bool parse_number(const char* p, const char* end, int* value) {
  if (p == end || end - p > 9) return false;
  int v = 0;
  for (; p < end; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
  }
  *value = v;
  return true;
}

// Parses "n:d" from [p, end).
bool parse_ratio(const char* p, const char* end, int* num, int* den) {
  const char* colon = static_cast<const char*>(memchr(p, ':', end - p));
  if (!colon) return false;
  return parse_number(p, colon, num) && parse_number(colon + 1, end, den);
}

}  // namespace

bool parse_colorspace(const char* tag, int* chroma, int* bits) {
  static const char* const plain[] = {"420jpeg", "420paldv", "420mpeg2", "420"};
  for (const char* name : plain) {
    if (strcmp(tag, name) == 0) {
      *chroma = 420;
      *bits = 8;
      return true;
    }
  }
  if (strcmp(tag, "422") == 0 || strcmp(tag, "444") == 0) {
    *chroma = tag[1] == '2' ? 422 : 444;
    *bits = 8;
    return true;
  }
  // 420p10, 422p12, 444p16, ...: 9 to 16 bits.
  int c = 0;
  if (strncmp(tag, "420p", 4) == 0) c = 420;
  else if (strncmp(tag, "422p", 4) == 0) c = 422;
  else if (strncmp(tag, "444p", 4) == 0) c = 444;
  if (!c) return false;
  int b = 0;
  if (!parse_number(tag + 4, tag + strlen(tag), &b) || b < 9 || b > 16) return false;
  *chroma = c;
  *bits = b;
  return true;
}

void colorspace_name(int chroma, int bits, char out[16]) {
  if (bits == 8) snprintf(out, 16, "%s", chroma == 420 ? "420jpeg" : chroma == 422 ? "422" : "444");
  else snprintf(out, 16, "%dp%d", chroma, bits);
}

int chroma_width(const video_format& f) {
  return f.chroma == 444 ? f.width : (f.width + 1) / 2;
}

int chroma_height(const video_format& f) {
  return f.chroma == 420 ? (f.height + 1) / 2 : f.height;
}

int sample_bytes(const video_format& f) { return f.bits > 8 ? 2 : 1; }

size_t frame_payload_bytes(stream_format layout, const video_format& f) {
  size_t luma = size_t(f.width) * size_t(f.height);
  if (layout == format_yc48) return luma * 6;
  size_t chroma = size_t(chroma_width(f)) * size_t(chroma_height(f));
  return (luma + 2 * chroma) * size_t(sample_bytes(f));
}

int plane_count(stream_format layout) { return layout == format_yc48 ? 1 : 3; }

int plane_rows(stream_format layout, const video_format& f, int plane) {
  return layout == format_yc48 || plane == 0 ? f.height : chroma_height(f);
}

size_t plane_row_bytes(stream_format layout, const video_format& f, int plane) {
  if (layout == format_yc48) return size_t(f.width) * 6;
  return size_t(plane == 0 ? f.width : chroma_width(f)) * size_t(sample_bytes(f));
}

bool y4m_parse_header(const char* line, size_t length, video_format* f, std::string* error) {
  static const char magic[] = "YUV4MPEG2";
  const size_t magic_len = sizeof magic - 1;
  if (length < magic_len || memcmp(line, magic, magic_len) != 0 ||
      (length > magic_len && line[magic_len] != ' ')) {
    *error = "not a YUV4MPEG2 stream (the header does not start with \"YUV4MPEG2 \")";
    return false;
  }
  video_format v;
  bool have_w = false, have_h = false;
  const char* end = line + length;
  const char* p = line + magic_len;
  while (p < end) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    const char* q = static_cast<const char*>(memchr(p, ' ', end - p));
    if (!q) q = end;
    const char tag = *p;
    const char* value = p + 1;
    // The tag as it may appear in a message.
    auto token = [p, q] { return quoted_bytes(p, size_t(q - p)); };
    switch (tag) {
      case 'W':
        if (!parse_number(value, q, &v.width)) {
          *error = "bad width in the y4m header (" + token() + ")";
          return false;
        }
        have_w = true;
        break;
      case 'H':
        if (!parse_number(value, q, &v.height)) {
          *error = "bad height in the y4m header (" + token() + ")";
          return false;
        }
        have_h = true;
        break;
      case 'F':
        if (!parse_ratio(value, q, &v.fps_num, &v.fps_den) || v.fps_num <= 0 || v.fps_den <= 0) {
          *error = "bad frame rate in the y4m header (" + token() + ")";
          return false;
        }
        break;
      case 'A':
        if (!parse_ratio(value, q, &v.aspect_num, &v.aspect_den)) {
          *error = "bad aspect ratio in the y4m header (" + token() + ")";
          return false;
        }
        break;
      case 'I':
        if (q - value != 1 || !strchr("ptbm?", *value)) {
          *error = "bad interlacing in the y4m header (" + token() + ")";
          return false;
        }
        v.interlace = *value;
        break;
      case 'C': {
        std::string tag_text(value, q - value);
        if (tag_text.size() >= sizeof v.colorspace ||
            !parse_colorspace(tag_text.c_str(), &v.chroma, &v.bits)) {
          *error = "unsupported colourspace " + quoted_bytes(value, size_t(q - value)) +
                   " (supported: 420jpeg, 420mpeg2, 420paldv, 422, 444, and 420, 422 or 444 "
                   "with p9 to p16)";
          return false;
        }
        snprintf(v.colorspace, sizeof v.colorspace, "%s", tag_text.c_str());
        break;
      }
      case 'X':
        v.extra += ' ';
        v.extra.append(p, size_t(q - p));
        break;
      default:
        break;  // unknown tags are ignored
    }
    p = q;
  }
  if (!have_w || !have_h) {
    *error = have_w ? "the y4m header has no height (H tag)" : "the y4m header has no width (W tag)";
    return false;
  }
  if (v.width == 0 || v.height == 0) {
    *error = "zero-sized frame (" + std::to_string(v.width) + "x" + std::to_string(v.height) + ")";
    return false;
  }
  *f = v;
  return true;
}

std::string y4m_format_header(const video_format& f) {
  char text[160];
  int n = snprintf(text, sizeof text, "YUV4MPEG2 W%d H%d F%d:%d", f.width, f.height, f.fps_num,
                   f.fps_den);
  if (f.interlace) n += snprintf(text + n, sizeof text - n, " I%c", f.interlace);
  if (f.aspect_num || f.aspect_den)
    n += snprintf(text + n, sizeof text - n, " A%d:%d", f.aspect_num, f.aspect_den);
  if (f.colorspace[0]) snprintf(text + n, sizeof text - n, " C%s", f.colorspace);
  std::string out = text;
  out += f.extra;
  out += '\n';
  return out;
}
