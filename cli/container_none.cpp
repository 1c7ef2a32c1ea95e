// Containers in a build without FFmpeg's libraries: the names are known (so
// that they are refused with a reason, not read or written as y4m).
#ifndef NIVORA_CONTAINERS
#include <strings.h>

#include "cli/container.h"

namespace {
const char* const known[] = {"mp4", "m4v", "mkv", "mov", "webm", "avi", "ts",  "m2ts", "mts",
                             "mxf", "nut", "flv", "mpg", "mpeg", "3gp", "ogv", "wmv",  "asf"};

bool refuse(const std::string& name, std::string* error) {
  *error = name +
           ": this nivora was built without FFmpeg's libraries: it reads and writes "
           "y4m and yc48 only";
  return false;
}
}  // namespace

bool containers_built() { return false; }

bool container_name(const std::string& path) {
  const size_t dot = path.rfind('.'), slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  for (const char* ext : known)
    if (strcasecmp(path.c_str() + dot + 1, ext) == 0) return true;
  return false;
}

std::shared_ptr<container_input> container_open_input(const char* path, video_format*, int64_t*,
                                                      std::string* error) {
  refuse(path, error);
  return nullptr;
}

read_result container_read(container_input&, uint8_t*, std::string*) { return read_failed; }
bool container_seek(container_input&, int64_t, int64_t*, std::string*) { return false; }

std::shared_ptr<container_output> container_open_output(int, const std::string& name,
                                                        const video_format&,
                                                        const std::shared_ptr<container_input>&,
                                                        const container_settings&,
                                                        std::string* error) {
  refuse(name, error);
  return nullptr;
}

bool container_write(container_output&, const uint8_t*, std::string*) { return false; }
bool container_finish(container_output&, std::string*) { return false; }
bool container_join(const std::string&, const std::vector<std::string>&, int,
                    const std::string& name, std::string* error) {
  return refuse(name, error);
}
#endif
