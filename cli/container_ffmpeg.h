// Inside the container reader and writer (container.h): holders for FFmpeg's
// objects, and the input as the output sees it (the packets of the streams it
// copies and the video's timestamps, handed from the reading thread to the
// writing one).
#pragma once

#ifdef NIVORA_CONTAINERS
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/container.h"

struct input_format_free {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct codec_free {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct frame_free {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct packet_free {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct sws_free {
  void operator()(SwsContext* c) const { sws_freeContext(c); }
};
using input_format_ptr = std::unique_ptr<AVFormatContext, input_format_free>;
using codec_ptr = std::unique_ptr<AVCodecContext, codec_free>;
using frame_ptr = std::unique_ptr<AVFrame, frame_free>;
using packet_ptr = std::unique_ptr<AVPacket, packet_free>;
using sws_ptr = std::unique_ptr<SwsContext, sws_free>;

// FFmpeg's message for an error code.
std::string av_message(int code);

// A decoded frame waiting in the queue between the decoding thread and the
// reads: its y4m payload and its timestamp.
struct decoded_frame {
  std::vector<uint8_t> payload;
  int64_t pts = 0;
};

// Frames decoded ahead, at most this many (each a payload, made once).
constexpr size_t decode_queue_frames = 3;

// A container being read. A thread of its own demuxes, decodes and converts
// the frames into a small queue of payloads while the run filters; reads take
// them in order. The thread starts at the first read and stops for a seek,
// for read_rest and when the input goes.
class container_input {
 public:
  ~container_input() { stop_decoding(); }

  std::string name;
  input_format_ptr format;
  int video = -1;  // the video stream's index
  codec_ptr decoder;
  frame_ptr frame;             // the frame decoded last
  bool frame_waiting = false;  // decoded at open (or by a seek), not yet converted
  packet_ptr packet;
  sws_ptr scale;
  AVPixelFormat target = AV_PIX_FMT_NONE;
  video_format clip;
  int64_t frames = 0;   // frames read (with the decoding thread stopped: decoded too)
  int64_t decoded = 0;  // frames decoded (the decoding thread's count)
  bool demux_ended = false;
  bool at_end = false;  // a seek found the clip shorter than asked: reads end
  int64_t last_pts = AV_NOPTS_VALUE;
  int64_t first_pts = AV_NOPTS_VALUE;  // of frame 0, the first frame decoded

  // What an output takes, under the lock: the other streams' packets in the
  // order read, and the timestamps of the decoded frames not yet written.
  std::mutex lock;
  bool copying = true;  // packets are kept (until a read finds no output)
  bool output_attached = false;
  std::deque<packet_ptr> others;
  std::deque<std::pair<int64_t, int64_t>> stamps;  // frame number, timestamp

  // The decoding thread and its queue, under queue_lock: queued frames are
  // queue[(head + i) % size] for i < queued; the thread fills the slot after
  // them, which no read touches.
  std::thread decoding;
  std::mutex queue_lock;
  std::condition_variable queue_changed;
  std::vector<decoded_frame> queue;
  size_t head = 0, queued = 0;
  bool stop = false;
  bool decoding_ended = false;  // the thread found the end, or failed
  read_result end_result = read_end;
  std::string end_error;

  // Reads packets until the decoder gives a frame (read_end after the last).
  read_result decode(std::string* error);
  // Decodes the next frame into a payload of the clip's layout.
  read_result next_picture(uint8_t* payload, int64_t* pts, std::string* error);
  // Reads what is left of the file (after the last frame), keeping the
  // other streams' packets.
  bool read_rest(std::string* error);
  // A packet of a stream other than the video: kept for the output or dropped
  // (not wanted). False, with the error, when it cannot be kept: a packet is
  // never lost in silence.
  bool pass_on(AVPacket* p, std::string* error);
  // Starts the decoding thread (the queue made at its first start).
  bool start_decoding(std::string* error);
  // Stops it and waits for it; frames it queued stay queued.
  void stop_decoding();
  // With the thread stopped: the queued frames dropped, so that the decoder's
  // position is the reads' (frames) again.
  void drop_queue();
};

struct output_format_free {
  void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct avio_free {
  void operator()(AVIOContext* c) const {
    av_freep(&c->buffer);
    avio_context_free(&c);
  }
};

// A text subtitle stream converted to the output container's format.
struct subtitle_convert {
  codec_ptr decoder, encoder;
};

// A container being written: the video from the encoder (or, joining parts,
// their packets), the input's other streams copied.
class container_output {
 public:
  std::string name;
  int fd = -1;
  int write_errno = 0;
  std::unique_ptr<AVIOContext, avio_free> io;
  std::unique_ptr<AVFormatContext, output_format_free> format;
  codec_ptr encoder;
  frame_ptr frame;
  packet_ptr packet;
  std::shared_ptr<container_input> from;
  AVStream* video = nullptr;
  std::vector<int> stream_of;  // the input's stream -> output stream, -1 none
  // The input streams' time bases, taken at open: the reading thread may add
  // streams (and so move the input's stream list) while this one writes.
  std::vector<AVRational> in_time_base;
  std::vector<std::unique_ptr<subtitle_convert>> convert;  // by input stream
  std::vector<uint8_t> subtitle_buffer;
  video_format clip;
  int64_t first_frame = 0;  // the input's frame number of the first frame written
  bool video_only = false;  // a range: the input's other streams are not copied
  int64_t frames = 0;

  bool fail(const std::string& what, int code, std::string* error) {
    *error = name + ": " + what + (code ? ": " + av_message(code) : std::string());
    if (write_errno) *error = name + ": write failed: " + strerror(write_errno);
    return false;
  }
  bool write_packet(AVPacket* p, std::string* error);
  bool copy_others(std::string* error);
  bool drain_encoder(std::string* error);
  // Ends the file after the video: what is left of the input's other streams,
  // then the trailer; false with a message when any of it fails.
  bool end_file(std::string* error);
};

// An output of the container its name says, writing to fd, with no stream
// yet (null and a message when nivora cannot write that kind of file).
std::shared_ptr<container_output> output_for_name(int fd, const std::string& name,
                                                  const video_format& video, std::string* error);
// Once out.video is made: the input's other streams (unless video_only),
// chapters and metadata added, and the file's header written.
bool output_start(container_output& out, const std::shared_ptr<container_input>& from,
                  bool video_only, std::string* error);
#endif
