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

// What each run option stores, as "field=value" pairs of the parsed options.
std::string run_fields(const cli_options& o) {
  return "range=" + std::to_string(o.range_start) + ":" + std::to_string(o.range_end) +
         " cpu=" + std::to_string(o.cpu) + " size=" + std::to_string(o.raw_w) + "x" +
         std::to_string(o.raw_h) + " fps=" + std::to_string(o.fps_num) + ":" +
         std::to_string(o.fps_den) + " threads=" + std::to_string(o.threads) +
         " quiet=" + std::to_string(o.quiet) + " header=" + std::to_string(o.header) +
         " formats=" + std::to_string(o.input_format) + "," + std::to_string(o.output_format) +
         " colorspace=" + o.out_colorspace;
}

TEST(Options, RunOptionsStoreWhatTheySay) {
  const cli_options defaults;
  const struct {
    std::vector<std::string> args;
    std::string expected;  // run_fields of the options parsed
  } cases[] = {
      {{}, run_fields(defaults)},
      {{"--range", "10:20", "--cpu=ref", "--size", "720x480", "--fps", "30000:1001"},
       "range=10:20 cpu=0 size=720x480 fps=30000:1001 threads=0 quiet=0 header=0 formats=0,0 "
       "colorspace="},
      {{"--range=5:", "--fps=24", "--threads", "3", "-q"},
       "range=5:-1 cpu=-1 size=0x0 fps=24:1 threads=3 quiet=1 header=0 formats=0,0 colorspace="},
      {{"--header", "never", "--input-format=yc48", "--output-format", "md5",
        "--output-colorspace=422p10", "--quiet"},
       "range=0:-1 cpu=-1 size=0x0 fps=0:0 threads=0 quiet=1 header=2 formats=2,3 "
       "colorspace=422p10"},
      {{"--cpu", "avx2", "--fps", "30/1001", "--header=always", "--output-format=null"},
       "range=0:-1 cpu=3 size=0x0 fps=30:1001 threads=0 quiet=0 header=1 formats=0,4 "
       "colorspace="},
      // After "--" everything is a file name.
      {{"--threads=2", "--"}, "range=0:-1 cpu=-1 size=0x0 fps=0:0 threads=2 quiet=0 header=0 "
                              "formats=0,0 colorspace="},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    const bool after_dashes = !args.empty() && args.back() == "--";
    args.push_back(after_dashes ? "--in" : "in");
    args.push_back("out");
    cli_options o;
    std::string error;
    std::string written;
    for (const std::string& a : args) written += a + " ";
    ASSERT_EQ(parse(args, &o, &error), parse_ok) << written << ": " << error;
    EXPECT_EQ(run_fields(o), c.expected) << written;
    EXPECT_EQ(o.input, after_dashes ? "--in" : "in") << written;
  }
  cli_options o;
  std::string error;
  EXPECT_EQ(parse({"in", "--help"}, &o, &error), parse_help);
  EXPECT_EQ(parse({"-h", "--bogus"}, &o, &error), parse_help);
  EXPECT_EQ(parse({"--version"}, &o, &error), parse_version);
  EXPECT_EQ(parse({"--help=1"}, &o, &error), parse_failed);
  EXPECT_EQ(format_from_name("a/b.Y4M"), format_y4m);
  EXPECT_EQ(format_from_name("dir.y4m/clip"), format_none);
}

TEST(Options, EveryOptionInTheHelpIsAccepted) {
  // Each --name of the help text, given a value it accepts where it takes one.
  const std::string help = usage_text();
  std::vector<std::string> names;
  for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
    size_t end = at + 2;
    while (end < help.size() && (isalnum((unsigned char)help[end]) || help[end] == '-')) ++end;
    if (end > at + 2) names.push_back(help.substr(at, end - at));
  }
  ASSERT_GE(names.size(), 30u);
  const struct {
    const char* name;
    const char* value;
  } values[] = {{"--track", "2,8,8,8,8,8,8,5,5"}, {"--check", "1,0,0,0"}, {"--range", "1:2"},
                {"--cpu", "ref"}, {"--size", "16x16"}, {"--fps", "25"},
                {"--input-format", "y4m"}, {"--output-format", "y4m"},
                {"--output-colorspace", "420jpeg"}, {"--header", "auto"}, {"--sigma", "2"}};
  for (const std::string& name : names) {
    cli_options o;
    std::string error;
    std::vector<std::string> args{name};
    for (const auto& v : values)
      if (name == v.name) args.push_back(v.value);
    // A bare number where nothing else was given: every setting accepts 1.
    args.push_back("1");
    parse_status status = parse(args, &o, &error);
    if (status == parse_failed && error.find("expected INPUT and OUTPUT") != std::string::npos)
      status = parse_ok;  // the option was taken; only the files are missing
    if (status == parse_failed && error.find("too many arguments") != std::string::npos)
      status = parse_ok;
    EXPECT_NE(status, parse_failed) << name << ": " << error;
  }
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
      {{"--no-quiet", "a", "b"}, "unknown option --no-quiet"},
      {{"--quiet=1", "a", "b"}, "--quiet takes no value"},
      {{"--version=2", "a", "b"}, "unknown option --version"},
      {{"-x", "a", "b"}, "unknown option -x"},
      {{"--sigma", "2", "--frame", "2", "a", "b"}, "--sigma selects strong mode"},
      {{"a", "--frame"}, "--frame: missing value"},
      {{"a"}, "expected INPUT and OUTPUT"},
      {{"a", "b", "c"}, "too many arguments: c"},
  };
  for (const auto& c : cases) {
    cli_options o;
    std::string error;
    EXPECT_EQ(parse(c.args, &o, &error), parse_failed) << c.message;
    EXPECT_NE(error.find(c.message), std::string::npos)
        << "expected: " << c.message << "\ngot: " << error;
  }
}

TEST(Options, WithoutAFilterOptionTheRunIsStrongModeAtTheEstimatedLevel) {
  struct {
    std::vector<std::string> args;
    bool strong, sigma_auto;
  } const cases[] = {
      {{"in.mp4", "out.mp4"}, true, true},
      {{"in.y4m", "out.y4m"}, true, true},
      {{"-", "-"}, true, true},
      {{"--threads", "2", "--range", "0:5", "in.y4m", "out.md5"}, true, true},
      {{"--sigma", "3", "in.y4m", "out.y4m"}, true, false},
      {{"--sigma", "3", "--field", "in.y4m", "out.y4m"}, true, false},
      // The plug-in's filter: by name, or by any of its settings.
      {{"--plugin", "in.y4m", "out.y4m"}, false, false},
      {{"--frame", "2", "in.y4m", "out.y4m"}, false, false},
      {{"--w2dy", "0", "in.y4m", "out.y4m"}, false, false},
      {{"--field", "in.y4m", "out.y4m"}, false, false},
      {{"--no-field", "in.y4m", "out.y4m"}, false, false},
      {{"--anime", "in.y4m", "out.y4m"}, false, false},
      {{"--no-mosquito", "in.y4m", "out.y4m"}, false, false},
      {{"--block", "in.y4m", "out.y4m"}, false, false},
      {{"--track", "1,0,0,0,0,0,0,0,0", "in.y4m", "out.y4m"}, false, false},
      {{"--check", "0,0,0,0", "in.y4m", "out.y4m"}, false, false},
      // Raw YC48, which strong mode does not take, is the plug-in's.
      {{"--size", "8x8", "in.raw", "out.y4m"}, false, false},
      {{"in.yc48", "out.y4m"}, false, false},
      {{"in.y4m", "out.yc48"}, false, false},
      {{"--output-format", "yc48", "in.y4m", "-"}, false, false},
  };
  for (const auto& c : cases) {
    cli_options o;
    std::string error;
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    ASSERT_EQ(parse(c.args, &o, &error), parse_ok) << line << error;
    EXPECT_EQ(o.strong, c.strong) << line;
    EXPECT_EQ(o.sigma_auto, c.sigma_auto) << line;
  }
  cli_options o;
  std::string error;
  EXPECT_EQ(parse({"--plugin", "--sigma", "auto", "in.y4m", "out.y4m"}, &o, &error), parse_failed);
  EXPECT_NE(error.find("--plugin"), std::string::npos) << error;
  EXPECT_EQ(parse({"--crf", "64", "in.mp4", "out.mp4"}, &o, &error), parse_failed);
  ASSERT_EQ(parse({"--codec", "ffv1", "--crf", "20", "--encoder-options", "level=3", "a.mp4",
                   "b.mkv"},
                  &o, &error),
            parse_ok);
  EXPECT_EQ(o.encoding.codec, "ffv1");
  EXPECT_EQ(o.encoding.crf, 20);
  EXPECT_EQ(o.encoding.encoder_options, "level=3");
}
