// The second plug-in's conversions between YC48 and the strong filter's
// float samples: every 16-bit value comes back as itself, and the editor's
// 8-bit ends arrive as the ends the noise estimate takes for clipped.
#include <gtest/gtest.h>

#include "strong_window/strong_window.h"

TEST(StrongConvert, EveryValueComesBackAsItself) {
  int luma_wrong = 0, chroma_wrong = 0;
  for (int v = -32768; v <= 32767; ++v) {
    const short y = short(v);
    luma_wrong += strong_yc48_from_luma(strong_luma_from_yc48(y)) != y;
    chroma_wrong += strong_yc48_from_chroma(strong_chroma_from_yc48(y)) != y;
  }
  EXPECT_EQ(luma_wrong, 0);
  EXPECT_EQ(chroma_wrong, 0);
}

TEST(StrongConvert, TheEditorsEightBitEndsAreTheEnds) {
  // The editor's YC48 of 8-bit v: luma (v * 1197 >> 6) - 299, chroma
  // ((v - 128) * 4681 + 164) >> 8.
  EXPECT_EQ(strong_luma_from_yc48(-299), 0.0f);
  EXPECT_EQ(strong_luma_from_yc48(4470), 255.0f);
  EXPECT_EQ(strong_chroma_from_yc48(2322), 255.0f);
  // Their neighbours inside stay inside, those beyond stay beyond.
  EXPECT_GT(strong_luma_from_yc48(-298), 0.0f);
  EXPECT_LT(strong_luma_from_yc48(4469), 255.0f);
  EXPECT_LT(strong_luma_from_yc48(-300), 0.0f);
  EXPECT_GT(strong_luma_from_yc48(4471), 255.0f);
  EXPECT_LT(strong_chroma_from_yc48(2321), 255.0f);
  EXPECT_GT(strong_chroma_from_yc48(2323), 255.0f);
  // Every other 8-bit value lands within 0.05 of its code value.
  for (int v = 1; v < 255; ++v) {
    EXPECT_NEAR(strong_luma_from_yc48(short(((v * 1197) >> 6) - 299)), v, 0.05f) << v;
    EXPECT_NEAR(strong_chroma_from_yc48(short(((v - 128) * 4681 + 164) >> 8)), v, 0.05f) << v;
  }
}

TEST(StrongConvert, OutOfRangeAndNoValueSaturate) {
  EXPECT_EQ(strong_yc48_from_luma(1e9f), 32767);
  EXPECT_EQ(strong_yc48_from_luma(-1e9f), -32768);
  EXPECT_EQ(strong_yc48_from_chroma(__builtin_nanf("")), -32768);
  EXPECT_EQ(strong_yc48_from_luma(__builtin_inff()), 32767);
}
