// The progress line: one line that updates in place, with the time left when
// the frame count is known, cleared at the end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/progress.h"

namespace {

// What the progress calls print, through a memory stream.
class printed {
 public:
  printed() : file_(open_memstream(&text_, &size_)) {}
  ~printed() {
    fclose(file_);
    free(text_);
  }
  FILE* file() { return file_; }
  std::string text() {
    fflush(file_);
    return std::string(text_, size_);
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  FILE* file_;
};

}  // namespace

TEST(Progress, OneLineThatUpdatesWithTheTimeLeft) {
  printed out;
  progress_state p;
  progress_start(&p, true, 1000);
  const double t0 = p.start;
  progress_update_at(&p, 3, t0 + 0.1, out.file());
  EXPECT_EQ(out.text(), "") << "printed before a quarter of a second";
  progress_update_at(&p, 25, t0 + 1, out.file());
  EXPECT_EQ(out.text(), "\rnivora: frame 25/1000, 25.0 fps, 0:39 left   ");
  progress_update_at(&p, 26, t0 + 1.1, out.file());  // too soon again
  progress_update_at(&p, 500, t0 + 10, out.file());
  const std::string both = out.text();
  EXPECT_EQ(both.substr(both.find('\r', 1)), "\rnivora: frame 500/1000, 50.0 fps, 0:10 left   ");
  EXPECT_EQ(both.find('\n'), std::string::npos) << "the line must update in place";
  progress_end(&p, out.file());
  const std::string ended = out.text();
  EXPECT_EQ(ended.substr(ended.size() - 4), "\r\033[K") << "the line is cleared at the end";
}

TEST(Progress, HoursLeftAndAnUnknownLength) {
  printed out;
  progress_state p;
  progress_start(&p, true, 100000);
  progress_update_at(&p, 10, p.start + 1, out.file());
  EXPECT_EQ(out.text(), "\rnivora: frame 10/100000, 10.0 fps, 2:46:39 left   ");
  printed stalled;
  progress_state slow;
  progress_start(&slow, true, INT64_C(1) << 40);
  progress_update_at(&slow, 1, slow.start + 1000, stalled.file());
  EXPECT_EQ(stalled.text(), "\rnivora: frame 1/1099511627776, 0.0 fps, 99999:59:59 left   ");

  printed unknown;
  progress_state q;
  progress_start(&q, true, -1);
  progress_update_at(&q, 12, q.start + 2, unknown.file());
  EXPECT_EQ(unknown.text(), "\rnivora: frame 12, 6.0 fps   ");

  // More frames than estimated (a container's length is an estimate): no time left.
  printed over;
  progress_state r;
  progress_start(&r, true, 10);
  progress_update_at(&r, 12, r.start + 1, over.file());
  EXPECT_EQ(over.text(), "\rnivora: frame 12, 12.0 fps   ");
}

TEST(Progress, NothingWhenOffOrWhenNothingWasPrinted) {
  printed out;
  progress_state p;
  progress_start(&p, false, 100);
  progress_update_at(&p, 50, p.start + 5, out.file());
  progress_end(&p, out.file());
  EXPECT_EQ(out.text(), "");
  progress_state q;
  progress_start(&q, true, 100);
  progress_end(&q, out.file());
  EXPECT_EQ(out.text(), "") << "a run too short for a line clears nothing";
}
