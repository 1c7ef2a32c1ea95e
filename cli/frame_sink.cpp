// Frame sinks: a y4m stream, raw YC48 frames, the MD5 of the frames, or
// nothing, to a file or standard output. A frame is converted and written a
// few rows of a plane at a time, so no whole frame of bytes is ever held.
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

// Rows of a plane converted per write.
constexpr int strip_rows = 32;

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
  s->strip.assign(format == format_null ? 0 : plane_row_bytes(layout, video, 0) * strip_rows, 0);
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
    for (int plane = 0; plane < plane_count(s->layout); ++plane) {
      const int rows = plane_rows(s->layout, s->video, plane);
      const size_t row_bytes = plane_row_bytes(s->layout, s->video, plane);
      for (int first = 0; first < rows; first += strip_rows) {
        const int count = std::min(strip_rows, rows - first);
        frame_to_plane_rows(frame, pitch, s->layout, s->video, map, plane, first, count,
                            s->strip.data());
        if (s->format == format_md5) md5_add(&s->md5, s->strip.data(), row_bytes * count);
        else if (!write_bytes(s, s->strip.data(), row_bytes * count, error)) return false;
      }
    }
  }
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
