// Frame sinks: a y4m stream, raw YC48 frames, the MD5 of the frames, or
// nothing, to a file or standard output (or any FILE, such as a memory stream). A frame is converted into the sink's
// frame buffer in one call of the editor's worker threads (idle between the
// filter's calls): each thread takes a run of chroma rows with the picture
// rows that use them (or a run of raw YC48 rows), writing every byte where it
// belongs in the frame. The sink's writing thread then writes the buffer (or
// adds it to the MD5) while the run filters the next frame; the next frame
// waits for it before it is converted. So writing overlaps filtering, and one
// frame of bytes is held.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "cli/frame_sink.h"
#include "cli/thread_pool.h"

struct sink_writer {
  std::thread thread;
  std::mutex lock;
  std::condition_variable wake;   // a frame to write, or stop
  std::condition_variable idle;   // the frame is written
  size_t bytes = 0;               // of s->frame, handed over; 0 when idle
  bool stop = false;
  int failure = 0;                // errno of the first failed write, 0 none
};

namespace {

const char frame_line[] = "FRAME\n";
constexpr size_t frame_line_bytes = 6;

// write(2) until done; 0 or the errno of the failure.
int write_all(int fd, const uint8_t* data, size_t length) {
  while (length) {
    const ssize_t put = write(fd, data, length);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return put < 0 ? errno : EIO;
    data += put;
    length -= size_t(put);
  }
  return 0;
}

// To the sink's file: through its descriptor, or through the FILE when it has
// none (a memory stream); 0 or the errno of the failure.
int write_out(const frame_sink* s, const uint8_t* data, size_t length) {
  const int fd = fileno(s->file);
  if (fd >= 0) return write_all(fd, data, length);
  if (fwrite(data, 1, length, s->file) == length && fflush(s->file) == 0) return 0;
  return errno ? errno : EIO;
}

// A container's failure, whose message the sink keeps.
constexpr int container_failed = -1;

bool failed(frame_sink* s, int error_number, std::string* error) {
  if (error_number == container_failed) {
    *error = s->container_error;
    return false;
  }
  s->reader_gone = error_number == EPIPE;
  *error = s->name + ": write failed: " + strerror(error_number);
  return false;
}

// The bytes of a frame leave: written, or added to the MD5.
int put_bytes(frame_sink* s, const uint8_t* data, size_t length) {
  if (s->container)
    return container_write(*s->container, data, &s->container_error) ? 0 : container_failed;
  if (s->format == format_md5) {
    md5_add(&s->md5, data, length);
    return 0;
  }
  return write_out(s, data, length);
}

void writer_job(frame_sink* s) {
  sink_writer& w = *s->writer;
  std::unique_lock<std::mutex> hold(w.lock);
  for (;;) {
    w.wake.wait(hold, [&] { return w.bytes || w.stop; });
    if (w.bytes) {
      const size_t bytes = w.bytes;
      hold.unlock();
      const int result = w.failure ? 0 : put_bytes(s, s->frame.data(), bytes);
      hold.lock();
      if (result && !w.failure) w.failure = result;
      w.bytes = 0;
      w.idle.notify_all();
      continue;
    }
    return;
  }
}

// Waits until the writing thread has written what it was handed; false (and
// the message) when a write has failed.
bool wait_writer(frame_sink* s, std::string* error) {
  if (!s->writer) return true;
  sink_writer& w = *s->writer;
  std::unique_lock<std::mutex> hold(w.lock);
  w.idle.wait(hold, [&] { return w.bytes == 0; });
  if (w.failure) return failed(s, w.failure, error);
  return true;
}

void stop_writer(frame_sink* s) {
  if (!s->writer) return;
  {
    std::lock_guard<std::mutex> hold(s->writer->lock);
    s->writer->stop = true;
  }
  s->writer->wake.notify_all();
  if (s->writer->thread.joinable()) s->writer->thread.join();
  delete s->writer;
  s->writer = nullptr;
}

struct convert_frame_params {
  const frame_sink* sink;
  const PIXEL_YC* frame;
  int pitch;
  const chroma_rows* map;
  uint8_t* luma;  // the frame's luma plane (y4m) or rows (raw YC48)
  uint8_t* cb;    // y4m: its chroma planes
  uint8_t* cr;
};

// Worker thread_id's share of a frame: y4m chroma rows with the picture rows
// that use them, or rows of raw YC48.
void convert_frame_job(int thread_id, int thread_num, void* param1, void*) {
  const convert_frame_params& p = *static_cast<const convert_frame_params*>(param1);
  const frame_sink& s = *p.sink;
  const bool planar = s.layout == format_y4m;
  const int count = plane_rows(s.layout, s.video, planar ? 1 : 0);
  const int begin = int(int64_t(count) * thread_id / thread_num);
  const int end = int(int64_t(count) * (thread_id + 1) / thread_num);
  const size_t luma_row = plane_row_bytes(s.layout, s.video, 0);
  auto convert = [&](int plane, int row, uint8_t* at) {
    frame_to_plane_rows(p.frame, p.pitch, s.layout, s.video, *p.map, plane, row, 1, at);
  };
  if (!planar) {
    for (int r = begin; r < end; ++r) convert(0, r, p.luma + luma_row * r);
    return;
  }
  const size_t chroma_row = plane_row_bytes(s.layout, s.video, 1);
  for (int cy = begin; cy < end; ++cy) {
    // A chroma row serves one or two picture rows (see make_chroma_rows).
    for (int r : {p.map->first_row[cy], p.map->second_row[cy]})
      if (r >= 0 && p.map->of_row[r] == cy) convert(0, r, p.luma + luma_row * r);
    frame_to_chroma_rows(p.frame, p.pitch, s.video, *p.map, cy, 1, p.cb + chroma_row * cy,
                         p.cr + chroma_row * cy);
  }
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
  s->reader_gone = false;
  md5_start(&s->md5);
  if (format == format_null) return true;
  if (format == format_container) {
    s->container = container_open_output(s->out.fd, s->name, video, s->copy_from, s->encoding,
                                         error);
    if (!s->container) return false;
  }
  const size_t line = format == format_y4m ? frame_line_bytes : 0;
  s->frame.assign(line + frame_payload_bytes(layout, video), 0);
  memcpy(s->frame.data(), frame_line, line);
  if (format == format_y4m && write_header) {
    const std::string header = y4m_format_header(video);
    const int result =
        write_out(s, reinterpret_cast<const uint8_t*>(header.data()), header.size());
    if (result) return failed(s, result, error);
  }
  try {
    s->writer = new sink_writer;
    s->writer->thread = std::thread(writer_job, s);
  } catch (...) {
    delete s->writer;
    s->writer = nullptr;
    *error = s->name + ": cannot start the writing thread";
    return false;
  }
  return true;
}

bool sink_open(frame_sink* s, const char* path, stream_format format, stream_format layout,
               const video_format& video, bool write_header, std::string* error) {
  const bool to_stdout = strcmp(path, "-") == 0;
  if (format == format_container) {
    // Written through the descriptor of the output file (never a FILE).
    if (to_stdout) {
      *error = "standard output: containers are written to files only (y4m goes to pipes)";
      return false;
    }
    if (!output_open(&s->out, path, error)) return false;
    const bool ok = sink_open_stream(s, nullptr, path, format, layout, video, write_header, error);
    if (!ok) sink_abort(s);
    return ok;
  }
  const std::string name = to_stdout ? std::string("standard output") : std::string(path);
  FILE* file = stdout;
  if (!to_stdout && format != format_null) {
    if (!output_open(&s->out, path, error)) return false;
    file = fdopen(s->out.fd, "wb");
    if (!file) {
      *error = name + ": cannot open for writing: " + strerror(errno);
      output_discard(&s->out);
      return false;
    }
    s->out.fd = -1;  // closed with the FILE
  }
  // Nothing goes through the FILE's buffer: standard output may hold what
  // others wrote before, so that goes out first. A larger pipe lets the
  // writing thread hand over more while the reader is busy.
  if (to_stdout) {
    fflush(stdout);
    struct stat st;
    if (format != format_null && fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode))
      fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
  }
  bool ok = sink_open_stream(s, file, name.c_str(), format, layout, video, write_header, error);
  s->owns_file = file != stdout;
  if (!ok) sink_abort(s);
  return ok;
}

bool sink_write(frame_sink* s, const PIXEL_YC* frame, int pitch, const chroma_rows& map,
                std::string* error) {
  if (s->format == format_null) {
    ++s->frames_written;
    return true;
  }
  if (!wait_writer(s, error)) return false;
  uint8_t* luma = s->frame.data() + (s->format == format_y4m ? frame_line_bytes : 0);
  const uint8_t *cb = luma, *cr = luma;
  payload_planes(luma, s->layout, s->video, &cb, &cr);
  convert_frame_params p = {s, frame, pitch, &map, luma, const_cast<uint8_t*>(cb),
                            const_cast<uint8_t*>(cr)};
  host_exec_multi_thread_func(convert_frame_job, &p, nullptr);
  {
    std::lock_guard<std::mutex> hold(s->writer->lock);
    s->writer->bytes = s->frame.size();
  }
  s->writer->wake.notify_all();
  ++s->frames_written;
  return true;
}

bool sink_write_payload(frame_sink* s, const uint8_t* payload, std::string* error) {
  if (s->container) {
    // Encoded on the writing thread while the filter goes on.
    if (!wait_writer(s, error)) return false;
    memcpy(s->frame.data(), payload, s->frame.size());
    {
      std::lock_guard<std::mutex> hold(s->writer->lock);
      s->writer->bytes = s->frame.size();
    }
    s->writer->wake.notify_all();
    ++s->frames_written;
    return true;
  }
  if (s->format != format_null) {
    // In order with the frames the writing thread may still hold.
    if (!wait_writer(s, error)) return false;
    static const uint8_t frame_line[] = {'F', 'R', 'A', 'M', 'E', '\n'};
    int result = s->format == format_y4m ? put_bytes(s, frame_line, sizeof frame_line) : 0;
    if (!result) result = put_bytes(s, payload, frame_payload_bytes(format_y4m, s->video));
    if (result) return failed(s, result, error);
  }
  ++s->frames_written;
  return true;
}

namespace {

// Stops the writing thread and closes; with commit, after the MD5 line, and a
// named output goes in place when all went well.
bool finish(frame_sink* s, bool commit, std::string* error) {
  if (!s->file && !s->container && s->out.fd < 0) return true;
  bool ok = wait_writer(s, error) && commit;
  stop_writer(s);
  if (s->container) {
    if (ok && !container_finish(*s->container, &s->container_error)) ok = failed(s, container_failed, error);
    s->container.reset();
    s->copy_from.reset();
    if (ok) ok = output_commit(&s->out, error);
    else output_discard(&s->out);
    std::vector<uint8_t>().swap(s->frame);
    return ok;
  }
  if (ok && s->format == format_md5) {
    uint8_t digest[16];
    md5_finish(&s->md5, digest);
    char text[34];
    for (int i = 0; i < 16; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
    text[32] = '\n';
    const int result = write_out(s, reinterpret_cast<const uint8_t*>(text), 33);
    if (result) ok = failed(s, result, error);
  }
  if (s->owns_file && fclose(s->file) != 0 && ok) ok = failed(s, errno, error);
  s->file = nullptr;
  if (ok) ok = output_commit(&s->out, error);
  else output_discard(&s->out);
  std::vector<uint8_t>().swap(s->frame);
  return ok;
}

}  // namespace

bool sink_close(frame_sink* s, std::string* error) { return finish(s, true, error); }

void sink_abort(frame_sink* s) {
  std::string ignored;
  finish(s, false, &ignored);
}
