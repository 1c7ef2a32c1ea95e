// The plug-in table as the editor reads it, and the texts it shows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/host_api.h"
#include "host/texts.h"
#include "platform/platform.h"

TEST(PluginTable, DeclaresTheSettingsWithTheirRangesAndDefaults) {
  const FILTER_DLL* t = GetFilterTable();
  ASSERT_EQ(t, GetFilterTable());  // one static table
  EXPECT_EQ(t->flag, 0x00080000);
  EXPECT_EQ(t->x, 0);
  EXPECT_EQ(t->y, 0);
  EXPECT_STREQ(t->name, "Nivora");

  ASSERT_EQ(t->track_n, 9);
  const char* names[9] = {"Frame", "W3DYL", "W3DYH", "W2DY", "W3DCL",
                          "W3DCH", "W2DC",  "MosqNR", "BlockNR"};
  const int defaults[9] = {2, 8, 8, 8, 8, 8, 8, 5, 5};
  const int lows[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
  const int highs[9] = {4, 30, 30, 30, 30, 30, 30, 20, 20};
  for (int i = 0; i < 9; ++i) {
    EXPECT_STREQ(t->track_name[i], names[i]) << i;
    EXPECT_EQ(t->track_default[i], defaults[i]) << i;
    EXPECT_EQ(t->track_s[i], lows[i]) << i;
    EXPECT_EQ(t->track_e[i], highs[i]) << i;
  }

  ASSERT_EQ(t->check_n, 4);
  const char* labels[4] = {"フィールド別処理", "アニメ", "モスキートNR", "ブロックNR"};
  const int check_defaults[4] = {1, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(platform_sjis_to_utf8(t->check_name[i]), labels[i]) << i;
    EXPECT_EQ(t->check_default[i], check_defaults[i]) << i;
  }
}

TEST(PluginTable, SuppliesExactlyTheFilterCallbacks) {
  const FILTER_DLL* t = GetFilterTable();
  EXPECT_EQ(t->func_proc, &func_proc);
  EXPECT_EQ(t->func_init, &func_init);
  EXPECT_EQ(t->func_exit, &func_exit);
  EXPECT_EQ(t->func_update, &func_update);
  EXPECT_EQ(t->func_WndProc, &func_WndProc);
  EXPECT_EQ(t->func_save_start, &func_save_start);
  EXPECT_EQ(t->func_save_end, nullptr);
  EXPECT_EQ(t->track, nullptr);
  EXPECT_EQ(t->check, nullptr);
  EXPECT_EQ(t->exfunc, nullptr);
  EXPECT_EQ(t->func_project_load, nullptr);
  EXPECT_EQ(t->func_project_save, nullptr);
  EXPECT_EQ(t->ex_data_size, 0);
  EXPECT_EQ(t->reserve[0], 0);
  EXPECT_EQ(t->reserve[1], 0);
}

TEST(PluginTexts, AreStoredInShiftJis) {
  // ブロックNR: katakana in two-byte Shift_JIS, then ASCII.
  const unsigned char block[] = {0x83, 0x75, 0x83, 0x8d, 0x83, 0x62, 0x83, 0x4e, 'N', 'R', 0};
  EXPECT_EQ(0, std::memcmp(label_block, block, sizeof block));
  // The height message starts with 「シ and carries the %d the driver fills in.
  const unsigned char start[] = {0x81, 0x75, 0x83, 0x56};
  EXPECT_EQ(0, std::memcmp(message_height_format, start, sizeof start));
  EXPECT_EQ(platform_sjis_to_utf8(message_height_format),
            "「システムの設定」の「最大画像サイズ」の「高さ」を %d "
            "以上に設定し、AviUtlを再起動してください");
  EXPECT_EQ(platform_sjis_to_utf8(message_width_format),
            "「システムの設定」の「最大画像サイズ」の「幅」を %d "
            "以上に設定し、AviUtlを再起動してください");
  EXPECT_EQ(platform_sjis_to_utf8(button_font_face), "ＭＳ Ｐゴシック");
  EXPECT_EQ(std::strlen(button_font_face), 15u);
}
