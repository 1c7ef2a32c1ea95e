// The output's file. A regular file (or a name not there yet) is written as a
// temporary file beside it, made exclusively under a name nobody can guess,
// and renamed over the output only when the run succeeded: a failed or
// stopped run removes the temporary file and leaves an existing output as it
// was. Devices and named pipes are written directly. A folder is refused.
#pragma once

#include <string>

struct output_file {
  int fd = -1;
  std::string name;   // the output as given
  std::string path;   // where it ends up (a symbolic link's target)
  std::string temp;   // the temporary file; empty when written directly
};

// Opens the output for writing (a file name, not "-"); on failure the message
// names the output and what is wrong, and nothing was made.
bool output_open(output_file* f, const char* name, std::string* error);
// Closes the file and puts it in place of the output; false (and the
// temporary file removed) when that fails.
bool output_commit(output_file* f, std::string* error);
// Closes the file and removes the temporary one; the output stays as it was.
void output_discard(output_file* f);

// True (and a message) when OUTPUT is the same file as INPUT: the same name,
// or the same device and inode ("-" stands for standard input or output).
bool output_is_input(const std::string& input, const std::string& output, std::string* error);

// SIGINT, SIGTERM and SIGHUP remove the temporary file of the output being
// written, if any, and end the process at once with status 128 + the signal
// (those ignored at start stay ignored).
void remove_output_on_signals();
