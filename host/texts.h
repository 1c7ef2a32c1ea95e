// The filter's user-visible texts, stored in the Japanese code page (Shift_JIS)
// as the editor's ANSI calls expect them.
#pragma once

extern const char filter_name[];              // "Nivora"
extern const char label_field[];              // フィールド別処理
extern const char label_anime[];              // アニメ
extern const char label_mosquito[];           // モスキートNR
extern const char label_block[];              // ブロックNR
extern const char message_height_format[];    // maximum image size: height, with %d
extern const char message_width_format[];     // maximum image size: width, with %d
extern const char button_text[];              // "Cache Reset"
extern const char button_font_face[];         // ＭＳ Ｐゴシック
