// The filter table handed to the editor: name, nine track bars, four check
// boxes and the callbacks.
#include "host/host_api.h"
#include "host/texts.h"

namespace {
const char* track_names[9] = {"Frame", "W3DYL", "W3DYH", "W2DY", "W3DCL",
                              "W3DCH", "W2DC",  "MosqNR", "BlockNR"};
int track_defaults[9] = {2, 8, 8, 8, 8, 8, 8, 5, 5};
int track_minimums[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
int track_maximums[9] = {4, 30, 30, 30, 30, 30, 30, 20, 20};

const char* check_names[4] = {label_field, label_anime, label_mosquito, label_block};
int check_defaults[4] = {1, 0, 0, 0};

FILTER_DLL filter_table = {
    FILTER_FLAG_INFORMATION,
    0,
    0,
    filter_name,
    9,
    track_names,
    track_defaults,
    track_minimums,
    track_maximums,
    4,
    check_names,
    check_defaults,
    func_proc,
    func_init,
    func_exit,
    func_update,
    func_WndProc,
    nullptr,  // track: the editor's
    nullptr,  // check: the editor's
    nullptr,
    0,
    nullptr,
    func_save_start,
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

extern "C" FILTER_DLL* NIVORA_STDCALL GetFilterTable(void) { return &filter_table; }
