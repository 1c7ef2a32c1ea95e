// Seeking in a container input. Frames are numbered as the reads number them,
// in presentation order from the first decoded frame, so frame n is the
// video packet with the n-th smallest presentation timestamp (packets before
// the first decoded frame and those the demuxer marks to be discarded left
// out). Its timestamp is found by reading the video's packets, without
// decoding, from a second opening of the file; the input then seeks to the
// last keyframe at or before it and decodes, dropping the frames before it.
// Frames after a keyframe in presentation order never refer to pictures
// before it, so the frame comes out as a run from the start decodes it. When
// the timestamps do not make frame n certain (missing or repeated), or the
// decoder does not give the frame after the seek, the input decodes from the
// clip's start instead: slower, never wrong.
#ifdef NIVORA_CONTAINERS
#include <algorithm>
#include <queue>
#include <vector>

#include "cli/container_ffmpeg.h"

namespace {

struct video_packet {
  int64_t pts, dts;
  bool key;
};

// The video stream's packets in file order, as far as frame n needs: the
// reading stops once a packet's decoding timestamp passes the (n+1)-th
// smallest presentation timestamp seen, since no later packet can come before
// it (false with a message when the file cannot be read again).
bool scan_packets(const container_input& in, int64_t n, std::vector<video_packet>* list,
                  std::string* error) {
  AVFormatContext* opened = nullptr;
  int r = avformat_open_input(&opened, in.name.c_str(), nullptr, nullptr);
  if (r < 0) {
    *error = in.name + ": cannot read again to seek: " + av_message(r);
    return false;
  }
  input_format_ptr format(opened);
  r = avformat_find_stream_info(opened, nullptr);
  packet_ptr p(av_packet_alloc());
  if (r < 0 || !p || int(opened->nb_streams) <= in.video) {
    *error = in.name + ": cannot read the streams again to seek";
    return false;
  }
  std::priority_queue<int64_t> smallest;  // the n+1 smallest timestamps from frame 0 on
  while ((r = av_read_frame(opened, p.get())) >= 0) {
    const bool ours = p->stream_index == in.video && !(p->flags & AV_PKT_FLAG_DISCARD);
    const int64_t pts = p->pts, dts = p->dts;
    if (ours) list->push_back({pts, dts, (p->flags & AV_PKT_FLAG_KEY) != 0});
    av_packet_unref(p.get());
    if (!ours) continue;
    if (size_t(n) + 1 == smallest.size() && dts != AV_NOPTS_VALUE && dts > smallest.top())
      return true;
    if (pts != AV_NOPTS_VALUE && pts >= in.first_pts) {
      smallest.push(pts);
      if (smallest.size() > size_t(n) + 1) smallest.pop();
    }
  }
  if (r != AVERROR_EOF) {
    *error = in.name + ": read failed: " + av_message(r);
    return false;
  }
  return true;
}

// Decodes and drops frames until the next read gives frame n, or the clip ends.
bool drop_until(container_input& in, int64_t n, int64_t* reached, std::string* error) {
  while (in.frames < n && !in.at_end) {
    if (in.frame_waiting) {
      in.frame_waiting = false;
    } else {
      av_frame_unref(in.frame.get());
      const read_result r = in.decode(error);
      if (r == read_failed) return false;
      if (r == read_end) {
        in.at_end = true;
        break;
      }
    }
    ++in.frames;
  }
  *reached = in.frames;
  return true;
}

// After a seek: nothing of the earlier position is left in the decoder.
void restart_decoding(container_input& in) {
  avcodec_flush_buffers(in.decoder.get());
  av_frame_unref(in.frame.get());
  in.frame_waiting = false;
  in.demux_ended = false;
}

// From the clip's first packet, counting frames again from 0.
bool from_start(container_input& in, const std::vector<video_packet>& packets, int64_t n,
                int64_t* reached, std::string* error) {
  const video_packet& first = packets.front();
  const int64_t ts = first.dts != AV_NOPTS_VALUE ? first.dts : first.pts;
  const int r = ts == AV_NOPTS_VALUE
                    ? -1
                    : av_seek_frame(in.format.get(), in.video, ts, AVSEEK_FLAG_BACKWARD);
  if (r < 0) return drop_until(in, n, reached, error);  // still where it was: go on from there
  restart_decoding(in);
  in.frames = 0;
  return drop_until(in, n, reached, error);
}

// The decoder (its thread stopped, nothing queued) moved on to frame n.
bool seek_decoder(container_input& in, int64_t n, int64_t* reached, std::string* error) {
  *reached = in.frames;
  if (n <= in.frames || in.at_end) return true;
  std::vector<video_packet> packets;
  if (!scan_packets(in, n, &packets, error)) return false;
  std::vector<int64_t> order;
  bool certain = !packets.empty() && in.first_pts != AV_NOPTS_VALUE;
  for (const video_packet& p : packets) {
    if (p.pts == AV_NOPTS_VALUE) certain = false;
    else if (p.pts >= in.first_pts) order.push_back(p.pts);
  }
  std::sort(order.begin(), order.end());
  if (std::adjacent_find(order.begin(), order.end()) != order.end()) certain = false;
  if (!certain) return drop_until(in, n, reached, error);
  if (n >= int64_t(order.size())) {
    // Fewer frames than that: the reads end here.
    in.at_end = true;
    in.frames = int64_t(order.size());
    *reached = in.frames;
    return true;
  }
  const int64_t target = order[size_t(n)];
  const video_packet* key = nullptr;
  for (const video_packet& p : packets)
    if (p.key && p.pts <= target && p.pts >= in.first_pts && (!key || p.pts > key->pts)) key = &p;
  if (!key) return from_start(in, packets, n, reached, error);
  const int64_t ts = key->dts != AV_NOPTS_VALUE ? key->dts : key->pts;
  if (av_seek_frame(in.format.get(), in.video, ts, AVSEEK_FLAG_BACKWARD) < 0)
    return from_start(in, packets, n, reached, error);
  restart_decoding(in);
  for (;;) {
    const read_result r = in.decode(error);
    if (r == read_failed) return false;
    const int64_t pts = r == read_ok ? in.frame->best_effort_timestamp : AV_NOPTS_VALUE;
    if (r == read_ok && pts != AV_NOPTS_VALUE && pts < target) {
      av_frame_unref(in.frame.get());
      continue;
    }
    if (pts == target) break;
    // Past the frame, or no timestamp: the seek cannot be trusted.
    return from_start(in, packets, n, reached, error);
  }
  in.frame_waiting = true;
  in.frames = n;
  in.last_pts = target;
  *reached = n;
  return true;
}

}  // namespace

bool container_seek(container_input& in, int64_t n, int64_t* reached, std::string* error) {
  *reached = in.frames;
  if (n <= in.frames || in.at_end) return true;
  // The frames decoded ahead: taken when the frame is among them, else the
  // decoder goes on from after them.
  in.stop_decoding();
  if (in.decoding_ended && in.queued == 0) {  // the reads end here
    if (in.end_result != read_failed) return true;
    *error = in.end_error;
    return false;
  }
  if (n - in.frames <= int64_t(in.queued)) {
    const size_t skipped = size_t(n - in.frames);
    in.head = (in.head + skipped) % in.queue.size();
    in.queued -= skipped;
    in.frames = n;
    *reached = n;
    return true;
  }
  in.drop_queue();
  const bool ok = seek_decoder(in, n, reached, error);
  in.decoded = in.frames;
  return ok;
}
#endif

