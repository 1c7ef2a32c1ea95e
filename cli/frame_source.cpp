// Frame sources: a y4m stream or raw YC48 frames, from a file or standard
// input. A regular file is read after its stream header with positioned
// reads only (frames can then be read back from where they start); anything
// else is read in order through its FILE.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/container.h"
#include "cli/frame_source.h"

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

// The bytes of a y4m frame header line (without the newline) must be
// "FRAME", alone or followed by parameters after a space.
bool frame_header_ok(const char* line, size_t length) {
  return length >= 5 && memcmp(line, "FRAME", 5) == 0 && (length == 5 || line[5] == ' ');
}

// pread until count bytes or the end of the file; the bytes read, or -1.
ssize_t read_fully_at(int fd, void* data, size_t count, int64_t at) {
  size_t done = 0;
  while (done < count) {
    ssize_t got = pread(fd, static_cast<uint8_t*>(data) + done, count - done, off_t(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += size_t(got);
  }
  return ssize_t(done);
}

std::string frame_text(const frame_source* s) { return "frame " + std::to_string(s->frames_read); }

read_result read_failure(const frame_source* s, std::string* error) {
  *error = s->name + ": read failed at " + frame_text(s) + ": " + strerror(errno);
  return read_failed;
}

read_result truncated(const frame_source* s, size_t got, std::string* error) {
  *error = s->name + ": " + frame_text(s) + " is truncated (" + std::to_string(got) + " of " +
           std::to_string(s->payload_bytes) + " bytes)";
  return read_failed;
}

// Steps over the next frame's header; *at is where its samples start
// (seekable sources only). Messages are built only on failure: nothing is
// allocated per frame.
read_result read_frame_header(frame_source* s, int64_t* at, std::string* error) {
  *at = s->offset;
  if (s->format != format_y4m) return read_ok;
  char line[y4m_max_frame_header + 1];
  size_t length = 0;
  bool complete = false;
  if (s->seekable) {
    const ssize_t got = read_fully_at(fileno(s->file), line, sizeof line, s->offset);
    if (got < 0) return read_failure(s, error);
    if (got == 0) return read_end;
    const void* newline = memchr(line, '\n', size_t(got));
    complete = newline != nullptr;
    length = complete ? size_t(static_cast<const char*>(newline) - line) : size_t(got);
    if (!complete && length > y4m_max_frame_header) length = y4m_max_frame_header;
    *at = s->offset + int64_t(length) + 1;
  } else {
    size_t got = 0;
    complete = read_line(s->file, line, y4m_max_frame_header, &length, &got);
    if (!complete && ferror(s->file)) return read_failure(s, error);
    if (!complete && got == 0) return read_end;
  }
  if (!complete) {
    *error = s->name + ": " + frame_text(s) +
             (length == y4m_max_frame_header ? ": frame header too long"
                                             : ": truncated frame header");
    return read_failed;
  }
  if (!frame_header_ok(line, length)) {
    *error = s->name + ": " + frame_text(s) + ": malformed frame header (expected FRAME)";
    return read_failed;
  }
  return read_ok;
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
  if (s->video.width > s->max_width || s->video.height > s->max_height) {
    *error = s->name + ": frame size " + std::to_string(s->video.width) + "x" +
             std::to_string(s->video.height) + " exceeds " + s->limit_owner + " limit of " +
             std::to_string(s->max_width) + "x" + std::to_string(s->max_height);
    return false;
  }
  s->payload_bytes = frame_payload_bytes(format, s->video);
  s->payload.clear();

  // A regular file tells the clip length: exactly for raw frames, roughly for
  // y4m (frame headers may carry parameters).
  struct stat st;
  const int fd = fileno(file);
  const int64_t here = fd >= 0 ? int64_t(ftello(file)) : -1;
  s->seekable = false;
  if (here >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    s->seekable = true;
    s->offset = here;
    s->file_bytes = int64_t(st.st_size);
    int64_t rest = int64_t(st.st_size) - here;
    if (format == format_yc48) {
      s->length = rest / int64_t(s->payload_bytes);
      s->length_estimate = s->length;
    } else {
      s->length_estimate = rest / int64_t(s->payload_bytes + 6);
    }
  } else if (fd >= 0 && fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
    // A larger pipe lets the program feeding it run further ahead while a
    // frame is filtered (the system's limit for users is usually 1 MiB).
    fcntl(fd, F_SETPIPE_SZ, 1 << 20);
  }
  return true;
}

bool source_open(frame_source* s, const char* path, stream_format format, int raw_w, int raw_h,
                 std::string* error) {
  if (format == format_container) {
    s->name = source_name(path);
    s->container = container_open_input(path, &s->video, &s->length_estimate, error);
    if (!s->container) return false;
    s->format = format_y4m;
    s->payload_bytes = frame_payload_bytes(format_y4m, s->video);
    s->seekable = false;
    s->frames_read = 0;
    return true;
  }
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

read_result source_read_into(frame_source* s, uint8_t* data, std::string* error) {
  if (s->container) {
    const read_result r = container_read(*s->container, data, error);
    if (r == read_ok) ++s->frames_read;
    return r;
  }
  int64_t at = 0;
  const read_result header = read_frame_header(s, &at, error);
  if (header != read_ok) return header;
  size_t got = 0;
  if (s->seekable) {
    const ssize_t n = read_fully_at(fileno(s->file), data, s->payload_bytes, at);
    if (n < 0) return read_failure(s, error);
    got = size_t(n);
  } else {
    got = fread(data, 1, s->payload_bytes, s->file);
    if (got != s->payload_bytes && ferror(s->file)) return read_failure(s, error);
  }
  if (got != s->payload_bytes) {
    if (got == 0 && s->format == format_yc48) return read_end;
    return truncated(s, got, error);
  }
  s->offset = at + int64_t(s->payload_bytes);
  ++s->frames_read;
  return read_ok;
}

read_result source_read(frame_source* s, std::string* error) {
  if (s->payload.size() != s->payload_bytes) s->payload.assign(s->payload_bytes, 0);
  return source_read_into(s, s->payload.data(), error);
}

read_result source_skip(frame_source* s, int64_t* at, std::string* error) {
  const read_result header = read_frame_header(s, at, error);
  if (header != read_ok) return header;
  const int64_t end = *at + int64_t(s->payload_bytes);
  if (end > s->file_bytes) {
    // The file may have grown since it was last looked at.
    struct stat st;
    if (fstat(fileno(s->file), &st) != 0) return read_failure(s, error);
    s->file_bytes = int64_t(st.st_size);
  }
  if (end > s->file_bytes) {
    const int64_t got = s->file_bytes > *at ? s->file_bytes - *at : 0;
    if (got == 0 && s->format == format_yc48) return read_end;
    return truncated(s, size_t(got), error);
  }
  s->offset = end;
  ++s->frames_read;
  return read_ok;
}

bool source_seek(frame_source* s, int64_t n, int64_t* reached, std::string* error) {
  *reached = s->frames_read;
  if (!s->container) return true;
  if (!container_seek(*s->container, n, reached, error)) return false;
  s->frames_read = *reached;
  return true;
}

bool source_read_at(const frame_source* s, int64_t n, int64_t at, void* data, size_t bytes,
                    std::string* error) {
  const ssize_t got = read_fully_at(fileno(s->file), data, bytes, at);
  if (got == ssize_t(bytes)) return true;
  *error = s->name + ": cannot read frame " + std::to_string(n) + " back: " +
           (got < 0 ? strerror(errno) : "the file has shrunk");
  return false;
}

void source_close(frame_source* s) {
  s->container.reset();
  if (s->file && s->owns_file) fclose(s->file);
  s->file = nullptr;
  s->owns_file = false;
}
