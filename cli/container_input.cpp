// A container read through FFmpeg's libraries: the best video stream decoded
// frame by frame into y4m payloads (a copy of the planes when the decoder's
// layout is already the payload's, else a conversion by libswscale), the
// other streams' packets kept for a container output.
#ifdef NIVORA_CONTAINERS
#include <strings.h>

#include <cstring>
#include <system_error>

#include "cli/container_ffmpeg.h"

std::string av_message(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return text;
}

bool containers_built() { return true; }

bool container_name(const std::string& path) {
  const size_t dot = path.rfind('.'), slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  const std::string ext = path.substr(dot + 1);
  if (strcasecmp(ext.c_str(), "y4m") == 0 || strcasecmp(ext.c_str(), "yc48") == 0 ||
      strcasecmp(ext.c_str(), "md5") == 0)
    return false;
  return av_guess_format(nullptr, path.c_str(), nullptr) != nullptr;
}

namespace {

// The payload's pixel format for a subsampling and depth.
AVPixelFormat payload_format(int chroma, int bits) {
  std::string name = "yuv" + std::to_string(chroma) + "p";
  if (bits > 8) name += std::to_string(bits) + "le";
  return av_get_pix_fmt(name.c_str());
}

// The clip's description from the first decoded frame: subsampling and depth
// kept when the payload can hold them (else 4:4:4, and 10, 12 or 16 bits).
void describe(const AVStream* st, const AVFrame* f, video_format* v, AVPixelFormat* target) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(AVPixelFormat(f->format));
  const bool yuv = d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
  v->chroma = 444;
  if (yuv && d->log2_chroma_w == 1 && d->log2_chroma_h == 1) v->chroma = 420;
  if (yuv && d->log2_chroma_w == 1 && d->log2_chroma_h == 0) v->chroma = 422;
  const int depth = d ? d->comp[0].depth : 8;
  v->bits = depth <= 8 ? 8 : depth <= 10 ? 10 : depth <= 12 ? 12 : 16;
  *target = payload_format(v->chroma, v->bits);
  v->width = f->width;
  v->height = f->height;
  colorspace_name(v->chroma, v->bits, v->colorspace);
  AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
  v->fps_num = rate.num;
  v->fps_den = rate.den;
  AVRational sar =
      f->sample_aspect_ratio.num > 0 ? f->sample_aspect_ratio : st->sample_aspect_ratio;
  v->aspect_num = sar.num > 0 ? sar.num : 0;
  v->aspect_den = sar.num > 0 ? sar.den : 0;
  v->interlace = f->interlaced_frame ? (f->top_field_first ? 't' : 'b') : 'p';
}

}  // namespace

bool container_input::pass_on(AVPacket* p, std::string* error) {
  std::lock_guard<std::mutex> hold(lock);
  if (!copying) {
    av_packet_unref(p);
    return true;
  }
  packet_ptr kept(av_packet_alloc());
  if (!kept) {
    *error = name + ": out of memory keeping a packet of stream " +
             std::to_string(p->stream_index);
    av_packet_unref(p);
    return false;
  }
  av_packet_move_ref(kept.get(), p);
  others.push_back(std::move(kept));
  return true;
}

read_result container_input::decode(std::string* error) {
  for (;;) {
    int r = avcodec_receive_frame(decoder.get(), frame.get());
    if (r == 0) return read_ok;
    if (r == AVERROR_EOF) return read_end;
    if (r != AVERROR(EAGAIN)) {
      *error =
          name + ": cannot decode video frame " + std::to_string(decoded) + ": " + av_message(r);
      return read_failed;
    }
    r = demux_ended ? AVERROR_EOF : av_read_frame(format.get(), packet.get());
    if (r == AVERROR_EOF) {
      demux_ended = true;
      avcodec_send_packet(decoder.get(), nullptr);
      continue;
    }
    if (r < 0) {
      *error = name + ": read failed: " + av_message(r);
      return read_failed;
    }
    if (packet->stream_index != video) {
      if (!pass_on(packet.get(), error)) return read_failed;
      continue;
    }
    r = avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    if (r < 0 && r != AVERROR(EAGAIN)) {
      *error =
          name + ": cannot decode video frame " + std::to_string(decoded) + ": " + av_message(r);
      return read_failed;
    }
  }
}

bool container_input::read_rest(std::string* error) {
  stop_decoding();
  while (!demux_ended) {
    const int r = av_read_frame(format.get(), packet.get());
    if (r == AVERROR_EOF) break;
    if (r < 0) {
      *error = name + ": read failed: " + av_message(r);
      return false;
    }
    if (packet->stream_index != video) {
      if (!pass_on(packet.get(), error)) return false;
    } else {
      av_packet_unref(packet.get());
    }
  }
  demux_ended = true;
  return true;
}

std::shared_ptr<container_input> container_open_input(const char* path, video_format* video,
                                                      int64_t* length_estimate,
                                                      std::string* error) {
  av_log_set_level(AV_LOG_QUIET);
  auto in = std::make_shared<container_input>();
  in->name = path;
  AVFormatContext* opened = nullptr;
  int r = avformat_open_input(&opened, path, nullptr, nullptr);
  if (r < 0) {
    *error = in->name + ": cannot read: " + av_message(r);
    return nullptr;
  }
  in->format.reset(opened);
  r = avformat_find_stream_info(opened, nullptr);
  if (r < 0) {
    *error = in->name + ": cannot read the streams: " + av_message(r);
    return nullptr;
  }
  const AVCodec* codec = nullptr;
  in->video = av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (in->video < 0) {
    *error = in->name + (in->video == AVERROR_DECODER_NOT_FOUND
                             ? ": no decoder for its video in this FFmpeg build"
                             : ": has no video stream");
    return nullptr;
  }
  AVStream* st = opened->streams[in->video];
  in->decoder.reset(avcodec_alloc_context3(codec));
  in->frame.reset(av_frame_alloc());
  in->packet.reset(av_packet_alloc());
  if (!in->decoder || !in->frame || !in->packet) {
    *error = in->name + ": out of memory";
    return nullptr;
  }
  avcodec_parameters_to_context(in->decoder.get(), st->codecpar);
  in->decoder->pkt_timebase = st->time_base;
  r = avcodec_open2(in->decoder.get(), codec, nullptr);
  if (r < 0) {
    *error = in->name + ": cannot open the " + codec->name + " decoder: " + av_message(r);
    return nullptr;
  }
  // The first frame tells the layout, the depth and the field order.
  const read_result first = in->decode(error);
  if (first != read_ok) {
    if (first == read_end) *error = in->name + ": its video has no frames";
    return nullptr;
  }
  in->frame_waiting = true;
  in->first_pts = in->frame->best_effort_timestamp;
  describe(st, in->frame.get(), &in->clip, &in->target);
  if (in->target == AV_PIX_FMT_NONE) {
    *error = in->name + ": cannot convert its video to planar YUV";
    return nullptr;
  }
  if (in->clip.width > max_frame_width || in->clip.height > max_frame_height) {
    *error = in->name + ": the frame size " + std::to_string(in->clip.width) + "x" +
             std::to_string(in->clip.height) + " is larger than the filter takes";
    return nullptr;
  }
  *video = in->clip;
  *length_estimate = -1;
  if (st->nb_frames > 0) {
    *length_estimate = st->nb_frames;
  } else {
    const double seconds = st->duration != AV_NOPTS_VALUE ? st->duration * av_q2d(st->time_base)
                           : opened->duration != AV_NOPTS_VALUE
                               ? opened->duration / double(AV_TIME_BASE)
                               : -1;
    if (seconds > 0)
      *length_estimate = int64_t(seconds * in->clip.fps_num / in->clip.fps_den + 0.5);
  }
  return in;
}

read_result container_input::next_picture(uint8_t* payload, int64_t* pts, std::string* error) {
  if (frame_waiting) {
    frame_waiting = false;
  } else {
    av_frame_unref(frame.get());
    const read_result r = decode(error);
    if (r != read_ok) return r;
  }
  AVFrame* f = frame.get();
  const video_format& v = clip;
  if (f->width != v.width || f->height != v.height) {
    *error = name + ": the picture size changes at video frame " + std::to_string(decoded) +
             " (" + std::to_string(f->width) + "x" + std::to_string(f->height) + ")";
    return read_failed;
  }
  uint8_t* planes[3];
  int pitches[3];
  const int bytes = v.bits > 8 ? 2 : 1;
  size_t at = 0;
  for (int p = 0; p < 3; ++p) {
    planes[p] = payload + at;
    pitches[p] = (p ? chroma_width(v) : v.width) * bytes;
    at += size_t(pitches[p]) * (p ? chroma_height(v) : v.height);
  }
  if (f->format == target) {
    for (int p = 0; p < 3; ++p) {
      const int rows = p ? chroma_height(v) : v.height;
      for (int y = 0; y < rows; ++y)
        memcpy(planes[p] + size_t(y) * pitches[p], f->data[p] + ptrdiff_t(y) * f->linesize[p],
               size_t(pitches[p]));
    }
  } else {
    scale.reset(sws_getCachedContext(scale.release(), v.width, v.height, AVPixelFormat(f->format),
                                     v.width, v.height, target, SWS_POINT, nullptr, nullptr,
                                     nullptr));
    if (!scale) {
      *error = name + ": cannot convert video frame " + std::to_string(decoded) + " to planar YUV";
      return read_failed;
    }
    sws_scale(scale.get(), f->data, f->linesize, 0, v.height, planes, pitches);
  }
  *pts = f->best_effort_timestamp;
  if (*pts == AV_NOPTS_VALUE) *pts = last_pts == AV_NOPTS_VALUE ? 0 : last_pts + 1;
  last_pts = *pts;
  ++decoded;
  return read_ok;
}

bool container_input::start_decoding(std::string* error) {
  if (queue.empty()) {
    queue.resize(decode_queue_frames);
    for (decoded_frame& d : queue) d.payload.assign(frame_payload_bytes(format_y4m, clip), 0);
  }
  stop = false;
  decoding_ended = false;
  try {
    decoding = std::thread([this] {
      std::unique_lock<std::mutex> hold(queue_lock);
      for (;;) {
        queue_changed.wait(hold, [&] { return stop || queued < queue.size(); });
        if (stop) return;
        decoded_frame& d = queue[(head + queued) % queue.size()];
        hold.unlock();
        std::string message;
        const read_result r = next_picture(d.payload.data(), &d.pts, &message);
        hold.lock();
        if (r != read_ok) {
          decoding_ended = true;
          end_result = r;
          end_error = message;
          queue_changed.notify_all();
          return;
        }
        ++queued;
        queue_changed.notify_all();
      }
    });
  } catch (const std::system_error&) {
    *error = name + ": cannot start a thread to decode";
    return false;
  }
  return true;
}

void container_input::stop_decoding() {
  if (!decoding.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(queue_lock);
    stop = true;
  }
  queue_changed.notify_all();
  decoding.join();
  stop = false;
}

void container_input::drop_queue() {
  frames += int64_t(queued);
  head = 0;
  queued = 0;
  decoding_ended = false;
}

read_result container_read(container_input& in, uint8_t* payload, std::string* error) {
  {
    // No output took the other streams: they are no longer kept.
    std::lock_guard<std::mutex> hold(in.lock);
    if (!in.output_attached && in.copying) {
      in.copying = false;
      in.others.clear();
    }
  }
  if (in.at_end) return read_end;
  if (!in.decoding.joinable() && !in.decoding_ended && !in.start_decoding(error))
    return read_failed;
  std::unique_lock<std::mutex> hold(in.queue_lock);
  in.queue_changed.wait(hold, [&] { return in.queued > 0 || in.decoding_ended; });
  if (in.queued == 0) {
    if (in.end_result == read_failed) *error = in.end_error;
    return in.end_result;
  }
  const decoded_frame& d = in.queue[in.head];
  hold.unlock();
  memcpy(payload, d.payload.data(), d.payload.size());
  const int64_t pts = d.pts;
  hold.lock();
  in.head = (in.head + 1) % in.queue.size();
  --in.queued;
  hold.unlock();
  in.queue_changed.notify_all();
  {
    std::lock_guard<std::mutex> hold_stamps(in.lock);
    if (in.output_attached) in.stamps.emplace_back(in.frames, pts);
  }
  ++in.frames;
  return read_ok;
}
#endif
