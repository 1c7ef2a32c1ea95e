// Frame sinks: a y4m stream, raw YC48 frames, the MD5 of the frames, or
// nothing, to a file or standard output. Frames are converted on the editor's
// worker threads (idle between the filter's calls) in one pass over their
// rows: a strip of chroma rows is converted together with the picture rows
// that use them, the luma rows are written at once and the chroma rows kept
// until the luma plane is complete. Raw YC48 goes out a strip of rows at a
// time. So no whole frame of bytes is held, only its chroma planes.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/cli.h"

namespace {

bool write_bytes(frame_sink* s, const void* data, size_t length, std::string* error) {
  if (fwrite(data, 1, length, s->file) != length) {
    *error = s->name + ": write failed: " + strerror(errno);
    return false;
  }
  return true;
}

// Chroma rows per strip (even, so that a strip's picture rows are one run
// also per field), or rows of raw YC48.
constexpr int strip_rows = 64;

struct convert_strip_params {
  const frame_sink* sink;
  const PIXEL_YC* frame;
  int pitch;
  const chroma_rows* map;
  int first, end;  // chroma rows (y4m) or rows (raw YC48) of the strip
  int luma_first;  // the first picture row of the strip (y4m)
  uint8_t* strip;  // the strip's luma rows (y4m) or rows (raw YC48)
  uint8_t* cb;     // y4m: the frame's chroma planes
  uint8_t* cr;
};

// Worker thread_id's share of a strip: y4m chroma rows with the picture rows
// that use them (luma into the strip buffer, chroma into the chroma planes),
// or rows of raw YC48 (into the strip buffer).
void convert_strip_job(int thread_id, int thread_num, void* param1, void*) {
  const convert_strip_params& p = *static_cast<const convert_strip_params*>(param1);
  const frame_sink& s = *p.sink;
  const int count = p.end - p.first;
  const int begin = p.first + int(int64_t(count) * thread_id / thread_num);
  const int end = p.first + int(int64_t(count) * (thread_id + 1) / thread_num);
  const size_t luma_row = plane_row_bytes(s.layout, s.video, 0);
  auto convert = [&](int plane, int row, uint8_t* at) {
    frame_to_plane_rows(p.frame, p.pitch, s.layout, s.video, *p.map, plane, row, 1, at);
  };
  if (s.layout != format_y4m) {
    for (int r = begin; r < end; ++r) convert(0, r, p.strip + luma_row * (r - p.first));
    return;
  }
  const size_t chroma_row = plane_row_bytes(s.layout, s.video, 1);
  for (int cy = begin; cy < end; ++cy) {
    // A chroma row serves one or two picture rows (see make_chroma_rows).
    for (int r : {p.map->first_row[cy], p.map->second_row[cy]})
      if (r >= 0 && p.map->of_row[r] == cy) convert(0, r, p.strip + luma_row * (r - p.luma_first));
    convert(1, cy, p.cb + chroma_row * cy);
    convert(2, cy, p.cr + chroma_row * cy);
  }
}

// The picture rows [*first, *end) that use chroma rows [a, b); one run, as
// strips start at even chroma rows.
void strip_luma_rows(const chroma_rows& map, int a, int b, int* first, int* end) {
  const int h = int(map.of_row.size());
  *first = h, *end = 0;
  for (int r = 0; r < h; ++r)
    if (map.of_row[r] >= a && map.of_row[r] < b) *first = std::min(*first, r), *end = r + 1;
}

bool put_bytes(frame_sink* s, const uint8_t* data, size_t length, std::string* error) {
  if (s->format == format_md5) {
    md5_add(&s->md5, data, length);
    return true;
  }
  return write_bytes(s, data, length, error);
}

}  // namespace

bool sink_open_stream(frame_sink* s, FILE* file, const char* name, stream_format format,
                      stream_format layout, const video_format& video, bool write_header,
                      std::string* error) {
  s->file = file;
  s->owns_file = false;
  s->name = name;
  s->format = format;
  s->layout = layout;
  s->video = video;
  s->write_header = write_header;
  s->frames_written = 0;
  const bool planar = layout == format_y4m;
  const size_t strip_bytes =
      plane_row_bytes(layout, video, 0) * (planar ? 2 * strip_rows + 2 : strip_rows);
  s->strip.assign(format == format_null ? 0 : strip_bytes, 0);
  s->chroma.assign(format == format_null || !planar
                       ? 0
                       : 2 * plane_row_bytes(layout, video, 1) * plane_rows(layout, video, 1),
                   0);
  md5_start(&s->md5);
  if (format == format_y4m && write_header) {
    std::string header = y4m_format_header(video);
    return write_bytes(s, header.data(), header.size(), error);
  }
  return true;
}

bool sink_open(frame_sink* s, const char* path, stream_format format, stream_format layout,
               const video_format& video, bool write_header, std::string* error) {
  const bool to_stdout = strcmp(path, "-") == 0;
  const std::string name = to_stdout ? std::string("standard output") : std::string(path);
  FILE* file = stdout;
  if (!to_stdout && format != format_null) {
    file = fopen(path, "wb");
    if (!file) {
      *error = name + ": cannot open for writing: " + strerror(errno);
      return false;
    }
  }
  if (format != format_null) setvbuf(file, nullptr, _IOFBF, 1 << 20);
  bool ok = sink_open_stream(s, file, name.c_str(), format, layout, video, write_header, error);
  s->owns_file = file != stdout;
  if (!ok) {
    std::string ignored;
    sink_close(s, &ignored);
  }
  return ok;
}

bool sink_write(frame_sink* s, const PIXEL_YC* frame, int pitch, const chroma_rows& map,
                std::string* error) {
  if (s->format == format_y4m && !write_bytes(s, "FRAME\n", 6, error)) return false;
  if (s->format == format_y4m || s->format == format_yc48 || s->format == format_md5) {
    const bool planar = s->layout == format_y4m;
    const int rows = plane_rows(s->layout, s->video, planar ? 1 : 0);
    const size_t luma_row = plane_row_bytes(s->layout, s->video, 0);
    uint8_t* cb = s->chroma.data();
    uint8_t* cr = cb + s->chroma.size() / 2;
    for (int a = 0; a < rows; a += strip_rows) {
      convert_strip_params p = {s, frame, pitch, &map, a, std::min(a + strip_rows, rows), a,
                                s->strip.data(), cb, cr};
      int luma_end = p.end;
      if (planar) strip_luma_rows(map, p.first, p.end, &p.luma_first, &luma_end);
      host_exec_multi_thread_func(convert_strip_job, &p, nullptr);
      if (!put_bytes(s, s->strip.data(), luma_row * size_t(luma_end - p.luma_first), error))
        return false;
    }
    if (planar && !put_bytes(s, s->chroma.data(), s->chroma.size(), error)) return false;
  }
  ++s->frames_written;
  return true;
}

bool sink_write_payload(frame_sink* s, const uint8_t* payload, std::string* error) {
  if (s->format == format_y4m && !write_bytes(s, "FRAME\n", 6, error)) return false;
  if (s->format != format_null &&
      !put_bytes(s, payload, frame_payload_bytes(format_y4m, s->video), error))
    return false;
  ++s->frames_written;
  return true;
}

bool sink_close(frame_sink* s, std::string* error) {
  if (!s->file) return true;
  bool ok = true;
  if (s->format == format_md5) {
    uint8_t digest[16];
    md5_finish(&s->md5, digest);
    char text[34];
    for (int i = 0; i < 16; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
    text[32] = '\n';
    ok = write_bytes(s, text, 33, error);
  }
  if (s->format != format_null && fflush(s->file) != 0 && ok) {
    *error = s->name + ": write failed: " + strerror(errno);
    ok = false;
  }
  if (s->owns_file && fclose(s->file) != 0 && ok) {
    *error = s->name + ": write failed: " + strerror(errno);
    ok = false;
  }
  s->file = nullptr;
  return ok;
}
