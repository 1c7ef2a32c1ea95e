// nivora: denoises a clip with the filter, driven through its plug-in table.
#include <csignal>
#include <cstdio>

#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/run.h"

int main(int argc, char** argv) {
  // A closed output pipe shows as a failed write (EPIPE), which the run
  // answers with exit_reader_gone and no message, after tidying up.
  signal(SIGPIPE, SIG_IGN);
  // A stopped run leaves no part-written output behind.
  remove_output_on_signals();
  const FILTER_DLL* table = GetFilterTable();
  cli_options options;
  std::string error;
  switch (parse_options(argc, argv, table, &options, &error)) {
    case parse_help:
      fputs(usage_text(), stdout);
      return 0;
    case parse_version:
      printf("%s\n", version_text());
      return 0;
    case parse_failed:
      fprintf(stderr, "nivora: %s\n", error.c_str());
      return exit_usage;
    default:
      break;
  }
  if (options.dry_run) return 0;
  run_summary summary;
  return run_cli(options, table, stderr, &summary);
}
