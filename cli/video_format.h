// Video formats: the stream formats the command line reads and writes, the
// video description a y4m stream header carries (size, subsampling, depth,
// rate, aspect, interlacing), the byte layout of a frame's planes, and the y4m
// stream header itself, parsed and written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/driver.h"

// format_container: a file read or written through FFmpeg's libraries
// (container.h); its frames are laid out as y4m payloads.
enum stream_format {
  format_none = 0,
  format_y4m,
  format_yc48,
  format_md5,
  format_null,
  format_container
};

// The filter's frame size limit: larger frames are refused before any work.
constexpr int max_frame_width = max_frame_w;
constexpr int max_frame_height = max_frame_h;

// Longest y4m stream header and frame header line accepted (hostile input).
constexpr size_t y4m_max_header = 8192;
constexpr size_t y4m_max_frame_header = 1024;

struct video_format {
  int width = 0;
  int height = 0;
  int chroma = 420;          // 420, 422 or 444
  int bits = 8;              // 8 to 16 bits per sample
  char colorspace[16] = "";  // the y4m C tag as written ("" when the header has none)
  int fps_num = 25;
  int fps_den = 1;
  int aspect_num = 0;        // 0:0 means unknown
  int aspect_den = 0;
  char interlace = 0;        // y4m I tag: 'p', 't', 'b', 'm', '?', or 0 when absent
  std::string extra;         // the X tags of the header, each with its leading space
};

// Parses a y4m C tag ("420jpeg", "422p10", ...) into subsampling and depth.
bool parse_colorspace(const char* tag, int* chroma, int* bits);
// The canonical C tag for a subsampling and depth ("420" for 8-bit 4:2:0 is
// written "420jpeg", like the common tools do).
void colorspace_name(int chroma, int bits, char out[16]);

int chroma_width(const video_format& f);
int chroma_height(const video_format& f);
int sample_bytes(const video_format& f);
// Bytes of one frame's samples: y4m planes, or w * h * 6 for raw YC48.
size_t frame_payload_bytes(stream_format layout, const video_format& f);
// The planes of a frame's bytes, one after the other: luma, cb, cr for y4m;
// a single plane of interleaved y, cb, cr rows for raw YC48.
int plane_count(stream_format layout);
int plane_rows(stream_format layout, const video_format& f, int plane);
size_t plane_row_bytes(stream_format layout, const video_format& f, int plane);

// Parses a y4m stream header line (without the final newline). On failure the
// message says what is wrong, without the file name.
bool y4m_parse_header(const char* line, size_t length, video_format* f, std::string* error);
// The header line for f, newline included.
std::string y4m_format_header(const video_format& f);
