// The command-line host: a small stand-in for the editor on Linux. It reads a
// clip (YUV4MPEG2 or raw YC48), converts it to the editor's PIXEL_YC frames,
// runs the filter through its plug-in table and the editor's services (worker
// threads, the filtering frame cache, the per-frame record), and writes the
// result (YUV4MPEG2, raw YC48, an MD5 of the frames, or nothing).
//
// What the folder offers:
//   - video formats: the y4m stream header and its colourspaces, frame layouts;
//   - frame sources and sinks over files or standard input and output;
//   - the sample conversions between y4m planes and YC48, whole frames or a
//     few rows at a time;
//   - large buffers whose pages take memory only once written;
//   - the worker-thread service, the frame cache and the editor's records;
//   - option parsing and the whole run (run_cli), which main() calls.
// Beside the code: nivora.1.in, the manual page (the version filled in by
// CMake), and nivora-farm, a bash script that runs one clip's frame ranges
// over several machines with GNU parallel and joins the parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "host/host_api.h"

// ---------------------------------------------------------------------------
// Video formats

enum stream_format { format_none = 0, format_y4m, format_yc48, format_md5, format_null };

// The filter's frame size limit: larger frames are refused before any work.
constexpr int max_frame_width = max_frame_w;
constexpr int max_frame_height = max_frame_h;

// Longest y4m stream header and frame header line accepted (hostile input).
constexpr size_t y4m_max_header = 8192;
constexpr size_t y4m_max_frame_header = 1024;

struct video_format {
  int width = 0;
  int height = 0;
  int chroma = 420;          // 420, 422 or 444
  int bits = 8;              // 8 to 16 bits per sample
  char colorspace[16] = "";  // the y4m C tag as written ("" when the header has none)
  int fps_num = 25;
  int fps_den = 1;
  int aspect_num = 0;        // 0:0 means unknown
  int aspect_den = 0;
  char interlace = 0;        // y4m I tag: 'p', 't', 'b', 'm', '?', or 0 when absent
  std::string extra;         // the X tags of the header, each with its leading space
};

// Parses a y4m C tag ("420jpeg", "422p10", ...) into subsampling and depth.
bool parse_colorspace(const char* tag, int* chroma, int* bits);
// The canonical C tag for a subsampling and depth ("420" for 8-bit 4:2:0 is
// written "420jpeg", like the common tools do).
void colorspace_name(int chroma, int bits, char out[16]);

int chroma_width(const video_format& f);
int chroma_height(const video_format& f);
int sample_bytes(const video_format& f);
// Bytes of one frame's samples: y4m planes, or w * h * 6 for raw YC48.
size_t frame_payload_bytes(stream_format layout, const video_format& f);
// The planes of a frame's bytes, one after the other: luma, cb, cr for y4m;
// a single plane of interleaved y, cb, cr rows for raw YC48.
int plane_count(stream_format layout);
int plane_rows(stream_format layout, const video_format& f, int plane);
size_t plane_row_bytes(stream_format layout, const video_format& f, int plane);

// Parses a y4m stream header line (without the final newline). On failure the
// message says what is wrong, without the file name.
bool y4m_parse_header(const char* line, size_t length, video_format* f, std::string* error);
// The header line for f, newline included.
std::string y4m_format_header(const video_format& f);

// ---------------------------------------------------------------------------
// Frame sources (readers) and sinks (writers)

enum read_result { read_ok = 0, read_end, read_failed };

// A regular file is seekable: after the stream header it is read with
// positioned reads only, so a frame's samples can be read back later from
// where they start instead of being held in memory. Pipes and other streams
// are read once, in order, through the FILE.
struct frame_source {
  FILE* file = nullptr;
  bool owns_file = false;
  std::string name;              // for messages
  stream_format format = format_none;
  video_format video;
  size_t payload_bytes = 0;
  std::vector<uint8_t> payload;  // the last frame read by source_read (sized at its first use)
  bool seekable = false;
  int64_t offset = 0;            // seekable: where the next frame (its header) starts
  int64_t file_bytes = 0;        // seekable: the file's size as last seen
  int64_t frames_read = 0;
  int64_t length = -1;           // exact frame count when known in advance, else -1
  int64_t length_estimate = -1;  // for progress only
};

// Opens a file ("-" is standard input) and reads the stream header. Raw YC48
// needs the frame size (raw_w x raw_h). Messages name the file.
bool source_open(frame_source* s, const char* path, stream_format format, int raw_w, int raw_h,
                 std::string* error);
// Same over an open stream (not closed by source_close).
bool source_open_stream(frame_source* s, FILE* file, const char* name, stream_format format,
                        int raw_w, int raw_h, std::string* error);
// Reads the next frame's samples into s->payload. read_end at a clean end of
// the stream; read_failed on a truncated or malformed frame or a read error.
read_result source_read(frame_source* s, std::string* error);
// The same into data (payload_bytes).
read_result source_read_into(frame_source* s, uint8_t* data, std::string* error);
// Seekable sources: steps over the next frame without reading its samples,
// checking that the file holds them all; *at is where they start.
read_result source_skip(frame_source* s, int64_t* at, std::string* error);
// Seekable sources: reads bytes at a file offset (part of frame n's samples,
// named in the message).
bool source_read_at(const frame_source* s, int64_t n, int64_t at, void* data, size_t bytes,
                    std::string* error);
void source_close(frame_source* s);

struct md5_state {
  uint32_t a, b, c, d;
  uint64_t bytes;
  uint8_t block[64];
};
void md5_start(md5_state* m);
void md5_add(md5_state* m, const void* data, size_t length);
void md5_finish(md5_state* m, uint8_t digest[16]);

struct chroma_rows;  // below, with the conversions
struct sink_writer;  // the sink's writing thread (frame_sink.cpp)

// A frame handed to sink_write is converted into `frame` at once; a thread of
// the sink's own then writes (or hashes) those bytes while the run goes on
// with the next frame, and the next sink_write waits for it first.
struct frame_sink {
  FILE* file = nullptr;                // written through its descriptor, unbuffered
  bool owns_file = false;
  std::string name;
  stream_format format = format_none;  // y4m, yc48, md5 or null
  stream_format layout = format_none;  // how frames become bytes: y4m or yc48
  video_format video;
  bool write_header = true;            // y4m stream header
  std::vector<uint8_t> frame;          // one frame's bytes (y4m: its FRAME line first)
  sink_writer* writer = nullptr;
  md5_state md5;
  int64_t frames_written = 0;
  bool reader_gone = false;            // a write failed because the reader closed its end
};

// Opens the output ("-" is standard output). layout is the byte layout of the
// frames (y4m or yc48); for md5 output it is what gets hashed.
bool sink_open(frame_sink* s, const char* path, stream_format format, stream_format layout,
               const video_format& video, bool write_header, std::string* error);
bool sink_open_stream(frame_sink* s, FILE* file, const char* name, stream_format format,
                      stream_format layout, const video_format& video, bool write_header,
                      std::string* error);
// Writes a PIXEL_YC frame (pitch pixels a row) as the next frame, converted
// on the editor's worker threads; map says how picture rows share chroma rows.
bool sink_write(frame_sink* s, const PIXEL_YC* frame, int pitch, const chroma_rows& map,
                std::string* error);
// Writes a frame given as y4m plane bytes (layout y4m; frame_payload_bytes
// of the sink's video) as the next frame.
bool sink_write_payload(frame_sink* s, const uint8_t* payload, std::string* error);
// Flushes (md5: writes the digest line) and closes.
bool sink_close(frame_sink* s, std::string* error);

// ---------------------------------------------------------------------------
// Conversion between frame bytes and PIXEL_YC frames

// Sample formulas (limited range). 8-bit uses the editor's own forms; deeper
// samples go through the 16-bit forms.
int yc48_luma_from_sample(int v, int bits);
int yc48_chroma_from_sample(int v, int bits);
int sample_from_yc48_luma(int y, int bits);
int sample_from_yc48_chroma(int c, int bits);

// Which chroma row each picture row uses, and back. Vertically subsampled
// chroma is field-aware when per-field processing is on: chroma rows alternate
// between the fields, so a row takes its chroma from its own field.
struct chroma_rows {
  std::vector<int> of_row;     // chroma row of each picture row
  std::vector<int> first_row;  // per chroma row: picture rows that use it
  std::vector<int> second_row; // (-1 when only one)
};
void make_chroma_rows(const video_format& f, bool field_aware, chroma_rows* map);

// Frame bytes (layout y4m or yc48) to a PIXEL_YC frame of pitch x rows pixels;
// columns past the width repeat the row's last pixel, rows past the height
// repeat the last row.
void payload_to_frame(const uint8_t* payload, stream_format layout, const video_format& f,
                      const chroma_rows& map, PIXEL_YC* frame, int pitch, int rows);
// The same a part at a time: picture rows [first, first + count) from their
// plane rows. luma points at the luma (or YC48) row first; cb and cr at chroma
// row chroma_first, which must be the smallest chroma row those rows use
// (unused for YC48). pad_frame then fills the columns and rows past the picture.
void rows_to_frame(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, int chroma_first,
                   int first, int count, stream_format layout, const video_format& f,
                   const chroma_rows& map, PIXEL_YC* frame, int pitch);
void pad_frame(PIXEL_YC* frame, int w, int h, int pitch, int rows);
// One row of 8-bit samples to w pixels: luma y[x], chroma cb[x >> chroma_shift]
// and cr[x >> chroma_shift] (chroma_shift 1 for horizontally halved chroma).
// Both versions give the same pixels; conversions call the one in cli_kernels.
typedef void (*eight_bit_row_fn)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w,
                                 int chroma_shift, PIXEL_YC* out);
typedef void (*luma_to_bytes_fn)(const PIXEL_YC* row, int w, uint8_t* out);
typedef void (*chroma_blocks_to_bytes_fn)(const PIXEL_YC* r0, const PIXEL_YC* r1, int count,
                                          uint8_t* cb, uint8_t* cr);
struct cli_kernel_table {
  eight_bit_row_fn eight_bit_row_to_pixels;
  luma_to_bytes_fn luma_to_bytes;
  chroma_blocks_to_bytes_fn chroma_blocks_to_bytes;
};
// Written only by cli_select_kernels; the scalar version until then.
extern cli_kernel_table cli_kernels;
// Fills cli_kernels for a kernel level (platform/simd_level.h): the SSE2
// version from level 1 up where the build targets SSE2, else the scalar one.
// editor_open calls it with the level the filter chose.
void cli_select_kernels(int level);
void eight_bit_row_to_pixels_ref(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w,
                                 int chroma_shift, PIXEL_YC* out);
void eight_bit_row_to_pixels_sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w,
                                  int chroma_shift, PIXEL_YC* out);
// The way back for 8-bit samples: w luma samples of a row, and count samples
// of each chroma plane, each the rounded mean of a 2x2 block (columns 2 cx and
// 2 cx + 1 of rows r0 and r1). The _sse2 versions give the same bytes; the
// plain names call the versions in cli_kernels.
void luma_to_bytes(const PIXEL_YC* row, int w, uint8_t* out);
void luma_to_bytes_ref(const PIXEL_YC* row, int w, uint8_t* out);
void luma_to_bytes_sse2(const PIXEL_YC* row, int w, uint8_t* out);
void chroma_blocks_to_bytes(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                            uint8_t* cr);
void chroma_blocks_to_bytes_ref(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                                uint8_t* cr);
void chroma_blocks_to_bytes_sse2(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                                 uint8_t* cr);
// Where a payload's Cb and Cr planes start (y4m; for YC48 they are unused).
void payload_planes(const uint8_t* payload, stream_format layout, const video_format& f,
                    const uint8_t** cb, const uint8_t** cr);
// A PIXEL_YC frame to frame bytes. Subsampled chroma is the rounded mean of
// the pixels that share it.
void frame_to_payload(const PIXEL_YC* frame, int pitch, stream_format layout,
                      const video_format& f, const chroma_rows& map, uint8_t* payload);
// Rows [first, first + count) of both chroma planes (y4m), to cb and cr.
void frame_to_chroma_rows(const PIXEL_YC* frame, int pitch, const video_format& f,
                          const chroma_rows& map, int first, int count, uint8_t* cb, uint8_t* cr);
// The same a part at a time: rows [first, first + count) of one plane, written
// to out (count * plane_row_bytes).
void frame_to_plane_rows(const PIXEL_YC* frame, int pitch, stream_format layout,
                         const video_format& f, const chroma_rows& map, int plane, int first,
                         int count, uint8_t* out);

// Large host buffers: anonymous mappings whose pages are zero and take no
// memory until first written, so a buffer a run never touches costs nothing.
// Null when bytes is 0 or the mapping fails.
void* lazy_alloc(size_t bytes);
void lazy_free(void* block, size_t bytes);

// ---------------------------------------------------------------------------
// The editor's services

// Persistent worker threads. thread_count includes the calling thread, which
// runs thread 0 of every call.
bool start_workers(int thread_count);
void stop_workers();
int worker_threads();
BOOL host_exec_multi_thread_func(MULTI_THREAD_FUNC func, void* param1, void* param2);

// The filtering frame cache: the source read ahead as far as the window needs,
// its frames kept while the filter may still use them, in the source's own
// bytes: for a seekable file only where each frame starts (its samples are
// read back when fetched), for a stream the samples themselves, in a deleted
// temporary file in TMPDIR (else /tmp) that is read back the same way, or in
// memory when no such file can be made. A fetch
// converts the frame to PIXEL_YC in one of three slots, the one used least
// recently, so a fetched frame stays valid while two further frames are
// fetched. A frame still in a slot is not converted again: the filter asks for
// most frames up to three times (as the new window frame and as a neighbour
// of the frames beside it). The area below and right of the picture, which
// the filter may overwrite (it extends frames downward), is restored on every
// fetch, so a fetch always returns the frame as converted; the picture itself
// is the filter's to read only.
constexpr int fetch_slot_count = 3;

struct frame_cache {
  frame_source* source = nullptr;
  chroma_rows map;
  int pitch = 0;                     // max_w
  int rows = 0;                      // max_h
  int radius = 0;                    // the filter's temporal radius
  int capacity = 0;                  // frames held: 2 * radius + 3
  size_t frame_pixels = 0;           // pitch * rows
  std::vector<int64_t> held_frame;   // the frame in each ring slot, -1 for none
  std::vector<int64_t> held_offset;  // seekable: where each held frame's samples start
  int spill_fd = -1;                 // stream: a deleted temporary file of capacity frames of
                                     // samples (frame k at slot k mod capacity), read back
                                     // like a seekable source; -1 when none could be made
  uint8_t* held = nullptr;           // stream without it: the same in memory (lazily committed)
  PIXEL_YC* fetch = nullptr;         // fetch_slot_count frames (lazily committed)
  int64_t slot_frame[fetch_slot_count] = {-1, -1, -1};  // frame in each fetch slot, -1 none
  int64_t slot_used[fetch_slot_count] = {0, 0, 0};      // fetch count at its last use
  int64_t fetches = 0;               // fetches answered
  int64_t conversions = 0;           // of which converted a frame (the rest found it in a slot)
  std::vector<uint8_t> strip;        // seekable: each worker's plane rows of one step
  size_t strip_share = 0;            // bytes of each worker's part
  int strip_threads = 0;             // workers the strip buffer is sized for
  int strip_rows = 0;                // picture rows a worker converts per step
  int64_t next_to_read = 0;          // frames read from the source so far
  bool end_seen = false;             // the source has no more frames
  bool read_error = false;           // it ended on an error (message in error)
  bool read_back_failed = false;     // a held frame could not be read back (message in error)
  std::string error;
  int64_t misses = 0;                // fetches of clip frames no longer (or not yet) held
  int cache_size_w = 0, cache_size_h = 0, cache_size_d = 0;  // last size asked for
};

bool cache_init(frame_cache* c, frame_source* source, int pitch, int rows, int radius,
                bool field_aware, std::string* error);
// Reads ahead so that every frame the window of output frame n may use is
// held (or the source has ended). False once the source has ended before n,
// or once a frame could not be read back.
bool cache_prepare(frame_cache* c, int64_t n);
// The clip length as far as the filter must know it: the exact count once the
// end is seen or known, otherwise the frames read so far (beyond the window).
int64_t cache_frame_n(const frame_cache* c);
// Whether frame n is held (can be fetched).
bool cache_has(const frame_cache* c, int64_t n);
// Frame n converted into the next fetch slot (writable), or null when n is
// outside the clip, not held, or cannot be read back (then read_back_failed
// is set).
PIXEL_YC* cache_fetch(frame_cache* c, int64_t n);
void cache_free(frame_cache* c);

// The editor's records for one filter: the host-owned FILTER copied from the
// plug-in table, the settings arrays, the service table and the edit buffers.
struct editor_host {
  FILTER filter;
  EXFUNC exfunc;
  int track[32];
  int check[32];
  FILTER_PROC_INFO fpip;
  PIXEL_YC* edit = nullptr;    // ycp_edit and ycp_temp, max_w * max_h each (lazily
  PIXEL_YC* temp = nullptr;    // committed: ycp_temp is written only by some stages)
  size_t buffer_pixels = 0;
  frame_cache* cache = nullptr;
};

// Copies the table, points track/check at the host's arrays (filled from
// track/check), fills the service table and calls func_init and func_update.
void editor_open(editor_host* e, const FILTER_DLL* table, const int* track, const int* check);
// Sets up the per-frame record and buffers for frames of w x h, pitch max_w.
// False when the buffers cannot be had.
bool editor_prepare(editor_host* e, frame_cache* cache, int w, int h, int max_w, int max_h);
// Starts saving frames first ... last (func_save_start).
void editor_save_start(editor_host* e, int64_t first, int64_t last);
// Runs func_proc for frame n; the result is the returned frame (pitch max_w).
const PIXEL_YC* editor_process(editor_host* e, int64_t n);
void editor_close(editor_host* e);

// ---------------------------------------------------------------------------
// Options and the whole run

enum header_mode { header_auto = 0, header_always, header_never };

struct cli_options {
  std::string input;
  std::string output;
  stream_format input_format = format_none;   // none: from the extension
  stream_format output_format = format_none;
  int raw_w = 0, raw_h = 0;                   // --size
  int track[9] = {};
  int check[4] = {};
  bool field_given = false;                   // per-field processing set explicitly
  int threads = 0;                            // 0: number of processors
  int cpu = -1;                               // forced kernel level, -1 none
  int64_t range_start = 0;
  int64_t range_end = -1;                     // -1: to the end
  bool quiet = false;
  header_mode header = header_auto;
  char out_colorspace[16] = "";               // y4m C tag for the output
  int fps_num = 0, fps_den = 0;               // 0: keep
  bool help = false;
  // Strong mode (--sigma): the motion-compensated filter for a noise level
  // instead of the plug-in's filter.
  bool strong = false;
  bool sigma_auto = false;                    // --sigma auto: estimated from the clip
  float sigma = 0;                            // --sigma S, 8-bit code values
  bool plugin_settings_given = false;         // a setting of the plug-in's filter was given
};

enum parse_status { parse_ok = 0, parse_help, parse_version, parse_failed };

// Exit statuses of the command line.
constexpr int exit_failed = 1;       // the run failed (input, output, memory)
constexpr int exit_usage = 2;        // the command line is wrong
constexpr int exit_reader_gone = 141;  // the reader of the output went away (as after SIGPIPE)

// Parses the command line against the plug-in table (option ranges and
// defaults are the table's). The message names the faulty option.
parse_status parse_options(int argc, const char* const* argv, const FILTER_DLL* table,
                           cli_options* o, std::string* error);
const char* usage_text();
// The version, from the build (one line, no newline).
const char* version_text();

// Format from a file name's extension (format_none when unknown).
stream_format format_from_name(const std::string& path);

struct run_summary {
  int64_t frames = 0;
  double seconds = 0;
  int64_t cache_misses = 0;
  int64_t cache_conversions = 0;  // frames converted for the filter's fetches
};

// The whole run. Returns the process exit status (0 on success); messages go
// to err (one line each, naming the file and what is wrong).
int run_cli(const cli_options& o, const FILTER_DLL* table, FILE* err, run_summary* summary);

// The run in strong mode (o.strong): y4m in, y4m, md5 or nothing out.
int run_strong(const cli_options& o, FILE* err, run_summary* summary);

// Progress on a terminal.
struct progress_state {
  bool enabled = false;
  double start = 0;
  double last_print = 0;
  int64_t total = -1;
};
double seconds_now();
void progress_start(progress_state* p, bool enabled, int64_t total);
void progress_update(progress_state* p, int64_t done, FILE* err);
void progress_end(progress_state* p, FILE* err);
