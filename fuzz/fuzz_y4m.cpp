// libFuzzer target: the y4m reader and the conversion of what it reads, on
// arbitrary bytes. Nothing may crash, read or write out of bounds, or hang.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (!file) return 0;
  frame_source source;
  std::string error;
  if (source_open_stream(&source, file, "fuzz", format_y4m, 0, 0, &error)) {
    const video_format& f = source.video;
    const int pitch = (f.width + 15) & ~15, rows = (f.height + 15) & ~15;
    std::vector<PIXEL_YC> frame(size_t(pitch) * rows);
    std::vector<uint8_t> back(source.payload_bytes);
    chroma_rows map;
    make_chroma_rows(f, f.interlace == 't' || f.interlace == 'b', &map);
    for (int n = 0; n < 16 && source_read(&source, &error) == read_ok; ++n) {
      payload_to_frame(source.payload.data(), format_y4m, f, map, frame.data(), pitch, rows);
      frame_to_payload(frame.data(), pitch, format_y4m, f, map, back.data());
    }
    y4m_format_header(f);
  }
  fclose(file);
  return 0;
}
