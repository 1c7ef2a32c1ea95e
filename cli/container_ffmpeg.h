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

#include <deque>
#include <memory>
#include <mutex>
#include <string>
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

class container_input {
 public:
  std::string name;
  input_format_ptr format;
  int video = -1;  // the video stream's index
  codec_ptr decoder;
  frame_ptr frame;             // the frame decoded last
  bool frame_waiting = false;  // decoded at open, not yet read
  packet_ptr packet;
  sws_ptr scale;
  AVPixelFormat target = AV_PIX_FMT_NONE;
  video_format clip;
  int64_t frames = 0;
  bool demux_ended = false;
  int64_t last_pts = AV_NOPTS_VALUE;

  // What an output takes, under the lock: the other streams' packets in the
  // order read, and the timestamps of the decoded frames not yet written.
  std::mutex lock;
  bool copying = true;  // packets are kept (until a read finds no output)
  bool output_attached = false;
  std::deque<packet_ptr> others;
  std::deque<int64_t> stamps;

  // Reads packets until the decoder gives a frame (read_end after the last).
  read_result decode(std::string* error);
  // Reads what is left of the file (after the last frame), keeping the
  // other streams' packets.
  bool read_rest(std::string* error);
  // A packet of a stream other than the video: kept for the output or dropped.
  void pass_on(AVPacket* p);
};
#endif
