// The whole run: open the input, set the filter up, process the output frames
// in order, write them. What differs between the plug-in's filter and strong
// mode is the run_filter (run_filter.h); everything else is here, once. What
// the run opens, its holders close on every way out.
#include "cli/run.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <thread>

#include "cli/container.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/owned.h"
#include "cli/progress.h"
#include "cli/run_filter.h"
#include "host/cpu.h"

namespace {

const char* level_name(int level) {
  static const char* const names[] = {"ref", "sse2", "sse3", "avx2"};
  return level >= 0 && level <= 3 ? names[level] : "?";
}

// The input's format: as given, else from the name, else y4m (raw YC48 when
// its size is given).
stream_format input_format(const cli_options& o) {
  stream_format format = o.input_format;
  if (format == format_none) format = format_from_name(o.input);
  if (format == format_none || format == format_md5) format = o.raw_w ? format_yc48 : format_y4m;
  return format;
}

// The output's format and video description.
void output_format(const cli_options& o, const frame_source& source, stream_format* format,
                   stream_format* layout, video_format* video) {
  *format = o.output_format;
  if (*format == format_none) *format = format_from_name(o.output);
  if (*format == format_none) *format = source.format;
  *layout = *format == format_md5 || *format == format_null ? source.format
            : *format == format_container                  ? format_y4m
                                                           : *format;
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

// The status of a failed write, said as the documentation promises: a reader
// that went away ends the run quietly with exit_reader_gone, anything else
// with its message.
int write_failure(const frame_sink& sink, const std::string& error, FILE* err) {
  if (sink.reader_gone) return exit_reader_gone;
  fprintf(err, "nivora: %s\n", error.c_str());
  return exit_failed;
}

int run_with(const cli_options& o, frame_source& source, run_filter& filter, FILE* err,
             run_summary* summary) {
  *summary = run_summary();
  std::string error;
  // Before anything is opened: writing over the input would destroy it.
  if (o.output_format != format_null && output_is_input(o.input, o.output, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return exit_failed;
  }

  const stream_format in_format = input_format(o);
  if (in_format == format_y4m && o.raw_w) {
    fprintf(err, "nivora: --size is for raw YC48 input; a y4m stream states its size\n");
    return exit_failed;
  }
  if (in_format == format_container && o.input == "-") {
    fprintf(err, "nivora: standard input: containers are read from files only (pipe y4m)\n");
    return exit_failed;
  }
  // A container's frames reach the filter as y4m.
  if (!filter.takes_input(in_format == format_container ? format_y4m : in_format, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return exit_failed;
  }

  filter.frame_limit(&source);
  if (!source_open(&source, o.input.c_str(), in_format, o.raw_w, o.raw_h, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return exit_failed;
  }
  if (source.length >= 0 && o.range_start >= source.length) {
    fprintf(err, "nivora: %s: the range starts at frame %lld but the clip has %lld frames\n",
            source.name.c_str(), (long long)o.range_start, (long long)source.length);
    return exit_failed;
  }

  stream_format out_format, out_layout;
  video_format out_video;
  output_format(o, source, &out_format, &out_layout, &out_video);
  const bool header = o.header == header_always || (o.header == header_auto && o.range_start == 0);
  if (!filter.prepare(&source, out_format, out_video, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return exit_failed;
  }
  owned_sink out;
  frame_sink& sink = out.sink;
  sink.copy_from = source.container;
  sink.encoding = o.encoding;
  // A range's container holds its video only (nivora-farm joins the parts).
  sink.encoding.video_only = o.range_start > 0 || o.range_end >= 0;
  sink.encoding.first_frame = o.range_start;
  if (!sink_open(&sink, o.output.c_str(), out_format, out_layout, out_video, header, &error))
    return write_failure(sink, error, err);

  int threads = o.threads;
  if (threads <= 0) threads = int(std::thread::hardware_concurrency());
  if (threads <= 0) threads = 1;
  owned_workers workers;
  if (!workers.start(threads)) {
    fprintf(err, "nivora: cannot start %d worker threads\n", threads);
    return exit_failed;
  }
  force_kernel_level(o.cpu);  // -1: the best the processor runs
  if (!filter.start(&error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return exit_failed;
  }

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
    // A frame that could not be read gives no output (the error follows).
    if (!filter.process(n)) break;
    if (!filter.write(&sink, &error)) {
      progress_end(&progress, err);
      status = write_failure(sink, error, err);
      break;
    }
    ++summary->frames;
    progress_update(&progress, summary->frames, err);
  }
  progress_end(&progress, err);
  summary->seconds = seconds_now() - progress.start;

  if (status == 0 && filter.input_failed(&error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    status = exit_failed;
  }
  if (status == 0 && n == o.range_start && o.range_start > 0 && filter.frames_read() <= n) {
    fprintf(err, "nivora: %s: the range starts at frame %lld but the clip has %lld frames\n",
            source.name.c_str(), (long long)o.range_start, (long long)filter.frames_read());
    status = exit_failed;
  }
  // The last frames may fail to leave only now. A failed run leaves no output
  // (the sink's holder discards it).
  if (status == 0 && !sink_close(&sink, &error)) status = write_failure(sink, error, err);

  filter.report(err, summary);
  // A failed run ends with its message, not with a summary of the frames it did.
  if (!o.quiet && status == 0) {
    filter.notes(err);
    const double fps = summary->seconds > 0 ? summary->frames / summary->seconds : 0;
    fprintf(err, "nivora: %s%lld frames %dx%d in %.2f s (%.1f fps), %d threads, %s kernels\n",
            filter.summary_head().c_str(), (long long)summary->frames, source.video.width,
            source.video.height, summary->seconds, fps, threads, level_name(filter.kernels()));
  }
  return status;
}

}  // namespace

// --join: the parts named in the list joined into the output, which appears
// only when all of it succeeded.
int run_join(const cli_options& o, FILE* err) {
  std::string error;
  if (format_from_name(o.output) != format_container) {
    fprintf(err, "nivora: %s: --join writes a container (.mkv, .mp4, ...)\n", o.output.c_str());
    return exit_failed;
  }
  if (output_is_input(o.input, o.output, &error)) {
    fprintf(err, "nivora: %s\n", error.c_str());
    return exit_failed;
  }
  FILE* list = fopen(o.join_list.c_str(), "r");
  if (!list) {
    fprintf(err, "nivora: %s: cannot open for reading: %s\n", o.join_list.c_str(),
            strerror(errno));
    return exit_failed;
  }
  std::vector<std::string> parts;
  char line[4096];
  while (fgets(line, sizeof line, list)) {
    std::string part = line;
    while (!part.empty() && (part.back() == '\n' || part.back() == '\r')) part.pop_back();
    if (!part.empty()) parts.push_back(part);
  }
  fclose(list);
  output_file out;
  if (!output_open(&out, o.output.c_str(), &error) ||
      !container_join(o.input, parts, out.fd, o.output, &error) || !output_commit(&out, &error)) {
    output_discard(&out);
    fprintf(err, "nivora: %s\n", error.c_str());
    return exit_failed;
  }
  return 0;
}

int run_cli(const cli_options& o, const FILTER_DLL* table, FILE* err, run_summary* summary) {
  if (!o.join_list.empty()) return run_join(o, err);
  owned_source in;  // outlives the filter, which may read from it
  const std::unique_ptr<run_filter> filter =
      o.strong ? make_strong_run(o) : make_plugin_run(o, table);
  return run_with(o, in.source, *filter, err, summary);
}
