// Command-line options: settings against the plug-in table, and the rest.
#include <gtest/gtest.h>

#include "cli/cli.h"
#include "host/cpu.h"

namespace {

parse_status parse(std::vector<std::string> args, cli_options* o, std::string* error) {
  std::vector<const char*> argv{"nivora"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return parse_options(int(argv.size()), argv.data(), GetFilterTable(), o, error);
}

}  // namespace

TEST(Options, SettingsStartAtThePluginsDefaultsAndFollowTheOptions) {
  cli_options o;
  std::string error;
  ASSERT_EQ(parse({"in.y4m", "out.y4m"}, &o, &error), parse_ok) << error;
  const FILTER_DLL* table = GetFilterTable();
  EXPECT_EQ(std::vector<int>(o.track, o.track + 9),
            std::vector<int>(table->track_default, table->track_default + 9));
  EXPECT_EQ(std::vector<int>(o.check, o.check + 4),
            std::vector<int>(table->check_default, table->check_default + 4));
  EXPECT_FALSE(o.field_given);

  ASSERT_EQ(parse({"--frame", "3", "--w3dyl=1", "--w3dyh", "2", "--w2dy", "4", "--w3dcl", "5",
                   "--w3dch", "6", "--w2dc=7", "--mosq-nr", "20", "--block-nr", "0", "--no-field",
                   "--anime", "--mosquito", "--block", "-", "-"},
                  &o, &error),
            parse_ok)
      << error;
  EXPECT_EQ(std::vector<int>(o.track, o.track + 9), (std::vector<int>{3, 1, 2, 4, 5, 6, 7, 20, 0}));
  EXPECT_EQ(std::vector<int>(o.check, o.check + 4), (std::vector<int>{0, 1, 1, 1}));
  EXPECT_TRUE(o.field_given);

  ASSERT_EQ(parse({"--track", "4,0,30,1,2,3,4,5,6", "--check=0,1,0,1", "--w2dy", "9", "a", "b"},
                  &o, &error),
            parse_ok)
      << error;
  EXPECT_EQ(std::vector<int>(o.track, o.track + 9), (std::vector<int>{4, 0, 30, 9, 2, 3, 4, 5, 6}));
  EXPECT_EQ(std::vector<int>(o.check, o.check + 4), (std::vector<int>{0, 1, 0, 1}));
  EXPECT_TRUE(o.field_given);
}

TEST(Options, RunOptions) {
  cli_options o;
  std::string error;
  ASSERT_EQ(parse({"--range", "10:20", "--cpu=ref", "--size", "720x480", "--fps", "30000:1001",
                   "in", "out"},
                  &o, &error),
            parse_ok)
      << error;
  EXPECT_EQ(o.range_start, 10);
  EXPECT_EQ(o.range_end, 20);
  EXPECT_EQ(o.cpu, simd_ref);
  EXPECT_EQ(o.raw_w * 10000 + o.raw_h, 7200480);
  EXPECT_EQ(o.fps_den, 1001);
  ASSERT_EQ(parse({"--range=5:", "in", "out"}, &o, &error), parse_ok) << error;
  EXPECT_EQ(o.range_start, 5);
  EXPECT_EQ(o.range_end, -1);
  EXPECT_EQ(parse({"in", "--help"}, &o, &error), parse_help);
  EXPECT_EQ(parse({"--version"}, &o, &error), parse_version);
  EXPECT_EQ(format_from_name("a/b.Y4M"), format_y4m);
  EXPECT_EQ(format_from_name("dir.y4m/clip"), format_none);
}

TEST(Options, RefusalsNameTheOptionAndItsRange) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--frame", "5", "a", "b"}, "--frame: 5 is out of range (1 to 4)"},
      {{"--frame=0", "a", "b"}, "--frame: 0 is out of range (1 to 4)"},
      {{"--w3dyl", "31", "a", "b"}, "--w3dyl: 31 is out of range (0 to 30)"},
      {{"--w2dc", "-1", "a", "b"}, "--w2dc: -1 is out of range (0 to 30)"},
      {{"--mosq-nr", "21", "a", "b"}, "--mosq-nr: 21 is out of range (0 to 20)"},
      {{"--block-nr", "x", "a", "b"}, "--block-nr: 'x' is not a whole number"},
      {{"--w2dy", "3.5", "a", "b"}, "--w2dy: '3.5' is not a whole number"},
      {{"--track", "2,8,8,8,8,8,8,5", "a", "b"}, "--track: expected 9"},
      {{"--track", "2,8,8,8,8,8,8,5,25", "a", "b"}, "--track (BlockNR): 25 is out of range (0 to 20)"},
      {{"--check", "1,0,2,0", "a", "b"}, "--check (mosquito): 2 is out of range (0 to 1)"},
      {{"--check", "1,0", "a", "b"}, "--check: expected 4"},
      {{"--threads", "0", "a", "b"}, "--threads: 0 is out of range (1 to 256)"},
      {{"--range", "5:5", "a", "b"}, "--range (end): 5 is out of range"},
      {{"--range", "5", "a", "b"}, "--range: expected START:END"},
      {{"--range", "-1:4", "a", "b"}, "--range (start): -1 is out of range"},
      {{"--cpu", "mmx", "a", "b"}, "--cpu: unknown level 'mmx'"},
      {{"--size", "0x10", "a", "b"}, "--size (width): 0 is out of range (1 to 1920)"},
      {{"--size", "720", "a", "b"}, "--size: expected WxH"},
      {{"--output-format", "avi", "a", "b"}, "--output-format: unknown format 'avi'"},
      {{"--input-format", "md5", "a", "b"}, "--input-format: unknown format 'md5'"},
      {{"--output-colorspace", "mono", "a", "b"}, "unsupported colourspace 'mono'"},
      {{"--anime=1", "a", "b"}, "--anime takes no value"},
      {{"--bogus", "a", "b"}, "unknown option --bogus"},
      {{"a", "--frame"}, "--frame: missing value"},
      {{"a"}, "expected INPUT and OUTPUT"},
      {{"a", "b", "c"}, "too many arguments: c"},
  };
  for (const auto& c : cases) {
    cli_options o;
    std::string error;
    EXPECT_EQ(parse(c.args, &o, &error), parse_failed) << c.message;
    EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error;
  }
}
