// Frame sources: a clip read from a file or standard input, y4m or raw YC48,
// frame by frame, or (seekable files) by position without holding the samples.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/video_format.h"

enum read_result { read_ok = 0, read_end, read_failed };

class container_input;  // container.h

// A regular file is seekable: after the stream header it is read with
// positioned reads only, so a frame's samples can be read back later from
// where they start instead of being held in memory. Pipes and other streams
// are read once, in order, through the FILE.
struct frame_source {
  FILE* file = nullptr;
  bool owns_file = false;
  std::string name;              // for messages
  stream_format format = format_none;
  video_format video;
  size_t payload_bytes = 0;
  std::vector<uint8_t> payload;  // the last frame read by source_read (sized at its first use)
  bool seekable = false;
  int64_t offset = 0;            // seekable: where the next frame (its header) starts
  int64_t file_bytes = 0;        // seekable: the file's size as last seen
  int64_t frames_read = 0;
  int64_t length = -1;           // exact frame count when known in advance, else -1
  int64_t length_estimate = -1;  // for progress only
  // A container (format_container when opened): decoded into y4m payloads,
  // read once in order (format is then y4m).
  std::shared_ptr<container_input> container;
  // Set before opening: the largest frame the filter takes, and whose limit
  // that is, for the message that refuses a larger one.
  int max_width = max_frame_width, max_height = max_frame_height;
  const char* limit_owner = "the filter's";
};

// Opens a file ("-" is standard input) and reads the stream header. Raw YC48
// needs the frame size (raw_w x raw_h). A container is opened through
// FFmpeg's libraries and looks like a y4m stream that cannot seek. Messages
// name the file.
bool source_open(frame_source* s, const char* path, stream_format format, int raw_w, int raw_h,
                 std::string* error);
// Same over an open stream (not closed by source_close).
bool source_open_stream(frame_source* s, FILE* file, const char* name, stream_format format,
                        int raw_w, int raw_h, std::string* error);
// Reads the next frame's samples into s->payload. read_end at a clean end of
// the stream; read_failed on a truncated or malformed frame or a read error.
read_result source_read(frame_source* s, std::string* error);
// The same into data (payload_bytes).
read_result source_read_into(frame_source* s, uint8_t* data, std::string* error);
// Seekable sources: steps over the next frame without reading its samples,
// checking that the file holds them all; *at is where they start.
read_result source_skip(frame_source* s, int64_t* at, std::string* error);
// A container: positions the source so that the next read gives frame n
// (seeking to the keyframe before it, container.h); *reached is n, or the
// clip's frame count when it has fewer. Other sources stay where they are
// (*reached is the frames read so far): they step over frames one by one.
bool source_seek(frame_source* s, int64_t n, int64_t* reached, std::string* error);
// Seekable sources: reads bytes at a file offset (part of frame n's samples,
// named in the message).
bool source_read_at(const frame_source* s, int64_t n, int64_t at, void* data, size_t bytes,
                    std::string* error);
void source_close(frame_source* s);
