// Containers (.mp4, .mkv, .mov, ...) read and written through FFmpeg's
// libraries. A container input decodes its video into frames laid out as y4m
// payloads (planar, 8 bits or 16-bit little-endian samples), so the run sees
// a y4m clip; its other streams (audio, subtitles, data), chapters, metadata,
// colour tags and the video's timestamps travel to a container output, which
// encodes the filtered frames and copies the rest. A build without the
// libraries (NIVORA_CONTAINERS off) knows the names and refuses them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/frame_source.h"
#include "cli/video_format.h"

class container_input;
class container_output;

// How a container output encodes its video (--codec, --crf, --encoder-options).
struct container_settings {
  std::string codec;            // an FFmpeg encoder name; empty: the container's default
  int crf = -1;                 // -1: 18 for the x264/x265 encoders, else unset
  std::string encoder_options;  // "key=value:key=value", given to the encoder
  // A range (--range) from first_frame on: the video alone, with the input's
  // timestamps and colour tags; nivora-farm joins such parts and adds the
  // input's other streams and chapters once (container_join).
  bool video_only = false;
  int64_t first_frame = 0;
};

// Whether this build reads and writes containers.
bool containers_built();
// Whether a file name names a container (by its extension; y4m, yc48 and md5
// are not containers).
bool container_name(const std::string& path);

// Opens a container and decodes its first video frame; fills the clip's
// description and, when the container tells it, an estimate of its length.
// Messages name the file and what is wrong.
std::shared_ptr<container_input> container_open_input(const char* path, video_format* video,
                                                      int64_t* length_estimate, std::string* error);
// Decodes the next video frame into a y4m payload of the clip's description.
read_result container_read(container_input& in, uint8_t* payload, std::string* error);

// Positions the input so that the next read gives video frame n, frames
// counted as reads count them (in presentation order from the first frame
// decoded): seeks to the keyframe at or before the frame and decodes up to
// it, so a late frame is reached without decoding the clip from its start.
// Forward only; *reached is n, or the clip's frame count when it has fewer.
bool container_seek(container_input& in, int64_t n, int64_t* reached, std::string* error);

// Opens a container output on fd (named name; the container from the name's
// extension) for frames of video. With an input container, its other streams,
// chapters, metadata, colour tags and video timestamps are carried over.
std::shared_ptr<container_output> container_open_output(
    int fd, const std::string& name, const video_format& video,
    const std::shared_ptr<container_input>& from, const container_settings& settings,
    std::string* error);
// Encodes a frame (a y4m payload) and writes what is ready.
bool container_write(container_output& out, const uint8_t* payload, std::string* error);
// Flushes the encoder, copies what is left of the input's other streams and
// ends the container; false with a message when any of it fails.
bool container_finish(container_output& out, std::string* error);

// Joins parts (outputs of adjacent --range runs of input, in order, each its
// video only) into one container on fd, named name: their video packets as
// they are, with input's other streams, chapters and metadata, as one run
// over the whole input writes them. False with a message naming the file.
bool container_join(const std::string& input, const std::vector<std::string>& parts, int fd,
                    const std::string& name, std::string* error);
