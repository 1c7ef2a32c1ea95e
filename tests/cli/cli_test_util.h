// Helpers for the command-line host's tests: generated clips as y4m or raw
// YC48 bytes, files in the test's temporary folder, and whole runs of the
// command line with their messages captured.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli.h"

// A y4m stream: seeded noise over a gradient with a moving edge. colorspace
// is a C tag ("" for none); interlace is the I tag letter (0 for none).
std::string make_y4m(int w, int h, int frames, const char* colorspace, char interlace,
                     uint32_t seed);
// The same stream with parameters on its frame headers ("FRAME Ip Xk=...",
// of a different length on every frame, some without any).
std::string with_frame_parameters(const std::string& y4m, size_t payload_bytes);
// Raw YC48 frames of the same kind of picture.
std::string make_yc48(int w, int h, int frames, uint32_t seed);

// A file name of this test process's own, removed when the process ends.
std::string temp_path(const std::string& name);
void write_file(const std::string& path, const std::string& data);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

struct cli_result {
  int status = 0;
  std::string messages;  // everything written to the error stream
  run_summary summary;
};
// Parses args (without the program name) and runs, against the given table.
cli_result run_nivora(const std::vector<std::string>& args, const FILTER_DLL* table = nullptr);

// Open file descriptors and threads of this process, to see that a run gives
// back what it took.
int open_descriptors();
int process_threads();

// Number of "FRAME" headers in a y4m stream of known frame size.
int y4m_frame_count(const std::string& data, size_t payload_bytes);

// Whether two byte strings (clips, outputs) are equal; when not, the message
// gives both lengths and the first byte that differs, not the bytes.
testing::AssertionResult same_bytes(const std::string& got, const std::string& expected);
