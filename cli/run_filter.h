// The part of a run that differs between the filters the command line drives:
// the plug-in's filter through its table, or strong mode's filter. run_cli
// (run.h) does the rest for both: input and output, the worker threads,
// progress, the summary and every error and exit status, so a fix there
// reaches both.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/frame_sink.h"
#include "cli/frame_source.h"
#include "cli/options.h"
#include "cli/run.h"
#include "host/host_api.h"

// The calls come in this order: takes_input; once the clip is open, prepare;
// once the output is open and the workers run, start; then process and write
// for each output frame; then input_failed and the report.
class run_filter {
 public:
  virtual ~run_filter() = default;

  // Whether the filter reads input in this format (the message says why not).
  virtual bool takes_input(stream_format format, std::string* error) const = 0;
  // The largest frame it takes (the plug-in's filter: max_frame_width x
  // max_frame_height), set on the source before it is opened.
  virtual void frame_limit(frame_source* source) const { (void)source; }
  // Checks the output for the clip and takes what the clip needs (memory):
  // false with a message when it cannot.
  virtual bool prepare(frame_source* source, stream_format out_format,
                       const video_format& out_video, std::string* error) = 0;
  // Sets the filter up on the running workers, for the kernel level that
  // force_kernel_level allows.
  virtual bool start(std::string* error) = 0;
  // Filters frame n of the clip (n counts up from the range's start). False
  // when the clip has no frame n or a read failed.
  virtual bool process(int64_t n) = 0;
  // Hands the frame just filtered to the sink (sink_write or
  // sink_write_payload, whose error this is).
  virtual bool write(frame_sink* sink, std::string* error) = 0;

  // After the frames: whether a read failed, and its message.
  virtual bool input_failed(std::string* error) const = 0;
  // Frames of the clip read so far (all of them once process said no more).
  virtual int64_t frames_read() const = 0;
  // Its part of the summary, and warnings that hold whatever the outcome.
  virtual void report(FILE* /*err*/, run_summary* /*summary*/) const {}
  // For the summary of a run that went well: lines before it, what it says
  // before the frame count, and the kernel level used.
  virtual void notes(FILE* /*err*/) const {}
  virtual std::string summary_head() const { return ""; }
  virtual int kernels() const = 0;
};

// The plug-in's filter, through its table as the editor drives it.
std::unique_ptr<run_filter> make_plugin_run(const cli_options& o, const FILTER_DLL* table);
// Strong mode (o.strong): y4m in, y4m, md5 or nothing out.
std::unique_ptr<run_filter> make_strong_run(const cli_options& o);
