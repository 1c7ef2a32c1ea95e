// The second plug-in's table: name, three track bars, two check boxes and the
// callbacks.
#include "host/texts.h"
#include "strong_host/strong_host.h"

namespace {
const char* track_names[strong_track_count] = {strong_label_noise, strong_label_radius,
                                               strong_label_spatial};
int track_defaults[strong_track_count] = {0, 0, 10};
int track_minimums[strong_track_count] = {0, 0, 0};
int track_maximums[strong_track_count] = {strong_noise_max, strong_radius_max,
                                          strong_spatial_max};

const char* check_names[strong_check_count] = {strong_label_chroma, label_field};
int check_defaults[strong_check_count] = {1, 0};

FILTER_DLL filter_table = {
    FILTER_FLAG_EX_INFORMATION,
    0,
    0,
    strong_filter_name,
    strong_track_count,
    track_names,
    track_defaults,
    track_minimums,
    track_maximums,
    strong_check_count,
    check_names,
    check_defaults,
    strong_func_proc,
    strong_func_init,
    strong_func_exit,
    strong_func_update,
    nullptr,  // no settings-window handler
    nullptr,  // track: the editor's
    nullptr,  // check: the editor's
    nullptr,
    0,
    strong_information,
    strong_func_save_start,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    {0, 0},
};
}  // namespace

FILTER_DLL* strong_filter_table() { return &filter_table; }
