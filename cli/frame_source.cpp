// Frame sources: a y4m stream or raw YC48 frames, from a file or standard
// input. The frame buffer is allocated once at opening.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "cli/cli.h"

namespace {

std::string source_name(const char* path) {
  return strcmp(path, "-") == 0 ? std::string("standard input") : std::string(path);
}

// Reads a line up to '\n' (not stored) into buf; false at end of file, on a
// read error or when the line is longer than limit. *got tells how many bytes
// were consumed, so a clean end (0 bytes) can be told from a cut one.
bool read_line(FILE* file, char* buf, size_t limit, size_t* length, size_t* got) {
  size_t n = 0;
  *got = 0;
  for (;;) {
    int ch = getc(file);
    if (ch == EOF) {
      *length = n;
      return false;
    }
    ++*got;
    if (ch == '\n') break;
    if (n == limit) {
      *length = n;
      return false;
    }
    buf[n++] = char(ch);
  }
  *length = n;
  return true;
}

}  // namespace

bool source_open_stream(frame_source* s, FILE* file, const char* name, stream_format format,
                        int raw_w, int raw_h, std::string* error) {
  s->file = file;
  s->owns_file = false;
  s->name = name;
  s->format = format;
  s->frames_read = 0;
  s->length = -1;
  s->length_estimate = -1;
  if (format == format_y4m) {
    char line[y4m_max_header];
    size_t length = 0, got = 0;
    if (!read_line(file, line, sizeof line, &length, &got)) {
      const size_t start = length < 10 ? length : 10;
      if (ferror(file)) *error = s->name + ": read failed: " + strerror(errno);
      else if (got == 0) *error = s->name + ": empty input (no y4m header)";
      else if (memcmp(line, "YUV4MPEG2 ", start) != 0)
        *error = s->name + ": not a YUV4MPEG2 stream (the header does not start with \"YUV4MPEG2 \")";
      else if (length == sizeof line) *error = s->name + ": y4m header too long";
      else *error = s->name + ": truncated y4m header";
      return false;
    }
    std::string what;
    if (!y4m_parse_header(line, length, &s->video, &what)) {
      *error = s->name + ": " + what;
      return false;
    }
  } else if (format == format_yc48) {
    if (raw_w <= 0 || raw_h <= 0) {
      *error = s->name + (raw_w == 0 && raw_h == 0
                              ? ": raw YC48 input needs the frame size (--size WxH)"
                              : ": zero-sized frame");
      return false;
    }
    s->video = video_format();
    s->video.width = raw_w;
    s->video.height = raw_h;
    s->video.chroma = 444;
    s->video.bits = 16;
  } else {
    *error = s->name + ": unknown input format";
    return false;
  }
  if (s->video.width > max_frame_width || s->video.height > max_frame_height) {
    *error = s->name + ": frame size " + std::to_string(s->video.width) + "x" +
             std::to_string(s->video.height) + " exceeds the filter's limit of " +
             std::to_string(max_frame_width) + "x" + std::to_string(max_frame_height);
    return false;
  }
  s->payload_bytes = frame_payload_bytes(format, s->video);
  s->payload.assign(s->payload_bytes, 0);

  // A regular file tells the clip length: exactly for raw frames, roughly for
  // y4m (frame headers may carry parameters).
  struct stat st;
  long here = ftell(file);
  if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && here >= 0) {
    int64_t rest = int64_t(st.st_size) - here;
    if (format == format_yc48) {
      s->length = rest / int64_t(s->payload_bytes);
      s->length_estimate = s->length;
    } else {
      s->length_estimate = rest / int64_t(s->payload_bytes + 6);
    }
  }
  return true;
}

bool source_open(frame_source* s, const char* path, stream_format format, int raw_w, int raw_h,
                 std::string* error) {
  FILE* file = stdin;
  if (strcmp(path, "-") != 0) {
    file = fopen(path, "rb");
    if (!file) {
      *error = source_name(path) + ": cannot open for reading: " + strerror(errno);
      return false;
    }
  }
  setvbuf(file, nullptr, _IOFBF, 1 << 20);
  if (!source_open_stream(s, file, source_name(path).c_str(), format, raw_w, raw_h, error)) {
    if (file != stdin) fclose(file);
    s->file = nullptr;
    return false;
  }
  s->owns_file = file != stdin;
  return true;
}

read_result source_read(frame_source* s, std::string* error) {
  // Messages are built only on failure: nothing is allocated per frame.
  auto frame_text = [s]() { return "frame " + std::to_string(s->frames_read); };
  if (s->format == format_y4m) {
    char line[y4m_max_frame_header];
    size_t length = 0, got = 0;
    if (!read_line(s->file, line, sizeof line, &length, &got)) {
      if (ferror(s->file)) {
        *error = s->name + ": read failed at " + frame_text() + ": " + strerror(errno);
        return read_failed;
      }
      if (got == 0) return read_end;
      *error = s->name + ": " + frame_text() + (length == sizeof line ? ": frame header too long"
                                                                    : ": truncated frame header");
      return read_failed;
    }
    if (length < 5 || memcmp(line, "FRAME", 5) != 0 || (length > 5 && line[5] != ' ')) {
      *error = s->name + ": " + frame_text() + ": malformed frame header (expected FRAME)";
      return read_failed;
    }
  }
  size_t got = fread(s->payload.data(), 1, s->payload_bytes, s->file);
  if (got != s->payload_bytes) {
    if (ferror(s->file)) {
      *error = s->name + ": read failed at " + frame_text() + ": " + strerror(errno);
      return read_failed;
    }
    if (got == 0 && s->format == format_yc48) return read_end;
    *error = s->name + ": " + frame_text() + " is truncated (" + std::to_string(got) + " of " +
             std::to_string(s->payload_bytes) + " bytes)";
    return read_failed;
  }
  ++s->frames_read;
  return read_ok;
}

void source_close(frame_source* s) {
  if (s->file && s->owns_file) fclose(s->file);
  s->file = nullptr;
  s->owns_file = false;
}
