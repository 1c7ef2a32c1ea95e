// A container run in which keeping a packet of another stream (audio) fails:
// linked with av_packet_alloc wrapped, so that every allocation from the
// chosen one on returns nothing. Whichever allocation fails, the run either
// fails with a message and leaves no output, or writes every audio packet:
// nothing is dropped in silence.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

#include "tests/cli/cli_test_util.h"

namespace {
// Counted on every thread (the decoding thread allocates too).
std::atomic<int> calls{0};
std::atomic<int> fail_from{-1};  // < 0: never
}  // namespace

extern "C" AVPacket* __real_av_packet_alloc();
extern "C" AVPacket* __wrap_av_packet_alloc() {
  const int call = ++calls;
  const int from = fail_from;
  if (from >= 0 && call > from) return nullptr;
  return __real_av_packet_alloc();
}

namespace {

// Packets of the audio stream in a file; -1 when it cannot be read.
int audio_packets(const std::string& path) {
  AVFormatContext* f = nullptr;
  if (avformat_open_input(&f, path.c_str(), nullptr, nullptr) < 0) return -1;
  int count = -1;
  if (avformat_find_stream_info(f, nullptr) >= 0) {
    const int audio = av_find_best_stream(f, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVPacket* p = __real_av_packet_alloc();
    if (audio >= 0 && p) {
      count = 0;
      while (av_read_frame(f, p) >= 0) {
        if (p->stream_index == audio) ++count;
        av_packet_unref(p);
      }
    }
    av_packet_free(&p);
  }
  avformat_close_input(&f);
  return count;
}

bool make_clip(const std::string& path) {
  const std::string command =
      "ffmpeg -v error -y -f lavfi -i testsrc2=s=64x48:r=25:d=0.4 -f lavfi -i sine=d=0.4 "
      "-c:v ffv1 -c:a pcm_s16le '" + path + "' </dev/null";
  return std::system(command.c_str()) == 0;
}

TEST(ContainerPacketAlloc, AudioIsKeptOrTheRunFails) {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
  const std::string in = temp_path("with_audio.mkv");
  ASSERT_TRUE(make_clip(in));
  const int audio_in = audio_packets(in);
  ASSERT_GT(audio_in, 2);

  const std::string out = temp_path("out.mkv");
  calls = 0;
  fail_from = -1;
  cli_result whole = run_nivora({"--sigma", "3", "--threads", "1", in, out});
  ASSERT_EQ(whole.status, 0) << whole.messages;
  ASSERT_EQ(audio_packets(out), audio_in);
  const int total = calls;
  ASSERT_GT(total, audio_in);
  unlink(out.c_str());

  int failed = 0;
  for (int k = 0; k < total; ++k) {
    calls = 0;
    fail_from = k;
    cli_result r = run_nivora({"--sigma", "3", "--threads", "1", in, out});
    fail_from = -1;
    if (r.status != 0) {
      ++failed;
      EXPECT_NE(r.messages.find("nivora"), std::string::npos) << "allocation " << k;
      EXPECT_FALSE(file_exists(out)) << "allocation " << k << ": " << r.messages;
    } else {
      EXPECT_EQ(audio_packets(out), audio_in) << "allocation " << k << " failed in silence";
    }
    unlink(out.c_str());
  }
  EXPECT_GT(failed, audio_in / 2);
}

}  // namespace
