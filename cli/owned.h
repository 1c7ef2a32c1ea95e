// What a run owns, each in a holder that gives it back when the holder goes
// out of scope, so that every way out of a run cleans up alike: the source,
// the frame cache, the sink, the worker threads and the editor's filter.
// Holders are declared in the order of acquiring and so released in reverse.
#pragma once

#include <string>

#include "cli/editor.h"
#include "cli/frame_cache.h"
#include "cli/frame_sink.h"
#include "cli/frame_source.h"
#include "cli/thread_pool.h"

struct owned_source {
  frame_source source;
  owned_source() = default;
  owned_source(const owned_source&) = delete;
  owned_source& operator=(const owned_source&) = delete;
  ~owned_source() { source_close(&source); }
};

struct owned_cache {
  frame_cache cache;
  owned_cache() = default;
  owned_cache(const owned_cache&) = delete;
  owned_cache& operator=(const owned_cache&) = delete;
  ~owned_cache() { cache_free(&cache); }
};

// A sink still open here belongs to a run that failed: it is closed without
// a word and a named output is left as it was. A run that ends well closes it
// itself, which puts the output in place and reports a failure of the last
// writes.
struct owned_sink {
  frame_sink sink;
  owned_sink() = default;
  owned_sink(const owned_sink&) = delete;
  owned_sink& operator=(const owned_sink&) = delete;
  ~owned_sink() { sink_abort(&sink); }
};

struct owned_workers {
  bool started = false;
  owned_workers() = default;
  owned_workers(const owned_workers&) = delete;
  owned_workers& operator=(const owned_workers&) = delete;
  bool start(int thread_count) { return started = start_workers(thread_count); }
  ~owned_workers() {
    if (started) stop_workers();
  }
};

// The editor's records stay where the caller keeps them (they are large and
// the filter may keep pointers into them); the holder closes them once opened.
struct owned_editor {
  editor_host* editor = nullptr;
  owned_editor() = default;
  owned_editor(const owned_editor&) = delete;
  owned_editor& operator=(const owned_editor&) = delete;
  void open(editor_host* e, const FILTER_DLL* table, const int* track, const int* check) {
    editor_open(e, table, track, check);
    editor = e;
  }
  ~owned_editor() {
    if (editor) editor_close(editor);
  }
};
