// Parts of a clip joined into one container without encoding again: the video
// packets of each part in order, with their timestamps, and the input's other
// streams, chapters and metadata copied once for the whole clip, interleaved
// with the video by time as a whole run writes them.
#ifdef NIVORA_CONTAINERS
#include "cli/container_ffmpeg.h"

namespace {

// A part opened for its video packets.
struct part_input {
  input_format_ptr format;
  int video = -1;
};

bool open_part(const std::string& path, part_input* part, std::string* error) {
  AVFormatContext* opened = nullptr;
  int r = avformat_open_input(&opened, path.c_str(), nullptr, nullptr);
  if (r < 0) {
    *error = path + ": cannot read: " + av_message(r);
    return false;
  }
  part->format.reset(opened);
  r = avformat_find_stream_info(opened, nullptr);
  if (r >= 0) r = av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (r < 0) {
    *error = path + ": has no video stream to join";
    return false;
  }
  part->video = r;
  return true;
}

// Whether a part's video is coded as the first part's, so that one stream
// description serves them all.
bool same_coding(const AVCodecParameters* a, const AVCodecParameters* b) {
  return a->codec_id == b->codec_id && a->width == b->width && a->height == b->height &&
         a->format == b->format && a->extradata_size == b->extradata_size &&
         (a->extradata_size == 0 || memcmp(a->extradata, b->extradata, size_t(a->extradata_size)) == 0);
}

// Reads the input on to time `until` (seconds), keeping its other streams'
// packets for the output.
bool read_input_until(container_input& in, double until, double* read_to, std::string* error) {
  while (!in.demux_ended && *read_to <= until) {
    const int r = av_read_frame(in.format.get(), in.packet.get());
    if (r == AVERROR_EOF) {
      in.demux_ended = true;
      break;
    }
    if (r < 0) {
      *error = in.name + ": read failed: " + av_message(r);
      return false;
    }
    AVPacket* p = in.packet.get();
    const int64_t ts = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
    if (ts != AV_NOPTS_VALUE)
      *read_to = ts * av_q2d(in.format->streams[p->stream_index]->time_base);
    if (p->stream_index != in.video) {
      if (!in.pass_on(p, error)) return false;
    } else {
      av_packet_unref(p);
    }
  }
  return true;
}

// Writes the parts' video packets. A container that keeps no decoding
// timestamps (Matroska) reads the first packets of each part without one
// (the reader has not seen the reordering yet); they are held until a packet
// with one comes and then given the ones just before it, so that decoding
// timestamps rise across the parts as the muxer requires.
struct video_writer {
  std::vector<packet_ptr> waiting;
  int64_t last_dts = AV_NOPTS_VALUE;

  bool write(container_output& out, AVPacket* p, std::string* error) {
    last_dts = p->dts;
    const bool ok = out.write_packet(p, error);
    av_packet_unref(p);
    return ok;
  }
  // Takes p's data (p is left empty).
  bool put(container_output& out, AVPacket* p, std::string* error) {
    if (p->dts == AV_NOPTS_VALUE) {
      packet_ptr held(av_packet_alloc());
      if (!held) {
        *error = out.name + ": out of memory";
        return false;
      }
      av_packet_move_ref(held.get(), p);
      waiting.push_back(std::move(held));
      return true;
    }
    const int64_t m = int64_t(waiting.size());
    for (int64_t j = 0; j < m; ++j) {
      AVPacket* w = waiting[size_t(j)].get();
      w->dts = p->dts - m + j;
      if (last_dts != AV_NOPTS_VALUE && w->dts <= last_dts) w->dts = last_dts + 1;
      if (w->pts != AV_NOPTS_VALUE && w->dts > w->pts) w->dts = w->pts;
      if (!write(out, w, error)) return false;
    }
    waiting.clear();
    return write(out, p, error);
  }
  // At a part's end: what is held, after the last timestamp written.
  bool flush(container_output& out, std::string* error) {
    for (packet_ptr& w : waiting) {
      w->dts = last_dts == AV_NOPTS_VALUE ? w->pts : last_dts + 1;
      if (!write(out, w.get(), error)) return false;
    }
    waiting.clear();
    return true;
  }
};

}  // namespace

bool container_join(const std::string& input, const std::vector<std::string>& parts, int fd,
                    const std::string& name, std::string* error) {
  if (parts.empty()) {
    *error = name + ": no parts to join";
    return false;
  }
  video_format clip;
  int64_t length = -1;
  std::shared_ptr<container_input> in =
      container_open_input(input.c_str(), &clip, &length, error);
  if (!in) return false;
  part_input first;
  if (!open_part(parts[0], &first, error)) return false;
  const AVStream* first_video = first.format->streams[first.video];
  std::shared_ptr<container_output> out = output_for_name(fd, name, clip, error);
  if (!out) return false;
  out->video = avformat_new_stream(out->format.get(), nullptr);
  if (!out->video || avcodec_parameters_copy(out->video->codecpar, first_video->codecpar) < 0) {
    *error = name + ": out of memory";
    return false;
  }
  out->video->codecpar->codec_tag = 0;
  out->video->time_base = first_video->time_base;
  out->video->avg_frame_rate = AVRational{clip.fps_num, clip.fps_den};
  out->video->sample_aspect_ratio = first_video->codecpar->sample_aspect_ratio;
  out->packet.reset(av_packet_alloc());
  if (!out->packet) {
    *error = name + ": out of memory";
    return false;
  }
  if (!output_start(*out, in, false, error)) return false;

  double read_to = -1e300;  // the input's time read so far
  video_writer video;
  for (size_t i = 0; i < parts.size(); ++i) {
    part_input opened;
    part_input& part = i ? opened : first;
    if (i && !open_part(parts[i], &part, error)) return false;
    const AVStream* st = part.format->streams[part.video];
    if (!same_coding(first_video->codecpar, st->codecpar)) {
      *error = parts[i] + ": its video is not coded as the first part's; parts to join come "
               "from runs with the same settings";
      return false;
    }
    AVPacket* p = out->packet.get();
    int r;
    while ((r = av_read_frame(part.format.get(), p)) >= 0) {
      if (p->stream_index != part.video) {
        av_packet_unref(p);
        continue;
      }
      const int64_t ts = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
      const double at = ts != AV_NOPTS_VALUE ? ts * av_q2d(st->time_base) : read_to;
      if (!read_input_until(*in, at, &read_to, error) || !out->copy_others(error)) {
        av_packet_unref(p);
        return false;
      }
      p->stream_index = out->video->index;
      p->pos = -1;
      av_packet_rescale_ts(p, st->time_base, out->video->time_base);
      if (!video.put(*out, p, error)) return false;
    }
    if (r != AVERROR_EOF) {
      *error = parts[i] + ": read failed: " + av_message(r);
      return false;
    }
    if (!video.flush(*out, error)) return false;
  }
  return out->end_file(error);
}
#endif
