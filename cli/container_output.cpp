// A container written through FFmpeg's libraries: the filtered frames
// encoded (--codec, --crf, --encoder-options) with the input's timestamps and
// colour tags, and the input container's other streams copied (text
// subtitles the output container cannot hold are converted to its own
// subtitle format), with its chapters and metadata.
#ifdef NIVORA_CONTAINERS
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
}

#include "cli/container_ffmpeg.h"

namespace {

struct dict_free {
  void operator()(AVDictionary* d) const { av_dict_free(&d); }
};
using dict_ptr = std::unique_ptr<AVDictionary, dict_free>;

constexpr int io_buffer_bytes = 1 << 16;
constexpr int subtitle_buffer_bytes = 1 << 16;

int write_bytes(void* opaque, uint8_t* data, int length) {
  container_output* out = static_cast<container_output*>(opaque);
  while (length > 0) {
    const ssize_t put = write(out->fd, data, size_t(length));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      out->write_errno = put < 0 ? errno : EIO;
      return AVERROR(out->write_errno);
    }
    data += put;
    length -= int(put);
  }
  return 0;
}

int64_t seek_bytes(void* opaque, int64_t offset, int whence) {
  container_output* out = static_cast<container_output*>(opaque);
  if (whence == AVSEEK_SIZE) {
    struct stat st;
    return fstat(out->fd, &st) == 0 ? int64_t(st.st_size) : -1;
  }
  const off_t at = lseek(out->fd, off_t(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : int64_t(at);
}

// The encoder by default: H.264 for the common containers, else the
// container's own default.
const AVCodec* default_encoder(const AVOutputFormat* f, std::string* wanted) {
  const std::string n = f->name;
  if (n == "mp4" || n == "mov" || n == "matroska" || n == "ipod" || n == "3gp") {
    *wanted = "libx264";
    return avcodec_find_encoder_by_name("libx264");
  }
  const AVCodec* c = avcodec_find_encoder(f->video_codec);
  *wanted = c ? c->name : avcodec_get_name(f->video_codec);
  return c;
}

bool is_text_subtitle(AVCodecID id) {
  const AVCodecDescriptor* d = avcodec_descriptor_get(id);
  return d && (d->props & AV_CODEC_PROP_TEXT_SUB);
}

}  // namespace

bool container_output::write_packet(AVPacket* p, std::string* error) {
  const int r = av_interleaved_write_frame(format.get(), p);
  if (r < 0) return fail("cannot write a packet", r, error);
  return true;
}

// The input's packets read so far, each to its output stream.
bool container_output::copy_others(std::string* error) {
  if (!from) return true;
  std::deque<packet_ptr> taken;
  {
    std::lock_guard<std::mutex> hold(from->lock);
    taken.swap(from->others);
  }
  for (packet_ptr& p : taken) {
    const int i = p->stream_index;
    if (i < 0 || size_t(i) >= stream_of.size() || stream_of[size_t(i)] < 0) continue;
    const AVRational in_tb = in_time_base[size_t(i)];
    AVStream* out_st = format->streams[stream_of[size_t(i)]];
    if (convert[size_t(i)]) {
      subtitle_convert& c = *convert[size_t(i)];
      AVSubtitle sub;
      int got = 0;
      if (avcodec_decode_subtitle2(c.decoder.get(), &sub, &got, p.get()) < 0 || !got) continue;
      const int bytes = avcodec_encode_subtitle(c.encoder.get(), subtitle_buffer.data(),
                                                int(subtitle_buffer.size()), &sub);
      avsubtitle_free(&sub);
      if (bytes < 0) return fail("cannot convert a subtitle", bytes, error);
      packet_ptr text(av_packet_alloc());
      if (!text || av_new_packet(text.get(), bytes) < 0) return fail("out of memory", 0, error);
      memcpy(text->data, subtitle_buffer.data(), size_t(bytes));
      text->pts = p->pts;
      text->dts = p->pts;
      text->duration = p->duration;
      text->stream_index = out_st->index;
      av_packet_rescale_ts(text.get(), in_tb, out_st->time_base);
      if (!write_packet(text.get(), error)) return false;
      continue;
    }
    p->stream_index = out_st->index;
    p->pos = -1;
    av_packet_rescale_ts(p.get(), in_tb, out_st->time_base);
    if (!write_packet(p.get(), error)) return false;
  }
  return true;
}

bool container_output::drain_encoder(std::string* error) {
  for (;;) {
    const int r = avcodec_receive_packet(encoder.get(), packet.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return fail("cannot encode the video", r, error);
    packet->stream_index = video->index;
    av_packet_rescale_ts(packet.get(), encoder->time_base, video->time_base);
    const bool ok = write_packet(packet.get(), error);
    av_packet_unref(packet.get());
    if (!ok) return false;
  }
}

std::shared_ptr<container_output> output_for_name(int fd, const std::string& name,
                                                  const video_format& video, std::string* error) {
  av_log_set_level(AV_LOG_QUIET);
  auto out = std::make_shared<container_output>();
  out->name = name;
  out->fd = fd;
  out->clip = video;
  const AVOutputFormat* kind = av_guess_format(nullptr, name.c_str(), nullptr);
  if (!kind) {
    *error = name +
             ": nivora cannot write this kind of file (name it .mp4, .mkv, .mov, .y4m, "
             ".yc48 or .md5)";
    return nullptr;
  }
  AVFormatContext* made = nullptr;
  if (avformat_alloc_output_context2(&made, kind, nullptr, nullptr) < 0 || !made) {
    *error = name + ": out of memory";
    return nullptr;
  }
  out->format.reset(made);
  return out;
}

std::shared_ptr<container_output> container_open_output(
    int fd, const std::string& name, const video_format& video,
    const std::shared_ptr<container_input>& from, const container_settings& settings,
    std::string* error) {
  std::shared_ptr<container_output> out = output_for_name(fd, name, video, error);
  if (!out) return nullptr;
  out->first_frame = settings.first_frame;
  const AVOutputFormat* kind = out->format->oformat;

  // The encoder and its settings.
  std::string wanted = settings.codec;
  const AVCodec* codec = wanted.empty() ? default_encoder(kind, &wanted)
                                        : avcodec_find_encoder_by_name(wanted.c_str());
  if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
    *error = name + ": the video encoder " + wanted + " is not in this FFmpeg build";
    return nullptr;
  }
  if (avformat_query_codec(kind, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
    *error = name + ": a " + kind->name + " file cannot hold " + codec->name + " video";
    return nullptr;
  }
  AVPixelFormat pix = AV_PIX_FMT_NONE;
  {
    std::string pix_name = "yuv" + std::to_string(video.chroma) + "p";
    if (video.bits > 8) pix_name += std::to_string(video.bits) + "le";
    pix = av_get_pix_fmt(pix_name.c_str());
    bool takes = codec->pix_fmts == nullptr;
    for (const AVPixelFormat* p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
      takes = takes || *p == pix;
    if (pix == AV_PIX_FMT_NONE || !takes) {
      *error = name + ": the encoder " + codec->name + " does not take " + pix_name +
               " frames (choose another with --codec, e.g. ffv1)";
      return nullptr;
    }
  }
  out->encoder.reset(avcodec_alloc_context3(codec));
  out->frame.reset(av_frame_alloc());
  out->packet.reset(av_packet_alloc());
  if (!out->encoder || !out->frame || !out->packet) {
    *error = name + ": out of memory";
    return nullptr;
  }
  AVCodecContext* enc = out->encoder.get();
  const AVStream* in_video = from ? from->format->streams[from->video] : nullptr;
  enc->width = video.width;
  enc->height = video.height;
  enc->pix_fmt = pix;
  enc->framerate = AVRational{video.fps_num, video.fps_den};
  enc->time_base = in_video ? in_video->time_base : AVRational{video.fps_den, video.fps_num};
  if (video.aspect_num > 0)
    enc->sample_aspect_ratio = AVRational{video.aspect_num, video.aspect_den};
  if (in_video) {
    const AVCodecParameters* par = in_video->codecpar;
    enc->color_primaries = par->color_primaries;
    enc->color_trc = par->color_trc;
    enc->colorspace = par->color_space;
    enc->color_range = par->color_range;
    enc->chroma_sample_location = par->chroma_location;
  }
  if (video.interlace == 't' || video.interlace == 'b') {
    enc->field_order = video.interlace == 't' ? AV_FIELD_TT : AV_FIELD_BB;
    enc->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
  } else if (video.interlace == 'p') {
    enc->field_order = AV_FIELD_PROGRESSIVE;
  }
  if (kind->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  const bool crf_encoder = !strcmp(codec->name, "libx264") || !strcmp(codec->name, "libx265");
  if (settings.crf >= 0 || crf_encoder)
    av_dict_set_int(&options, "crf", settings.crf >= 0 ? settings.crf : 18, 0);
  if (!settings.encoder_options.empty() &&
      av_dict_parse_string(&options, settings.encoder_options.c_str(), "=", ":", 0) < 0) {
    av_dict_free(&options);
    *error = name + ": --encoder-options: expected key=value:key=value, not '" +
             settings.encoder_options + "'";
    return nullptr;
  }
  int r = avcodec_open2(enc, codec, &options);
  dict_ptr left(options);
  if (r < 0) {
    *error = name + ": cannot open the encoder " + codec->name + ": " + av_message(r);
    return nullptr;
  }
  if (const AVDictionaryEntry* unknown =
          av_dict_get(left.get(), "", nullptr, AV_DICT_IGNORE_SUFFIX)) {
    *error = name + ": the encoder " + codec->name + " has no option '" + unknown->key + "'";
    return nullptr;
  }
  out->frame->format = pix;
  out->frame->width = video.width;
  out->frame->height = video.height;
  if (av_frame_get_buffer(out->frame.get(), 0) < 0) {
    *error = name + ": out of memory";
    return nullptr;
  }

  AVFormatContext* oc = out->format.get();
  out->video = avformat_new_stream(oc, nullptr);
  if (!out->video || avcodec_parameters_from_context(out->video->codecpar, enc) < 0) {
    *error = name + ": out of memory";
    return nullptr;
  }
  out->video->time_base = enc->time_base;
  out->video->avg_frame_rate = enc->framerate;
  out->video->sample_aspect_ratio = enc->sample_aspect_ratio;
  if (!output_start(*out, from, settings.video_only, error)) return nullptr;
  return out;
}

bool output_start(container_output& out_ref, const std::shared_ptr<container_input>& from,
                  bool video_only, std::string* error) {
  container_output* out = &out_ref;
  const std::string& name = out->name;
  AVFormatContext* oc = out->format.get();
  const AVOutputFormat* kind = oc->oformat;
  int r = 0;
  out->video_only = video_only;
  // What else the input holds.
  if (from) {
    AVFormatContext* ic = from->format.get();
    const AVStream* in_video = ic->streams[from->video];
    av_dict_copy(&oc->metadata, ic->metadata, 0);
    av_dict_copy(&out->video->metadata, in_video->metadata, 0);
    av_dict_set(&out->video->metadata, "encoder", nullptr, 0);
    out->video->disposition = in_video->disposition;
    out->stream_of.assign(ic->nb_streams, -1);
    out->convert.resize(ic->nb_streams);
    for (unsigned i = 0; i < ic->nb_streams; ++i)
      out->in_time_base.push_back(ic->streams[i]->time_base);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
      if (int(i) == from->video || video_only) continue;
      const AVStream* st = ic->streams[i];
      const AVCodecParameters* par = st->codecpar;
      const int fits = avformat_query_codec(kind, par->codec_id, FF_COMPLIANCE_NORMAL);
      // An .mp4's chapters come as a text track too; they are copied as chapters.
      if (fits == 0 && par->codec_type == AVMEDIA_TYPE_DATA && ic->nb_chapters > 0 &&
          par->codec_id == AV_CODEC_ID_BIN_DATA)
        continue;
      if (par->codec_type == AVMEDIA_TYPE_VIDEO &&
          (st->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
        *error = name + ": the input's second video stream (stream " + std::to_string(i) +
                 ") is not carried over; nivora filters one video stream";
        return false;
      }
      AVStream* os = avformat_new_stream(oc, nullptr);
      if (!os) {
        *error = name + ": out of memory";
        return false;
      }
      if (fits == 0 && par->codec_type == AVMEDIA_TYPE_SUBTITLE &&
          is_text_subtitle(par->codec_id) && kind->subtitle_codec != AV_CODEC_ID_NONE) {
        auto c = std::make_unique<subtitle_convert>();
        const AVCodec* dec = avcodec_find_decoder(par->codec_id);
        const AVCodec* sub_enc = avcodec_find_encoder(kind->subtitle_codec);
        if (dec && sub_enc) {
          c->decoder.reset(avcodec_alloc_context3(dec));
          c->encoder.reset(avcodec_alloc_context3(sub_enc));
        }
        bool ok =
            c->decoder && c->encoder && avcodec_parameters_to_context(c->decoder.get(), par) >= 0;
        if (ok) {
          c->decoder->pkt_timebase = st->time_base;
          ok = avcodec_open2(c->decoder.get(), dec, nullptr) >= 0;
        }
        if (ok) {
          c->encoder->time_base = st->time_base;
          if (c->decoder->subtitle_header_size > 0) {
            c->encoder->subtitle_header =
                static_cast<uint8_t*>(av_mallocz(size_t(c->decoder->subtitle_header_size) + 1));
            ok = c->encoder->subtitle_header != nullptr;
            if (ok) {
              memcpy(c->encoder->subtitle_header, c->decoder->subtitle_header,
                     size_t(c->decoder->subtitle_header_size));
              c->encoder->subtitle_header_size = c->decoder->subtitle_header_size;
            }
          }
          ok = ok && avcodec_open2(c->encoder.get(), sub_enc, nullptr) >= 0 &&
               avcodec_parameters_from_context(os->codecpar, c->encoder.get()) >= 0;
        }
        if (!ok) {
          *error = name + ": cannot convert the " + avcodec_get_name(par->codec_id) +
                   " subtitles of stream " + std::to_string(i) + " for a " + kind->name + " file";
          return false;
        }
        out->convert[i] = std::move(c);
        out->subtitle_buffer.resize(subtitle_buffer_bytes);
      } else if (fits == 0) {
        *error = name + ": a " + kind->name + " file cannot hold the input's stream " +
                 std::to_string(i) + " (" + avcodec_get_name(par->codec_id) + ")";
        return false;
      } else if (avcodec_parameters_copy(os->codecpar, par) < 0) {
        *error = name + ": out of memory";
        return false;
      } else {
        os->codecpar->codec_tag = 0;
      }
      os->time_base = st->time_base;
      os->disposition = st->disposition;
      av_dict_copy(&os->metadata, st->metadata, 0);
      out->stream_of[i] = os->index;
    }
    if (ic->nb_chapters && !video_only) {
      oc->chapters = static_cast<AVChapter**>(av_calloc(ic->nb_chapters, sizeof(AVChapter*)));
      if (!oc->chapters) {
        *error = name + ": out of memory";
        return false;
      }
      for (unsigned i = 0; i < ic->nb_chapters; ++i) {
        const AVChapter* in_ch = ic->chapters[i];
        AVChapter* ch = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!ch) {
          *error = name + ": out of memory";
          return false;
        }
        oc->chapters[oc->nb_chapters++] = ch;
        ch->id = in_ch->id;
        ch->time_base = in_ch->time_base;
        ch->start = in_ch->start;
        ch->end = in_ch->end;
        av_dict_copy(&ch->metadata, in_ch->metadata, 0);
      }
    }
    std::lock_guard<std::mutex> hold(from->lock);
    from->output_attached = true;
    out->from = from;
  }

  // The bytes go to fd (a temporary file put in place at the end, or a pipe).
  uint8_t* buffer = static_cast<uint8_t*>(av_malloc(io_buffer_bytes));
  if (!buffer) {
    *error = name + ": out of memory";
    return false;
  }
  const bool seekable = lseek(out->fd, 0, SEEK_CUR) >= 0;
  AVIOContext* io = avio_alloc_context(buffer, io_buffer_bytes, 1, out, nullptr, write_bytes,
                                       seekable ? seek_bytes : nullptr);
  if (!io) {
    av_free(buffer);
    *error = name + ": out of memory";
    return false;
  }
  out->io.reset(io);
  io->seekable = seekable ? AVIO_SEEKABLE_NORMAL : 0;
  oc->pb = io;
  oc->flags |= AVFMT_FLAG_CUSTOM_IO;
  r = avformat_write_header(oc, nullptr);
  if (r < 0) {
    out->fail("cannot start the file", r, error);
    return false;
  }
  return true;
}

bool container_write(container_output& out, const uint8_t* payload, std::string* error) {
  AVFrame* f = out.frame.get();
  int r = av_frame_make_writable(f);
  if (r < 0) return out.fail("out of memory", r, error);
  const video_format& v = out.clip;
  const int bytes = v.bits > 8 ? 2 : 1;
  for (int p = 0; p < 3; ++p) {
    const int rows = p ? chroma_height(v) : v.height;
    const size_t row = size_t(p ? chroma_width(v) : v.width) * bytes;
    for (int y = 0; y < rows; ++y)
      memcpy(f->data[p] + ptrdiff_t(y) * f->linesize[p], payload + row * y, row);
    payload += row * rows;
  }
  // The timestamp of the input's frame written here (frames read before a
  // range's start, for the filter's window, have theirs dropped); without an
  // input container, the frame's number at the frame rate.
  int64_t pts = out.first_frame + out.frames;
  if (out.from) {
    const int64_t n = out.first_frame + out.frames;
    std::lock_guard<std::mutex> hold(out.from->lock);
    auto& stamps = out.from->stamps;
    while (!stamps.empty() && stamps.front().first < n) stamps.pop_front();
    if (!stamps.empty() && stamps.front().first == n) {
      pts = stamps.front().second;
      stamps.pop_front();
    }
  }
  f->pts = pts;
  f->interlaced_frame = v.interlace == 't' || v.interlace == 'b';
  f->top_field_first = v.interlace == 't';
  ++out.frames;
  if (!out.copy_others(error)) return false;
  r = avcodec_send_frame(out.encoder.get(), f);
  if (r < 0)
    return out.fail("cannot encode video frame " + std::to_string(out.frames - 1), r, error);
  return out.drain_encoder(error);
}

bool container_finish(container_output& out, std::string* error) {
  int r = avcodec_send_frame(out.encoder.get(), nullptr);
  if (r < 0 && r != AVERROR_EOF) return out.fail("cannot finish the video", r, error);
  if (!out.drain_encoder(error)) return false;
  return out.end_file(error);
}

bool container_output::end_file(std::string* error) {
  // (A range's output copies nothing more: the rest of the input is not read.)
  if (from && !video_only && !from->read_rest(error)) return false;
  if (!copy_others(error)) return false;
  const int r = av_write_trailer(format.get());
  if (r < 0) return fail("cannot finish the file", r, error);
  avio_flush(io.get());
  if (write_errno || io->error < 0) return fail("write failed", io->error, error);
  return true;
}
#endif
