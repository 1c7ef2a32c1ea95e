// Frame sinks: the output written to a file or standard output as y4m, raw
// YC48, an MD5 of the frames or nothing, converted on the worker threads and
// written by a thread of the sink's own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/container.h"
#include "cli/convert.h"
#include "cli/md5.h"
#include "cli/output_file.h"
#include "cli/video_format.h"
#include "host/host_api.h"

struct sink_writer;  // the sink's writing thread (frame_sink.cpp)

// A frame handed to sink_write is converted into `frame` at once; a thread of
// the sink's own then writes (or hashes) those bytes while the run goes on
// with the next frame, and the next sink_write waits for it first.
struct frame_sink {
  FILE* file = nullptr;                // written through its descriptor, unbuffered
  bool owns_file = false;
  output_file out;                     // a named output: put in place at sink_close
  std::string name;
  stream_format format = format_none;  // y4m, yc48, md5 or null
  stream_format layout = format_none;  // how frames become bytes: y4m or yc48
  video_format video;
  bool write_header = true;            // y4m stream header
  std::vector<uint8_t> frame;          // one frame's bytes (y4m: its FRAME line first)
  sink_writer* writer = nullptr;
  md5_state md5;
  int64_t frames_written = 0;
  bool reader_gone = false;            // a write failed because the reader closed its end
  // A container output (format_container): set before sink_open, the input
  // whose other streams it carries over (none for a y4m or YC48 input) and
  // how it encodes; the frames go to the encoder on the writing thread.
  std::shared_ptr<container_input> copy_from;
  container_settings encoding;
  std::shared_ptr<container_output> container;
  std::string container_error;         // the writing thread's message
};

// Opens the output ("-" is standard output). layout is the byte layout of the
// frames (y4m or yc48); for md5 output it is what gets hashed. A named file
// appears only at sink_close after every write succeeded (output_file.h).
bool sink_open(frame_sink* s, const char* path, stream_format format, stream_format layout,
               const video_format& video, bool write_header, std::string* error);
bool sink_open_stream(frame_sink* s, FILE* file, const char* name, stream_format format,
                      stream_format layout, const video_format& video, bool write_header,
                      std::string* error);
// Writes a PIXEL_YC frame (pitch pixels a row) as the next frame, converted
// on the editor's worker threads; map says how picture rows share chroma rows.
bool sink_write(frame_sink* s, const PIXEL_YC* frame, int pitch, const chroma_rows& map,
                std::string* error);
// Writes a frame given as y4m plane bytes (layout y4m; frame_payload_bytes
// of the sink's video) as the next frame.
bool sink_write_payload(frame_sink* s, const uint8_t* payload, std::string* error);
// Flushes (md5: writes the digest line), closes, and puts a named output in
// place; false when any of it failed, and then no output is left.
bool sink_close(frame_sink* s, std::string* error);
// Closes after a failed run: nothing more is written (no MD5 line) and a
// named output is left as it was before the run.
void sink_abort(frame_sink* s);
