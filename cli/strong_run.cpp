// Strong mode in a run: y4m frames through the motion-compensated filter of
// strong/ for a given or estimated noise level. Interlaced clips are filtered
// field by field, each field sequence with a filter of its own.
#include <cstring>
#include <vector>

#include "cli/run_filter.h"
#include "cli/thread_pool.h"
#include "frame/stage_share.h"
#include "host/cpu.h"
#include "strong/strong.h"

namespace {

// Pictures read for the noise estimate (the whole clip when shorter).
constexpr int estimate_frames = 2 * strong_max_radius + 1;
// Blocks of a plane kind (luma, or both chroma planes) after which further
// pictures add nothing to the estimate.
constexpr size_t estimate_blocks = 4000;
// Estimates below this, luma and chroma, leave nothing worth removing: the
// clip is written as it is (and the summary says so).
constexpr float nothing_to_remove = 0.5f;

int exec_on_workers(void (*job)(int, int, void*, void*), void* param1, void* param2) {
  return host_exec_multi_thread_func(job, param1, param2);
}

struct picture_planes {
  int width[3], height[3];
  std::vector<float> plane[3];
};

struct strong_run_state {
  video_format video;
  int fields = 1;
  int chroma_w = 0, chroma_h = 0;
  // Input pictures go straight into their filter's window (in[f] is where the
  // frame being read goes); output pictures are planes of their own.
  strong_picture_slot in[2] = {};
  int in_width[2][3] = {}, in_height[2][3] = {};
  picture_planes out[2];
  strong_filter_ptr filter[2];
  std::vector<uint8_t> out_payload;
};

constexpr int convert_min_rows = 16;  // rows of a plane a converting worker takes at least

struct convert_params {
  strong_run_state* st;
  const uint8_t* in;  // payload to pictures, or
  uint8_t* out;       // pictures to payload
};

// A worker converts a run of rows (stage_share) of every plane of the frame,
// between the y4m payload and the float pictures (one per field).
void convert_job(int thread_id, int thread_num, void* param1, void*) {
  const convert_params& c = *static_cast<const convert_params*>(param1);
  strong_run_state* st = c.st;
  const video_format& v = st->video;
  const int bytes = v.bits > 8 ? 2 : 1;
  const float down = 1.0f / float(1 << (v.bits - 8)), up = float(1 << (v.bits - 8));
  const float top = float((1 << v.bits) - 1);
  size_t plane_at = 0;
  for (int p = 0; p < 3; ++p) {
    const int pw = p ? st->chroma_w : v.width, ph = p ? st->chroma_h : v.height;
    int first, end;
    stage_share(ph, convert_min_rows, thread_id, thread_num, &first, &end);
    for (int row = first; row < end; ++row) {
      const int f = row % st->fields, y = row / st->fields;
      const size_t at = plane_at + size_t(row) * pw * bytes;
      if (c.in) {
        float* dst = st->in[f].plane[p] + size_t(y) * st->in[f].pitch[p];
        const uint8_t* src = c.in + at;
        if (bytes == 1)
          strong_kernels.u8_to_float(src, pw, dst);
        else
          for (int x = 0; x < pw; ++x) dst[x] = float(src[2 * x] | (src[2 * x + 1] << 8)) * down;
      } else {
        const float* src = st->out[f].plane[p].data() + size_t(y) * pw;
        uint8_t* dst = c.out + at;
        if (bytes == 1) {
          strong_kernels.float_to_u8(src, pw, up, top, dst);
        } else {
          for (int x = 0; x < pw; ++x) {
            // Nearest code value: within 0 .. top the truncation of q is its
            // floor; below 0 (or no value) 0, above top top, as the floor
            // would.
            float q = src[x] * up + 0.5f;
            q = !(q >= 0.0f) ? 0.0f : q > top ? top : q;
            const unsigned u = unsigned(int(q));
            dst[2 * x] = uint8_t(u & 255);
            dst[2 * x + 1] = uint8_t(u >> 8);
          }
        }
      }
    }
    plane_at += size_t(pw) * ph * bytes;
  }
}

void payload_to_pictures(strong_run_state* st, const uint8_t* payload) {
  convert_params c = {st, payload, nullptr};
  host_exec_multi_thread_func(convert_job, &c, nullptr);
}

void pictures_to_payload(strong_run_state* st) {
  convert_params c = {st, nullptr, st->out_payload.data()};
  host_exec_multi_thread_func(convert_job, &c, nullptr);
}

// The noise estimate's blocks of one picture, on the worker threads: worker t
// takes a run of the lattice's block rows of each wanted plane into
// parts[2 t + kind] (kind 0 luma, 1 chroma). The estimate is a percentile of
// the pooled energies, which does not depend on their order: the threads'
// parts are appended in any split.
struct estimate_params {
  strong_picture_view pic;
  const int* width;
  const int* height;
  bool wanted[3];
  noise_energies* parts;
};


void estimate_job(int thread_id, int thread_num, void* param1, void*) {
  const estimate_params& e = *static_cast<const estimate_params*>(param1);
  for (int p = 0; p < 3; ++p) {
    if (!e.wanted[p]) continue;
    noise_lattice_energies(e.pic.plane[p], e.pic.pitch[p], e.width[p], e.height[p], thread_id,
                           thread_num, &e.parts[2 * thread_id + (p ? 1 : 0)]);
  }
}


class strong_run final : public run_filter {
 public:
  explicit strong_run(const cli_options& o) : o_(o) {}

  bool takes_input(stream_format format, std::string* error) const override {
    if (format == format_y4m) return true;
    *error = "--sigma (strong mode) reads y4m input only";
    return false;
  }

  void frame_limit(frame_source* source) const override {
    source->max_width = strong_max_width;
    source->max_height = strong_max_height;
    source->limit_owner = "strong mode's";
  }

  bool prepare(frame_source* source, stream_format out_format, const video_format&,
               std::string* error) override {
    if (out_format == format_yc48) {
      *error = "--sigma (strong mode) writes y4m, md5 or null, not yc48";
      return false;
    }
    if (o_.out_colorspace[0] && strcmp(o_.out_colorspace, source->video.colorspace) != 0) {
      *error = "--sigma (strong mode) writes the input's colourspace; "
               "--output-colorspace does not apply";
      return false;
    }
    source_ = source;
    st_.video = source->video;
    const char tag = source->video.interlace;
    const bool interlaced = o_.field_given ? o_.check[0] != 0 : (tag == 't' || tag == 'b');
    st_.fields = interlaced && source->video.height >= 2 ? 2 : 1;
    st_.chroma_w = chroma_width(source->video);
    st_.chroma_h = chroma_height(source->video);
    const int shift_x = source->video.chroma == 444 ? 0 : 1;
    const int shift_y = source->video.chroma == 420 ? 1 : 0;
    for (int f = 0; f < st_.fields; ++f) {
      picture_planes* pic = &st_.out[f];
      for (int p = 0; p < 3; ++p) {
        const int pw = p ? st_.chroma_w : st_.video.width, ph = p ? st_.chroma_h : st_.video.height;
        pic->width[p] = st_.in_width[f][p] = pw;
        pic->height[p] = st_.in_height[f][p] = (ph + st_.fields - 1 - f) / st_.fields;
        pic->plane[p].assign(size_t(pw) * pic->height[p], 0.0f);
      }
      st_.filter[f] = strong_create(pic->width[0], pic->height[0], pic->width[1], pic->height[1],
                                    shift_x, shift_y);
      if (!st_.filter[f]) {
        *error = "out of memory for the strong filter";
        return false;
      }
    }
    st_.out_payload.assign(frame_payload_bytes(format_y4m, st_.video), 0);
    return true;
  }

  bool start(std::string*) override {
    level_ = usable_kernel_level();
    strong_select_kernels(level_);
    parts_.resize(2 * size_t(worker_threads()));  // per worker, for the estimate
    return true;
  }

  bool process(int64_t n) override {
    if (!estimated_) estimate();
    // Frames before the window of frame n (a range starting late) are only
    // stepped over, a container's by a seek: nothing of them is used.
    // The window moves inward at the clip's ends: the first pictures need
    // the 2 radius after them, the last ones the 2 radius before them.
    const int64_t from = n - 2 * params_.radius;
    const int64_t to = std::max(n + params_.radius, int64_t(2 * params_.radius));
    if (source_->container && !ended_ && next_read_ < from) seek_to(from);
    while (!ended_ && next_read_ < from) skip_next();
    while (!ended_ && next_read_ <= to) read_next(false);
    if (n >= next_read_) return false;
    const int64_t last = ended_ ? next_read_ - 1 : INT64_MAX;
    for (int f = 0; f < st_.fields; ++f) {
      float* out[3];
      int pitch[3];
      for (int p = 0; p < 3; ++p) {
        out[p] = st_.out[f].plane[p].data();
        pitch[p] = st_.out[f].width[p];
      }
      strong_process(st_.filter[f].get(), params_, n, 0, last, out, pitch, exec_on_workers);
    }
    pictures_to_payload(&st_);
    return true;
  }

  bool write(frame_sink* sink, std::string* error) override {
    return sink_write_payload(sink, st_.out_payload.data(), error);
  }

  bool input_failed(std::string* error) const override {
    if (!read_error_) return false;
    *error = read_message_;
    return true;
  }
  int64_t frames_read() const override { return next_read_; }

  // The estimate, and in the same line what it meant when the filter had
  // nothing to do.
  void notes(FILE* err) const override {
    if (!o_.sigma_auto) return;
    const char* verdict = "";
    if (!measured_)
      verdict = ": no block could be read (the clip is too small, or clipped or repeated "
                "throughout), it is written as it is; give the level with --sigma S";
    else if (params_.radius == 0)
      verdict = ": nothing to remove, the clip is written as it is; "
                "give the level with --sigma S to filter it anyway";
    fprintf(err, "nivora: noise estimate: luma %.2f, chroma %.2f%s\n", estimate_[0], estimate_[1],
            verdict);
  }
  std::string summary_head() const override {
    char head[160];
    snprintf(head, sizeof head, "strong mode, sigma %.2f (luma) %.2f (chroma), radius %d%s: ",
             params_.sigma_luma, params_.sigma_chroma, params_.radius,
             st_.fields == 2 ? ", by field" : "");
    return head;
  }
  int kernels() const override { return level_; }

 private:
  // Reads the next frame into the window of each field's filter (and, for the
  // estimate, adds its blocks' energies). False at the clip's end or when
  // the read failed.
  bool read_next(bool estimate) {
    if (ended_) return false;
    const read_result r = source_read(source_, &read_message_);
    if (r != read_ok) {
      ended_ = true;
      read_error_ = r == read_failed;
      return false;
    }
    for (int f = 0; f < st_.fields; ++f)
      st_.in[f] = strong_slot_for(st_.filter[f].get(), next_read_);
    payload_to_pictures(&st_, source_->payload.data());
    for (int f = 0; f < st_.fields; ++f) {
      const strong_picture_view pic = strong_view_of(st_.in[f]);
      // Enough blocks make a steady estimate: large pictures stop early.
      if (estimate) {
        estimate_params e = {pic, st_.in_width[f], st_.in_height[f], {}, parts_.data()};
        for (int p = 0; p < 3; ++p)
          e.wanted[p] = energies_[p ? 1 : 0].grid.size() < estimate_blocks;
        host_exec_multi_thread_func(estimate_job, &e, nullptr);
        gather_parts();
      }
      strong_push(st_.filter[f].get(), next_read_, pic, exec_on_workers);
      // The same picture against the one before it, moved by the motion
      // between them.
      if (estimate && next_read_ > 0 && energies_[0].temporal.size() < estimate_blocks) {
        strong_temporal_noise(st_.filter[f].get(), next_read_, next_read_ - 1, parts_.data(),
                              exec_on_workers);
        gather_parts();
      }
    }
    ++next_read_;
    return true;
  }

  // Steps over the next frame (a file: without reading its samples), checking
  // that it is whole.
  void skip_next() {
    int64_t at = 0;
    const read_result r = source_->seekable ? source_skip(source_, &at, &read_message_)
                                            : source_read(source_, &read_message_);
    if (r != read_ok) {
      ended_ = true;
      read_error_ = r == read_failed;
      return;
    }
    ++next_read_;
  }

  // Moves the source on to frame n (a container's seek); ends the reads when
  // the clip is shorter or the seek failed.
  void seek_to(int64_t n) {
    int64_t reached = next_read_;
    if (!source_seek(source_, n, &reached, &read_message_)) {
      ended_ = true;
      read_error_ = true;
      return;
    }
    next_read_ = reached;
    if (reached < n) ended_ = true;
  }

  // Moves the workers' energies to the pooled ones.
  void gather_parts() {
    for (size_t i = 0; i < parts_.size(); ++i) {
      noise_energies& part = parts_[i];
      noise_energies& all = energies_[i & 1];
      for (auto member : {&noise_energies::grid, &noise_energies::rows, &noise_energies::grid2,
                          &noise_energies::grid4, &noise_energies::temporal,
                          &noise_energies::centred, &noise_energies::crossed,
                          &noise_energies::crossed_centred}) {
        std::vector<float>& from = part.*member;
        std::vector<float>& to = all.*member;
        to.insert(to.end(), from.begin(), from.end());
        from.clear();
      }
    }
  }

  // The settings, from the noise level given or estimated from the first
  // frames (which stay in the windows).
  void estimate() {
    float sigma_luma = o_.sigma, sigma_chroma = o_.sigma;
    // A level given or not, the readings tell the noise's spectrum.
    while (next_read_ < estimate_frames && read_next(true)) {
    }
    // A 16x16 luma block's chroma block, as the temporal readings take it.
    const int shift_x = st_.video.chroma == 444 ? 0 : 1;
    const int shift_y = st_.video.chroma == 420 ? 1 : 0;
    energies_[1].temporal_samples = (16 >> shift_x) * (16 >> shift_y);
    const noise_reading luma = noise_sigma_from_energies(&energies_[0]);
    const noise_reading chroma = noise_sigma_from_energies(&energies_[1]);
    if (o_.sigma_auto) {
      estimate_[0] = sigma_luma = luma.sigma;
      estimate_[1] = sigma_chroma = chroma.sigma;
      measured_ = luma.measured || chroma.measured;
      if (!(sigma_luma >= nothing_to_remove) && !(sigma_chroma >= nothing_to_remove))
        sigma_luma = sigma_chroma = 0.0f;
    }
    params_ = strong_params_for(sigma_luma, sigma_chroma);
    strong_set_coarse(&params_, luma, chroma);
    estimated_ = true;
  }

  const cli_options& o_;
  frame_source* source_ = nullptr;
  strong_run_state st_;
  int level_ = simd_ref;
  bool estimated_ = false;
  strong_params params_;
  noise_energies energies_[2];         // luma, chroma blocks of the estimate
  float estimate_[2] = {};             // what they read, luma and chroma
  bool measured_ = false;              // whether any block could be read
  std::vector<noise_energies> parts_;  // the same per worker, for one picture
  int64_t next_read_ = 0;
  bool ended_ = false, read_error_ = false;
  std::string read_message_;
};

}  // namespace

std::unique_ptr<run_filter> make_strong_run(const cli_options& o) {
  return std::make_unique<strong_run>(o);
}
