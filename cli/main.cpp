// nivora: denoises a clip with the filter, driven through its plug-in table.
#include <csignal>
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) {
  // A closed output pipe shows as a failed write, not as a silent death.
  signal(SIGPIPE, SIG_IGN);
  const FILTER_DLL* table = GetFilterTable();
  cli_options options;
  std::string error;
  switch (parse_options(argc, argv, table, &options, &error)) {
    case parse_help:
      fputs(usage_text(), stdout);
      return 0;
    case parse_failed:
      fprintf(stderr, "nivora: %s\n", error.c_str());
      return 2;
    default:
      break;
  }
  run_summary summary;
  return run_cli(options, table, stderr, &summary);
}
