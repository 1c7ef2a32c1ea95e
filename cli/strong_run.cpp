// The run in strong mode: y4m frames through the motion-compensated filter of
// strong/ for a given or estimated noise level. Interlaced clips are filtered
// field by field, each field sequence with a filter of its own.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "cli/options.h"
#include "cli/owned.h"
#include "cli/progress.h"
#include "cli/run.h"
#include "cli/thread_pool.h"
#include "driver/buffers.h"  // stage_share
#include "host/cpu.h"
#include "strong/strong.h"

namespace {

// Pictures read for the noise estimate (the whole clip when shorter).
constexpr int estimate_frames = 2 * strong_max_radius + 1;
// Blocks of a plane kind (luma, or both chroma planes) after which further
// pictures add nothing to the estimate.
constexpr size_t estimate_blocks = 4000;

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
          for (int x = 0; x < pw; ++x) dst[x] = float(src[x]);
        else
          for (int x = 0; x < pw; ++x) dst[x] = float(src[2 * x] | (src[2 * x + 1] << 8)) * down;
      } else {
        const float* src = st->out[f].plane[p].data() + size_t(y) * pw;
        uint8_t* dst = c.out + at;
        for (int x = 0; x < pw; ++x) {
          // Nearest code value: within 0 .. top the truncation of q is its
          // floor; below 0 (or no value) 0, above top top, as the floor would.
          float q = src[x] * up + 0.5f;
          q = !(q >= 0.0f) ? 0.0f : q > top ? top : q;
          const unsigned u = unsigned(int(q));
          if (bytes == 1) {
            dst[x] = uint8_t(u);
          } else {
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
// takes a run of block rows (stage_share) of each wanted plane into
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

constexpr int estimate_block_rows = 32;  // the estimator's block size

void estimate_job(int thread_id, int thread_num, void* param1, void*) {
  const estimate_params& e = *static_cast<const estimate_params*>(param1);
  for (int p = 0; p < 3; ++p) {
    if (!e.wanted[p]) continue;
    const int w = e.width[p], rows = e.height[p] / estimate_block_rows, pitch = e.pic.pitch[p];
    int first, end;
    if (stage_share(rows, 1, thread_id, thread_num, &first, &end))
      noise_block_energies(e.pic.plane[p] + size_t(first) * estimate_block_rows * pitch, pitch, w,
                           (end - first) * estimate_block_rows, &e.parts[2 * thread_id + (p ? 1 : 0)]);
  }
}

strong_picture_view view_of(const strong_picture_slot& slot) {
  strong_picture_view view;
  for (int p = 0; p < 3; ++p) {
    view.plane[p] = slot.plane[p];
    view.pitch[p] = slot.pitch[p];
  }
  return view;
}

}  // namespace

int run_strong(const cli_options& o, FILE* err, run_summary* summary) {
  *summary = run_summary();
  std::string error;
  stream_format in_format = o.input_format;
  if (in_format == format_none) in_format = format_from_name(o.input);
  if (in_format == format_none) in_format = o.raw_w ? format_yc48 : format_y4m;
  if (in_format != format_y4m) {
    fprintf(err, "nivora: --sigma (strong mode) reads y4m input only\n");
    return 1;
  }
  stream_format out_format = o.output_format;
  if (out_format == format_none) out_format = format_from_name(o.output);
  if (out_format == format_none) out_format = format_y4m;
  if (out_format == format_yc48) {
    fprintf(err, "nivora: --sigma (strong mode) writes y4m, md5 or null, not yc48\n");
    return 1;
  }

  owned_source in;
  frame_source& source = in.source;
  if (!source_open(&source, o.input.c_str(), format_y4m, 0, 0, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return 1;
  }
  if (o.out_colorspace[0] && strcmp(o.out_colorspace, source.video.colorspace) != 0) {
    fprintf(err, "nivora: --sigma (strong mode) writes the input's colourspace; "
                 "--output-colorspace does not apply\n");
    return 1;
  }

  static strong_run_state st;
  st = strong_run_state();
  st.video = source.video;
  const char tag = source.video.interlace;
  const bool interlaced = o.field_given ? o.check[0] != 0 : (tag == 't' || tag == 'b');
  st.fields = interlaced && source.video.height >= 2 ? 2 : 1;
  st.chroma_w = chroma_width(source.video);
  st.chroma_h = chroma_height(source.video);
  const int shift_x = source.video.chroma == 444 ? 0 : 1;
  const int shift_y = source.video.chroma == 420 ? 1 : 0;
  for (int f = 0; f < st.fields; ++f) {
    picture_planes* pic = &st.out[f];
    for (int p = 0; p < 3; ++p) {
      const int pw = p ? st.chroma_w : st.video.width, ph = p ? st.chroma_h : st.video.height;
      pic->width[p] = st.in_width[f][p] = pw;
      pic->height[p] = st.in_height[f][p] = (ph + st.fields - 1 - f) / st.fields;
      pic->plane[p].assign(size_t(pw) * pic->height[p], 0.0f);
    }
    st.filter[f] = strong_create(pic->width[0], pic->height[0], pic->width[1], pic->height[1],
                                 shift_x, shift_y);
    if (!st.filter[f]) {
      fprintf(err, "nivora: out of memory for the strong filter\n");
      return 1;
    }
  }
  st.out_payload.assign(frame_payload_bytes(format_y4m, st.video), 0);

  video_format out_video = st.video;
  if (o.fps_num) {
    out_video.fps_num = o.fps_num;
    out_video.fps_den = o.fps_den;
  }
  const bool header = o.header == header_always || (o.header == header_auto && o.range_start == 0);
  owned_sink out;
  frame_sink& sink = out.sink;
  int threads = o.threads;
  if (threads <= 0) threads = int(std::thread::hardware_concurrency());
  if (threads <= 0) threads = 1;
  force_kernel_level(o.cpu);  // -1: the best the processor runs
  strong_select_kernels(usable_kernel_level());
  owned_workers workers;
  bool ok = sink_open(&sink, o.output.c_str(), out_format, format_y4m, out_video, header, &error);
  if (ok && !workers.start(threads)) {
    error = "cannot start " + std::to_string(threads) + " worker threads";
    ok = false;
  }
  if (!ok) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return 1;
  }

  // Reading: every frame goes into the window of each field's filter.
  int64_t next_read = 0;
  bool ended = false, read_error = false;
  noise_energies energies[2];  // luma, chroma blocks of the estimate
  std::vector<noise_energies> parts(o.sigma_auto ? 2 * size_t(worker_threads()) : 0);  // per thread
  auto read_next = [&](bool estimate) {
    if (ended) return false;
    const read_result r = source_read(&source, &error);
    if (r != read_ok) {
      ended = true;
      read_error = r == read_failed;
      return false;
    }
    for (int f = 0; f < st.fields; ++f) st.in[f] = strong_slot_for(st.filter[f].get(), next_read);
    payload_to_pictures(&st, source.payload.data());
    for (int f = 0; f < st.fields; ++f) {
      const strong_picture_view pic = view_of(st.in[f]);
      // Enough blocks make a steady estimate: large pictures stop early.
      if (estimate) {
        estimate_params e = {pic, st.in_width[f], st.in_height[f], {}, parts.data()};
        for (int p = 0; p < 3; ++p) e.wanted[p] = energies[p ? 1 : 0].grid.size() < estimate_blocks;
        host_exec_multi_thread_func(estimate_job, &e, nullptr);
        for (size_t i = 0; i < parts.size(); ++i) {
          noise_energies& part = parts[i];
          noise_energies& all = energies[i & 1];
          all.grid.insert(all.grid.end(), part.grid.begin(), part.grid.end());
          all.rows.insert(all.rows.end(), part.rows.begin(), part.rows.end());
          part.grid.clear();
          part.rows.clear();
        }
      }
      strong_push(st.filter[f].get(), next_read, pic, exec_on_workers);
    }
    ++next_read;
    return true;
  };

  progress_state progress;
  const double start = seconds_now();
  float sigma_luma = o.sigma, sigma_chroma = o.sigma;
  if (o.sigma_auto) {
    while (next_read < estimate_frames && read_next(true)) {
    }
    sigma_luma = noise_sigma_from_energies(&energies[0]);
    sigma_chroma = noise_sigma_from_energies(&energies[1]);
  }
  const strong_params params = strong_params_for(sigma_luma, sigma_chroma);

  int64_t total = source.length >= 0 ? source.length : source.length_estimate;
  if (total >= 0) {
    if (o.range_end >= 0 && o.range_end < total) total = o.range_end;
    total = total > o.range_start ? total - o.range_start : 0;
  }
  progress_start(&progress, !o.quiet && isatty(fileno(err)), total);
  int status = 0;
  int64_t n = 0;
  for (; o.range_end < 0 || n < o.range_end; ++n) {
    while (!ended && next_read <= n + params.radius) read_next(false);
    if (n >= next_read) break;
    if (n < o.range_start) continue;
    const int64_t last = ended ? next_read - 1 : INT64_MAX;
    for (int f = 0; f < st.fields; ++f) {
      float* out[3];
      int pitch[3];
      for (int p = 0; p < 3; ++p) {
        out[p] = st.out[f].plane[p].data();
        pitch[p] = st.out[f].width[p];
      }
      strong_process(st.filter[f].get(), params, n, 0, last, out, pitch, exec_on_workers);
    }
    pictures_to_payload(&st);
    if (!sink_write_payload(&sink, st.out_payload.data(), &error)) {
      progress_end(&progress, err);
      fprintf(err, "nivora: %s\n", error.c_str());
      return 1;
    }
    ++summary->frames;
    progress_update(&progress, summary->frames, err);
  }
  progress_end(&progress, err);
  summary->seconds = seconds_now() - start;
  if (read_error) {
    fprintf(err, "nivora: %s\n", error.c_str());
    status = 1;
  } else if (n <= o.range_start && o.range_start > 0) {
    fprintf(err, "nivora: %s: the range starts at frame %lld but the clip has %lld frames\n",
            source.name.c_str(), (long long)o.range_start, (long long)next_read);
    status = 1;
  }
  // The last frames may fail to leave only now.
  if (status == 0 && !sink_close(&sink, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    status = 1;
  }
  if (!o.quiet) {
    if (o.sigma_auto)
      fprintf(err, "nivora: noise estimate: luma %.2f, chroma %.2f\n", sigma_luma, sigma_chroma);
    const double fps = summary->seconds > 0 ? summary->frames / summary->seconds : 0;
    fprintf(err,
            "nivora: strong mode, sigma %.2f (luma) %.2f (chroma), radius %d%s: %lld frames "
            "%dx%d in %.2f s (%.1f fps), %d threads\n",
            params.sigma_luma, params.sigma_chroma, params.radius,
            st.fields == 2 ? ", by field" : "", (long long)summary->frames, st.video.width,
            st.video.height, summary->seconds, fps, threads);
  }
  return status;
}
