// The whole run: open the input, set the filter up through its plug-in table
// as the editor does, process the output frames in order, write them. What
// the run opens, its holders close on every way out.
#include <unistd.h>

#include <thread>

#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/owned.h"
#include "cli/progress.h"
#include "cli/run.h"
#include "host/cpu.h"

namespace {

int round_up16(int v) { return (v + 15) & ~15; }

const char* level_name(int level) {
  static const char* const names[] = {"ref", "sse2", "sse3", "avx2"};
  return level >= 0 && level <= 3 ? names[level] : "?";
}

// Settings for this clip: the options, with per-field processing following
// the y4m interlacing tag unless it was set explicitly.
void clip_settings(const cli_options& o, const frame_source& source, int track[9], int check[4]) {
  for (int i = 0; i < 9; ++i) track[i] = o.track[i];
  for (int i = 0; i < 4; ++i) check[i] = o.check[i];
  if (!o.field_given && source.format == format_y4m) {
    const char tag = source.video.interlace;
    if (tag == 'p') check[0] = 0;
    else if (tag == 't' || tag == 'b') check[0] = 1;
  }
}

// The output's format and video description.
void output_format(const cli_options& o, const frame_source& source, stream_format* format,
                   stream_format* layout, video_format* video) {
  *format = o.output_format;
  if (*format == format_none) *format = format_from_name(o.output);
  if (*format == format_none) *format = source.format;
  *layout = *format == format_md5 || *format == format_null ? source.format : *format;
  *video = source.video;
  if (*layout == format_y4m) {
    const char* tag = o.out_colorspace[0] ? o.out_colorspace
                      : source.format == format_yc48 ? "444p16"
                                                     : source.video.colorspace;
    if (tag[0]) {
      parse_colorspace(tag, &video->chroma, &video->bits);
      snprintf(video->colorspace, sizeof video->colorspace, "%s", tag);
    }
  }
  if (o.fps_num) {
    video->fps_num = o.fps_num;
    video->fps_den = o.fps_den;
  }
}

}  // namespace

int run_cli(const cli_options& o, const FILTER_DLL* table, FILE* err, run_summary* summary) {
  *summary = run_summary();
  std::string error;
  // Before anything is opened: writing over the input would destroy it.
  if (o.output_format != format_null && output_is_input(o.input, o.output, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return exit_failed;
  }
  if (o.strong) return run_strong(o, err, summary);

  stream_format in_format = o.input_format;
  if (in_format == format_none) in_format = format_from_name(o.input);
  if (in_format == format_none || in_format == format_md5)
    in_format = o.raw_w ? format_yc48 : format_y4m;
  if (in_format == format_y4m && o.raw_w) {
    fprintf(err, "nivora: --size is for raw YC48 input; a y4m stream states its size\n");
    return 1;
  }

  owned_source in;
  frame_source& source = in.source;
  if (!source_open(&source, o.input.c_str(), in_format, o.raw_w, o.raw_h, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return 1;
  }
  if (source.length >= 0 && o.range_start >= source.length) {
    fprintf(err, "nivora: %s: the range starts at frame %lld but the clip has %lld frames\n",
            source.name.c_str(), (long long)o.range_start, (long long)source.length);
    return 1;
  }

  int track[9], check[4];
  clip_settings(o, source, track, check);
  stream_format out_format, out_layout;
  video_format out_video;
  output_format(o, source, &out_format, &out_layout, &out_video);
  const bool header = o.header == header_always || (o.header == header_auto && o.range_start == 0);

  const int w = source.video.width, h = source.video.height;
  const int max_w = round_up16(w), max_h = round_up16(h);
  owned_cache cached;
  frame_cache& cache = cached.cache;
  owned_sink out;
  frame_sink& sink = out.sink;
  chroma_rows out_map;
  make_chroma_rows(out_video, check[0] != 0, &out_map);
  if (!cache_init(&cache, &source, max_w, max_h, track[0], check[0] != 0, &error) ||
      !sink_open(&sink, o.output.c_str(), out_format, out_layout, out_video, header, &error)) {
    if (!sink.reader_gone) fprintf(err, "nivora: %s\n", error.c_str());
    return sink.reader_gone ? exit_reader_gone : exit_failed;
  }

  int threads = o.threads;
  if (threads <= 0) threads = int(std::thread::hardware_concurrency());
  if (threads <= 0) threads = 1;
  owned_workers workers;
  if (!workers.start(threads)) {
    fprintf(err, "nivora: cannot start %d worker threads\n", threads);
    return 1;
  }
  force_kernel_level(o.cpu);  // -1: the best the processor runs

  static editor_host editor;
  owned_editor opened;
  opened.open(&editor, table, track, check);
  if (!editor_prepare(&editor, &cache, w, h, max_w, max_h)) {
    fprintf(err, "nivora: out of memory for the frame buffers\n");
    return 1;
  }
  const int64_t last = o.range_end >= 0 ? o.range_end - 1 : INT32_MAX - 1;
  editor_save_start(&editor, o.range_start, last);

  int64_t total = source.length >= 0 ? source.length : source.length_estimate;
  if (total >= 0) {
    if (o.range_end >= 0 && o.range_end < total) total = o.range_end;
    total = total > o.range_start ? total - o.range_start : 0;
  }
  progress_state progress;
  progress_start(&progress, !o.quiet && isatty(fileno(err)), total);

  int status = 0;
  int64_t n = o.range_start;
  for (; o.range_end < 0 || n < o.range_end; ++n) {
    if (!cache_prepare(&cache, n)) break;
    const PIXEL_YC* result = editor_process(&editor, n);
    // A frame that could not be read back gives no output (the error follows).
    if (cache.read_back_failed) break;
    if (!sink_write(&sink, result, max_w, out_map, &error)) {
      progress_end(&progress, err);
      status = sink.reader_gone ? exit_reader_gone : exit_failed;
      if (!sink.reader_gone) fprintf(err, "nivora: %s\n", error.c_str());
      break;
    }
    ++summary->frames;
    progress_update(&progress, summary->frames, err);
  }
  progress_end(&progress, err);
  summary->seconds = seconds_now() - progress.start;
  summary->cache_misses = cache.misses;
  summary->cache_conversions = cache.conversions;

  if (status == 0 && (cache.read_error || cache.read_back_failed)) {
    fprintf(err, "nivora: %s\n", cache.error.c_str());
    status = 1;
  }
  if (status == 0 && n == o.range_start && o.range_start > 0 && cache.next_to_read <= n) {
    fprintf(err, "nivora: %s: the range starts at frame %lld but the clip has %lld frames\n",
            source.name.c_str(), (long long)o.range_start, (long long)cache.next_to_read);
    status = 1;
  }
  // The last frames may fail to leave only now. A failed run leaves no output
  // (the sink's holder discards it).
  if (status == 0 && !sink_close(&sink, &error)) {
    status = sink.reader_gone ? exit_reader_gone : exit_failed;
    if (!sink.reader_gone) fprintf(err, "nivora: %s\n", error.c_str());
  }

  if (cache.misses)
    fprintf(err, "nivora: warning: %lld fetches asked for frames the cache no longer held\n",
            (long long)cache.misses);
  // A failed run ends with its message, not with a summary of the frames it did.
  if (!o.quiet && status == 0) {
    const double fps = summary->seconds > 0 ? summary->frames / summary->seconds : 0;
    fprintf(err, "nivora: %lld frames %dx%d in %.2f s (%.1f fps), %d threads, %s kernels\n",
            (long long)summary->frames, w, h, summary->seconds, fps, threads,
            level_name(kernel_level));
  }
  return status;
}
