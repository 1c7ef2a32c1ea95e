// The plug-in's filter in a run: the editor's frame cache over the clip, the
// filter set up through its plug-in table as the editor does, and each output
// frame from func_proc.
#include "cli/owned.h"
#include "cli/run_filter.h"
#include "host/cpu.h"

namespace {

int round_up16(int v) { return (v + 15) & ~15; }

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

class plugin_run final : public run_filter {
 public:
  plugin_run(const cli_options& o, const FILTER_DLL* table) : o_(o), table_(table) {}

  bool takes_input(stream_format, std::string*) const override { return true; }

  bool prepare(frame_source* source, stream_format, const video_format& out_video,
               std::string* error) override {
    clip_settings(o_, *source, track_, check_);
    w_ = source->video.width;
    h_ = source->video.height;
    max_w_ = round_up16(w_);
    max_h_ = round_up16(h_);
    make_chroma_rows(out_video, check_[0] != 0, &out_map_);
    return cache_init(&cached_.cache, source, max_w_, max_h_, track_[0], check_[0] != 0, error);
  }

  bool start(std::string* error) override {
    opened_.open(&editor, table_, track_, check_);
    if (!editor_prepare(&editor, &cached_.cache, w_, h_, max_w_, max_h_)) {
      *error = "out of memory for the frame buffers";
      return false;
    }
    const int64_t last = o_.range_end >= 0 ? o_.range_end - 1 : INT32_MAX - 1;
    editor_save_start(&editor, o_.range_start, last);
    return true;
  }

  bool process(int64_t n) override {
    if (!cache_prepare(&cached_.cache, n)) return false;
    result_ = editor_process(&editor, n);
    return !cached_.cache.read_back_failed;
  }

  bool write(frame_sink* sink, std::string* error) override {
    return sink_write(sink, result_, max_w_, out_map_, error);
  }

  bool input_failed(std::string* error) const override {
    const frame_cache& cache = cached_.cache;
    if (!cache.read_error && !cache.read_back_failed) return false;
    *error = cache.error;
    return true;
  }
  int64_t frames_read() const override { return cached_.cache.next_to_read; }

  void report(FILE* err, run_summary* summary) const override {
    const frame_cache& cache = cached_.cache;
    summary->cache_misses = cache.misses;
    summary->cache_conversions = cache.conversions;
    if (cache.misses)
      fprintf(err, "nivora: warning: %lld fetches asked for frames the cache no longer held\n",
              (long long)cache.misses);
  }
  int kernels() const override { return kernel_level; }

 private:
  // The editor's records: large, and the filter may keep pointers into them.
  static editor_host editor;

  const cli_options& o_;
  const FILTER_DLL* table_;
  int track_[9] = {}, check_[4] = {};
  int w_ = 0, h_ = 0, max_w_ = 0, max_h_ = 0;
  chroma_rows out_map_;
  const PIXEL_YC* result_ = nullptr;
  // Declared in the order of acquiring: the editor closes before the cache goes.
  owned_cache cached_;
  owned_editor opened_;
};

editor_host plugin_run::editor;

}  // namespace

std::unique_ptr<run_filter> make_plugin_run(const cli_options& o, const FILTER_DLL* table) {
  return std::make_unique<plugin_run>(o, table);
}
