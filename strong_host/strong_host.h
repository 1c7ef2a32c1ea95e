// The second plug-in, nivora_strong.auf: strong mode in the editor. This folder
// holds its filter table and callbacks; they run whatever the processor (on
// i686 they are compiled without SSE) and reach strong_window/, which holds the
// float work, only once the processor check has passed.
//
// What the folder offers:
//   the table (GetFilterTable in the plug-in, strong_filter_table natively),
//   its callbacks (strong_func_*), the track-bar and check-box indices and the
//   texts of the table and of the messages.
#pragma once

#include "host/host_api.h"

// Track bars and check boxes of the table, in order.
enum {
  strong_track_noise = 0,  // noise level in tenths of 8-bit code values, 0: estimate
  strong_track_radius,     // temporal radius, 0: from the noise level
  strong_track_spatial,    // spatial stage strength in tenths (10: as the command line)
  strong_track_count
};
enum { strong_check_chroma = 0, strong_check_field, strong_check_count };

// The table's ranges, which func_proc also clamps to.
constexpr int strong_noise_max = 300;
constexpr int strong_radius_max = 4;
constexpr int strong_spatial_max = 30;

// Largest frame the plug-in takes (either side), whatever the editor allows.
constexpr int strong_max_side = 8192;

FILTER_DLL* strong_filter_table();
BOOL strong_func_proc(FILTER* fp, FILTER_PROC_INFO* fpip);
BOOL strong_func_init(FILTER* fp);
BOOL strong_func_exit(FILTER* fp);
BOOL strong_func_update(FILTER* fp, int status);
BOOL strong_func_save_start(FILTER* fp, int s, int e, void* editp);

// Texts, in the Japanese code page where they are not ASCII.
extern const char strong_filter_name[];     // "Nivora Strong"
extern const char strong_information[];     // name and version line
extern const char strong_label_noise[];
extern const char strong_label_radius[];
extern const char strong_label_spatial[];
extern const char strong_label_chroma[];
extern const char strong_message_memory[];  // not enough memory for the frame size
extern const char strong_message_size[];    // frame too large, with %d x %d
extern const char strong_message_cpu[];     // the processor lacks SSE2/SSE3
