// The y4m header, the frame readers and writers, and the MD5 of the frames.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>
#include <cstring>

#include "cli/cli.h"
#include "cli_test_util.h"

namespace {

bool parse(const std::string& line, video_format* f, std::string* error) {
  return y4m_parse_header(line.data(), line.size(), f, error);
}

std::string md5_hex(const std::string& data, size_t chunk) {
  md5_state m;
  md5_start(&m);
  for (size_t at = 0; at < data.size(); at += chunk)
    md5_add(&m, data.data() + at, std::min(chunk, data.size() - at));
  uint8_t digest[16];
  md5_finish(&m, digest);
  char text[33];
  for (int i = 0; i < 16; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
  return text;
}

// Opens bytes as a source, as a stream of unknown length or as a regular
// (seekable) file.
struct memory_source {
  std::string bytes;
  FILE* file = nullptr;
  frame_source source;
  std::string error;
  bool open(const std::string& data, stream_format format, int w = 0, int h = 0,
            bool seekable = false) {
    bytes = data;
    // fmemopen refuses an empty buffer: an empty temporary file stands in.
    file = seekable || bytes.empty() ? tmpfile() : fmemopen(&bytes[0], bytes.size(), "rb");
    if (file && fileno(file) >= 0) {
      fwrite(bytes.data(), 1, bytes.size(), file);
      rewind(file);
    }
    return source_open_stream(&source, file, "clip", format, w, h, &error);
  }
  ~memory_source() {
    if (file) fclose(file);
  }
};

}  // namespace

TEST(Y4mHeader, ReadsTagsAndWritesThemBack) {
  const std::string line = "YUV4MPEG2 W720 H480 F30000:1001 It A10:11 C422p10 XYSCSS=422P10 XCOLORRANGE=LIMITED";
  video_format f;
  std::string error;
  ASSERT_TRUE(parse(line, &f, &error)) << error;
  EXPECT_EQ(f.width, 720);
  EXPECT_EQ(f.height, 480);
  EXPECT_EQ(f.fps_num, 30000);
  EXPECT_EQ(f.fps_den, 1001);
  EXPECT_EQ(f.interlace, 't');
  EXPECT_EQ(f.aspect_num, 10);
  EXPECT_EQ(f.chroma, 422);
  EXPECT_EQ(f.bits, 10);
  EXPECT_EQ(y4m_format_header(f), line + "\n");
  EXPECT_EQ(frame_payload_bytes(format_y4m, f), size_t(720 * 480 * 2 * 2));

  // Without a C tag: 8-bit 4:2:0, and no C tag written back.
  ASSERT_TRUE(parse("YUV4MPEG2 W5 H3", &f, &error)) << error;
  EXPECT_EQ(f.chroma, 420);
  EXPECT_EQ(f.bits, 8);
  EXPECT_EQ(f.interlace, 0);
  EXPECT_EQ(frame_payload_bytes(format_y4m, f), size_t(15 + 2 * 3 * 2));
  EXPECT_EQ(y4m_format_header(f), "YUV4MPEG2 W5 H3 F25:1\n");
}

TEST(Y4mHeader, RefusesBadHeadersWithAReason) {
  const struct {
    const char* line;
    const char* reason;
  } cases[] = {
      {"YUV4MPEG W8 H8", "not a YUV4MPEG2 stream"},
      {"YUV4MPEG2X W8 H8", "not a YUV4MPEG2 stream"},
      {"", "not a YUV4MPEG2 stream"},
      {"YUV4MPEG2 H8", "no width"},
      {"YUV4MPEG2 W8", "no height"},
      {"YUV4MPEG2 W0 H8", "zero-sized frame"},
      {"YUV4MPEG2 W8 H0", "zero-sized frame"},
      {"YUV4MPEG2 W8a H8", "bad width"},
      {"YUV4MPEG2 W-8 H8", "bad width"},
      {"YUV4MPEG2 W8 H99999999999", "bad height"},
      {"YUV4MPEG2 W8 H8 F0:1", "bad frame rate"},
      {"YUV4MPEG2 W8 H8 F25", "bad frame rate"},
      {"YUV4MPEG2 W8 H8 A1", "bad aspect"},
      {"YUV4MPEG2 W8 H8 Ix", "bad interlacing"},
      {"YUV4MPEG2 W8 H8 Cmono", "unsupported colourspace mono"},
      {"YUV4MPEG2 W8 H8 C444alpha", "unsupported colourspace"},
      {"YUV4MPEG2 W8 H8 C420p8", "unsupported colourspace"},
      {"YUV4MPEG2 W8 H8 C420p17", "unsupported colourspace"},
      {"YUV4MPEG2 W8 H8 C411", "unsupported colourspace"},
  };
  for (const auto& c : cases) {
    video_format f;
    std::string error;
    EXPECT_FALSE(parse(c.line, &f, &error)) << c.line;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.line << " -> " << error;
  }
}

TEST(Y4mHeader, MessagesQuoteTheHeadersBytesSafely) {
  // Terminal escapes, a carriage return, binary and very long tags reach a
  // message only as printable ASCII, cut at 80 characters.
  const struct {
    std::string line;
    std::string shown;
  } cases[] = {
      {"YUV4MPEG2 W8 H8 C420jpeg\r", "colourspace 420jpeg\\x0d "},
      {"YUV4MPEG2 W8 H8 C\x1b[2J\x1b]0;owned\x07", "colourspace \\x1b[2J\\x1b]0;owned\\x07 "},
      {std::string("YUV4MPEG2 W8\xff\x00\\ H8", 18), "(W8\\xff\\x00\\x5c)"},
      {"YUV4MPEG2 W8 H8 F" + std::string(500, '7'), "(F" + std::string(76, '7') + "...)"},
      {"YUV4MPEG2 W8 H8 I" + std::string(100, '\x9b'),
       "(I" + [] { std::string s; for (int i = 0; i < 19; ++i) s += "\\x9b"; return s; }() + "...)"},
  };
  for (const auto& c : cases) {
    video_format f;
    std::string error;
    EXPECT_FALSE(parse(c.line, &f, &error));
    EXPECT_NE(error.find(c.shown), std::string::npos) << error;
    for (unsigned char ch : error) EXPECT_TRUE(ch >= 0x20 && ch < 0x7f) << error;
  }
  EXPECT_EQ(quoted_bytes("abc", 3, 3), "abc");
  EXPECT_EQ(quoted_bytes("abcd", 4, 3), "...");
  EXPECT_EQ(quoted_bytes("abcdef", 6, 5), "ab...");
  EXPECT_EQ(quoted_bytes("ab\x01", 3, 6), "ab\\x01");
  EXPECT_EQ(quoted_bytes("ab\x01", 3, 5), "ab...");
}

TEST(FrameSource, ReadsEveryFrameThenStopsCleanly) {
  memory_source m;
  ASSERT_TRUE(m.open(make_y4m(6, 4, 3, "420p12", 'p', 1), format_y4m)) << m.error;
  EXPECT_EQ(m.source.payload_bytes, size_t((24 + 2 * 6) * 2));
  for (int n = 0; n < 3; ++n) ASSERT_EQ(source_read(&m.source, &m.error), read_ok) << m.error;
  EXPECT_EQ(source_read(&m.source, &m.error), read_end);
  EXPECT_EQ(m.source.frames_read, 3);
  EXPECT_EQ(m.source.length, -1);  // a stream does not know its length

}

TEST(FrameSource, ReportsBadInputByFileAndFrame) {
  const std::string good = make_y4m(6, 4, 3, "420jpeg", 'p', 1);
  const size_t header = good.find('\n') + 1, frame = 6 + 36;
  const struct {
    std::string data;
    int good_frames;
    const char* reason;
  } cases[] = {
      {good.substr(0, good.size() - 5), 2, "clip: frame 2 is truncated (31 of 36 bytes)"},
      {good.substr(0, header + 2 * frame + 3), 2, "frame 2: truncated frame header"},
      {good.substr(0, header + frame) + "FRAMX\n" + good.substr(header + frame + 6), 1,
       "frame 1: malformed frame header"},
      {good.substr(0, header) + "FRAME " + std::string(2000, 'x') + "\n", 0,
       "frame header too long"},
  };
  // The same messages from a stream and from a file, whether the samples are
  // read or only stepped over.
  for (const auto& c : cases)
    for (int way = 0; way < 3; ++way) {
      memory_source m;
      ASSERT_TRUE(m.open(c.data, format_y4m, 0, 0, way > 0)) << m.error;
      ASSERT_EQ(m.source.seekable, way > 0);
      int64_t at = 0;
      auto next = [&] {
        return way == 2 ? source_skip(&m.source, &at, &m.error) : source_read(&m.source, &m.error);
      };
      for (int n = 0; n < c.good_frames; ++n) ASSERT_EQ(next(), read_ok);
      EXPECT_EQ(next(), read_failed) << c.reason;
      EXPECT_NE(m.error.find(c.reason), std::string::npos) << m.error << ", way " << way;
    }

  // The reader stops at hostile header lengths.
  for (const std::string& data : {"YUV4MPEG2 " + std::string(9000, 'X'), std::string("YUV4MPEG2 W8 H8")}) {
    memory_source m;
    EXPECT_FALSE(m.open(data, format_y4m));
    EXPECT_NE(m.error.find("clip: "), std::string::npos) << m.error;
  }
}

TEST(FrameSource, RawFramesInAFileEndCleanlyOnlyAtAFrameBoundary) {
  const std::string raw = make_yc48(3, 2, 2, 1);
  for (size_t cut : {size_t(0), size_t(5)}) {
    memory_source m;
    ASSERT_TRUE(m.open(raw.substr(0, raw.size() - cut), format_yc48, 3, 2, true)) << m.error;
    int64_t at = 0;
    EXPECT_EQ(source_skip(&m.source, &at, &m.error), read_ok);
    EXPECT_EQ(source_skip(&m.source, &at, &m.error), cut ? read_failed : read_ok);
    EXPECT_EQ(at, 36);
    if (cut) EXPECT_NE(m.error.find("frame 1 is truncated (31 of 36 bytes)"), std::string::npos);
    else EXPECT_EQ(source_skip(&m.source, &at, &m.error), read_end);
  }
}

namespace {

// What a sink writes for frames, as one string.
std::string sink_output(stream_format format, stream_format layout, const video_format& f,
                        const chroma_rows& map, const std::vector<std::vector<PIXEL_YC>>& frames,
                        int pitch) {
  char* text = nullptr;
  size_t length = 0;
  FILE* out = open_memstream(&text, &length);
  frame_sink s;
  std::string error;
  EXPECT_TRUE(sink_open_stream(&s, out, "out", format, layout, f, true, &error)) << error;
  for (const auto& frame : frames) EXPECT_TRUE(sink_write(&s, frame.data(), pitch, map, &error));
  EXPECT_TRUE(sink_close(&s, &error)) << error;
  fclose(out);
  std::string data(text, length);
  free(text);
  return data;
}

}  // namespace

TEST(FrameSink, WritesY4mAndRawAndDigests) {
  video_format f;
  f.width = 2;
  f.height = 2;
  f.interlace = 'p';
  f.chroma = 444;
  snprintf(f.colorspace, sizeof f.colorspace, "444");
  chroma_rows map;
  make_chroma_rows(f, false, &map);
  // Luma 16 + n and chroma 128 + n as 8-bit samples.
  std::vector<std::vector<PIXEL_YC>> frames;
  for (int n = 0; n < 2; ++n) {
    const short c = short(yc48_chroma_from_sample(128 + n, 8));
    frames.emplace_back(16 * 2, PIXEL_YC{short(yc48_luma_from_sample(16 + n, 8)), c, c});
  }
  const std::string one = std::string(4, '\x10') + std::string(8, '\x80');
  const std::string two = std::string(4, '\x11') + std::string(8, '\x81');
  EXPECT_EQ(sink_output(format_y4m, format_y4m, f, map, frames, 16),
            "YUV4MPEG2 W2 H2 F25:1 Ip C444\nFRAME\n" + one + "FRAME\n" + two);
  // The md5 output digests the frame bytes only.
  EXPECT_EQ(sink_output(format_md5, format_y4m, f, map, frames, 16),
            md5_hex(one + two, 24) + "\n");
  EXPECT_EQ(sink_output(format_null, format_y4m, f, map, frames, 16), "");
}

TEST(FrameSink, WritesWhatWholeFramesConvertToWithAnyWorkers) {
  // Heights split unevenly among the workers, odd sizes, field-aware chroma.
  const struct {
    const char* colorspace;
    stream_format layout;
    int w, h;
    bool field_aware;
  } cases[] = {
      {"420jpeg", format_y4m, 33, 75, true}, {"420p10", format_y4m, 7, 70, false},
      {"422p12", format_y4m, 12, 41, true},  {"444", format_y4m, 5, 65, false},
      {"444p16", format_yc48, 9, 99, false}, {"420jpeg", format_y4m, 9, 6, true},
      {"420jpeg", format_y4m, 4, 7, true},
  };
  for (const auto& c : cases) {
    video_format f;
    f.width = c.w;
    f.height = c.h;
    snprintf(f.colorspace, sizeof f.colorspace, "%s", c.colorspace);
    parse_colorspace(c.colorspace, &f.chroma, &f.bits);
    chroma_rows map;
    make_chroma_rows(f, c.field_aware, &map);
    const int pitch = (c.w + 15) & ~15;
    std::vector<std::vector<PIXEL_YC>> frames(2, std::vector<PIXEL_YC>(size_t(pitch) * c.h));
    uint32_t state = 7;
    for (auto& frame : frames)
      for (PIXEL_YC& p : frame) {
        state = state * 1103515245 + 12345;
        p = {short(int(state >> 16) % 4600 - 200), short(int(state >> 8) % 4400 - 2200),
             short(int(state) % 4400 - 2200)};
      }
    std::string whole, samples;
    for (const auto& frame : frames) {
      std::vector<uint8_t> payload(frame_payload_bytes(c.layout, f));
      frame_to_payload(frame.data(), pitch, c.layout, f, map, payload.data());
      if (c.layout == format_y4m) whole += "FRAME\n";
      whole.append(payload.begin(), payload.end());
      samples.append(payload.begin(), payload.end());
    }
    const std::string header = c.layout == format_y4m ? y4m_format_header(f) : "";
    for (int workers : {1, 3, 7}) {
      ASSERT_TRUE(start_workers(workers));
      const std::string written = sink_output(c.layout, c.layout, f, map, frames, pitch);
      EXPECT_TRUE(same_bytes(written, header + whole))
          << c.colorspace << " " << c.w << "x" << c.h << ", " << workers << " workers";
      EXPECT_EQ(sink_output(format_md5, c.layout, f, map, frames, pitch),
                md5_hex(samples, 1000) + "\n")
          << c.colorspace;
    }
    stop_workers();
  }
}

TEST(Md5, KnownDigestsInAnyChunking) {
  EXPECT_EQ(md5_hex("", 1), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5_hex("abc", 1), "900150983cd24fb0d6963f7d28e17f72");
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(md5_hex(fox, 5), "9e107d9d372bb6826bd81d3542a419d6");
  std::string long_text;
  for (int i = 0; i < 1000; ++i) long_text += char(i * 7);
  const std::string whole = md5_hex(long_text, long_text.size());
  for (size_t chunk : {1, 55, 56, 63, 64, 65, 200})
    EXPECT_EQ(md5_hex(long_text, chunk), whole) << "chunks of " << chunk;
}

TEST(FrameSource, SurvivesTheFuzzCorpus) {
  // The fuzzer's kept inputs, replayed through the reader and the conversion
  // in an ordinary build.
  std::string root = getenv("NIVORA_SOURCE_DIR") ? getenv("NIVORA_SOURCE_DIR") : "";
  if (root.empty()) root = std::string(__FILE__).substr(0, std::string(__FILE__).rfind("/tests/"));
  const std::string folder = root + "/fuzz/corpus/";
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(dir, nullptr) << folder;
  int inputs = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    memory_source m;
    const std::string data = read_file(folder + entry->d_name);
    ++inputs;
    if (!m.open(data, format_y4m)) continue;
    const video_format& f = m.source.video;
    const int pitch = (f.width + 15) & ~15, rows = (f.height + 15) & ~15;
    std::vector<PIXEL_YC> frame(size_t(pitch) * rows);
    std::vector<uint8_t> back(m.source.payload_bytes);
    chroma_rows map;
    make_chroma_rows(f, true, &map);
    while (source_read(&m.source, &m.error) == read_ok) {
      payload_to_frame(m.source.payload.data(), format_y4m, f, map, frame.data(), pitch, rows);
      frame_to_payload(frame.data(), pitch, format_y4m, f, map, back.data());
    }
  }
  closedir(dir);
  EXPECT_GE(inputs, 4);
}
