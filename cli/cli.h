// The command-line host: a small stand-in for the editor on Linux. It reads a
// clip (YUV4MPEG2 or raw YC48), converts it to the editor's PIXEL_YC frames,
// runs the filter through its plug-in table and the editor's services (worker
// threads, the filtering frame cache, the per-frame record), and writes the
// result (YUV4MPEG2, raw YC48, an MD5 of the frames, or nothing).
//
// What the folder offers, a header each:
//   video_format.h  the y4m stream header and its colourspaces, frame layouts;
//   frame_source.h  clips read from files or standard input;
//   container.h     containers (.mp4, .mkv, ...) read and written through
//                   FFmpeg's libraries (container_input.cpp,
//                   container_output.cpp; container_none.cpp refuses them in
//                   a build without the libraries);
//   frame_sink.h    output written to files or standard output (md5.h: the
//                   MD5 of the md5 format; output_file.h: a file that appears
//                   whole or not at all, and the output that is the input);
//   convert.h       the sample conversions between frame bytes and YC48,
//                   whole frames or a few rows at a time, and their kernels;
//   lazy_memory.h   large buffers whose pages take memory only once written;
//   thread_pool.h   the editor's worker-thread service;
//   frame_cache.h   the editor's filtering frame cache;
//   editor.h        the editor's records for one filter and its calls into it
//                   (editor_records.h: how every stand-in for the editor
//                   fills the records);
//   quoted.h        bytes of a clip made safe to print in a message;
//   options.h       option parsing, usage and version, exit statuses;
//   run.h           the whole run (run_cli), which main() calls: one
//                   skeleton for both filters; progress.h its progress line
//                   on a terminal;
//   run_filter.h    the part of a run that differs between the plug-in's
//                   filter (plugin_run.cpp) and strong mode (strong_run.cpp);
//   owned.h         holders that close what a run opened on every way out.
// This header includes them all, for code that uses the whole host.
// Beside the code: nivora.1.in, the manual page (the version filled in by
// CMake), and nivora-farm, a bash script that runs one clip's frame ranges
// over several machines with GNU parallel and joins the parts.
#pragma once

#include "cli/container.h"
#include "cli/convert.h"
#include "cli/editor.h"
#include "cli/frame_cache.h"
#include "cli/frame_sink.h"
#include "cli/frame_source.h"
#include "cli/lazy_memory.h"
#include "cli/md5.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/owned.h"
#include "cli/progress.h"
#include "cli/quoted.h"
#include "cli/run.h"
#include "cli/run_filter.h"
#include "cli/thread_pool.h"
#include "cli/video_format.h"
