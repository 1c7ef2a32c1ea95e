// The editor's plug-in interface as the filter uses it: the pixel format, the
// per-frame record, the filter record (which is also the exported table), the
// service table the editor fills in, and the constants of the interface.
//
// On 32-bit Windows every record is laid out byte for byte as the editor has it
// (checked by the static assertions at the end). On Linux the same records are
// used with native pointer sizes by our own hosts.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
typedef int BOOL;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef uint32_t DWORD;
typedef uint8_t BYTE;
typedef char* LPSTR;
typedef struct nivora_hwnd_tag* HWND;
typedef struct nivora_hinstance_tag* HINSTANCE;
typedef struct nivora_hfont_tag* HFONT;
#endif

// The export is stdcall on 32-bit Windows; callbacks and services are cdecl.
#if defined(_WIN32) && defined(__i386__)
#define NIVORA_STDCALL __stdcall
#else
#define NIVORA_STDCALL
#endif

struct PIXEL_YC {
  short y;
  short cb;
  short cr;
};

struct PIXEL {
  unsigned char b;
  unsigned char g;
  unsigned char r;
};

struct FILTER_PROC_INFO {
  int flag;
  PIXEL_YC* ycp_edit;
  PIXEL_YC* ycp_temp;
  int w;
  int h;
  int max_w;
  int max_h;
  int frame;
  int frame_n;
  int org_w;
  int org_h;
  short* audiop;
  int audio_n;
  int audio_ch;
  PIXEL* pixelp;
  void* editp;
  int yc_size;
  int line_size;
  int reserve[8];
};

struct FRAME_STATUS {
  int video;
  int audio;
  int inter;
  int index24fps;
  int config;
  int vcm;
  int edit_flag;
  int reserve[9];
};

struct FILE_INFO {
  int flag;
  LPSTR name;
  int w;
  int h;
  int video_rate;
  int video_scale;
  int audio_rate;
  int audio_ch;
  int frame_n;
  DWORD video_decode_format;
  int video_decode_bit;
  int audio_n;
  int reserve[4];
};

struct SYS_INFO {
  int flag;
  LPSTR info;
  int filter_n;
  int min_w;
  int min_h;
  int max_w;
  int max_h;
  int max_frame;
  LPSTR edit_name;
  LPSTR project_name;
  LPSTR output_name;
  int vram_w;
  int vram_h;
  int vram_yc_size;
  int vram_line_size;
  HFONT hfont;
  int build;
  int reserve[2];
};

typedef void* AVI_FILE_HANDLE;
typedef void (*MULTI_THREAD_FUNC)(int thread_id, int thread_num, void* param1, void* param2);

// The editor's service table: 73 entries, then reserved words.
struct EXFUNC {
  void (*get_ycp_ofs)(void* editp, int n, int ofs);
  void* (*get_ycp)(void* editp, int n);
  void* (*get_pixelp)(void* editp, int n);
  int (*get_audio)(void* editp, int n, void* buf);
  BOOL (*is_editing)(void* editp);
  BOOL (*is_saving)(void* editp);
  int (*get_frame)(void* editp);
  int (*get_frame_n)(void* editp);
  BOOL (*get_frame_size)(void* editp, int* w, int* h);
  int (*set_frame)(void* editp, int n);
  int (*set_frame_n)(void* editp, int n);
  BOOL (*copy_frame)(void* editp, int d, int s);
  BOOL (*copy_video)(void* editp, int d, int s);
  BOOL (*copy_audio)(void* editp, int d, int s);
  BOOL (*copy_clip)(HWND hwnd, void* pixelp, int w, int h);
  BOOL (*paste_clip)(HWND hwnd, void* editp, int n);
  BOOL (*get_frame_status)(void* editp, int n, FRAME_STATUS* fsp);
  BOOL (*set_frame_status)(void* editp, int n, FRAME_STATUS* fsp);
  BOOL (*is_saveframe)(void* editp, int n);
  BOOL (*is_keyframe)(void* editp, int n);
  BOOL (*is_recompress)(void* editp, int n);
  BOOL (*filter_window_update)(void* fp);
  BOOL (*is_filter_window_disp)(void* fp);
  BOOL (*get_file_info)(void* editp, FILE_INFO* fip);
  LPSTR (*get_config_name)(void* editp, int n);
  BOOL (*is_filter_active)(void* fp);
  BOOL (*get_pixel_filtered)(void* editp, int n, void* pixelp, int* w, int* h);
  int (*get_audio_filtered)(void* editp, int n, void* buf);
  BOOL (*get_select_frame)(void* editp, int* s, int* e);
  BOOL (*set_select_frame)(void* editp, int s, int e);
  BOOL (*rgb2yc)(PIXEL_YC* ycp, PIXEL* pixelp, int w);
  BOOL (*yc2rgb)(PIXEL* pixelp, PIXEL_YC* ycp, int w);
  BOOL (*dlg_get_load_name)(LPSTR name, LPSTR filter, LPSTR def);
  BOOL (*dlg_get_save_name)(LPSTR name, LPSTR filter, LPSTR def);
  int (*ini_load_int)(void* fp, LPSTR key, int n);
  int (*ini_save_int)(void* fp, LPSTR key, int n);
  BOOL (*ini_load_str)(void* fp, LPSTR key, LPSTR str, LPSTR def);
  BOOL (*ini_save_str)(void* fp, LPSTR key, LPSTR str);
  BOOL (*get_source_file_info)(void* editp, FILE_INFO* fip, int source_file_id);
  BOOL (*get_source_video_number)(void* editp, int n, int* source_file_id,
                                  int* source_video_number);
  BOOL (*get_sys_info)(void* editp, SYS_INFO* sip);
  void* (*get_filterp)(int filter_id);
  void* (*get_ycp_filtering)(void* fp, void* editp, int n, void* reserve);
  int (*get_audio_filtering)(void* fp, void* editp, int n, void* buf);
  BOOL (*set_ycp_filtering_cache_size)(void* fp, int w, int h, int d, int flag);
  void* (*get_ycp_filtering_cache)(void* fp, void* editp, int n);
  void* (*get_ycp_source_cache)(void* editp, int n, int ofs);
  void* (*get_disp_pixelp)(void* editp, DWORD format);
  BOOL (*get_pixel_source)(void* editp, int n, void* pixelp, DWORD format);
  BOOL (*get_pixel_filtered_ex)(void* editp, int n, void* pixelp, int* w, int* h, DWORD format);
  PIXEL_YC* (*get_ycp_filtering_cache_ex)(void* fp, void* editp, int n, int* w, int* h);
  BOOL (*exec_multi_thread_func)(MULTI_THREAD_FUNC func, void* param1, void* param2);
  PIXEL_YC* (*create_yc)(void);
  void (*delete_yc)(PIXEL_YC* ycp);
  BOOL (*load_image)(PIXEL_YC* ycp, LPSTR file, int* w, int* h, int flag);
  void (*resize_yc)(PIXEL_YC* ycp, int w, int h, PIXEL_YC* ycp_src, int sx, int sy, int sw, int sh);
  void (*copy_yc)(PIXEL_YC* ycp, int x, int y, PIXEL_YC* ycp_src, int sx, int sy, int sw, int sh,
                  int tr);
  void (*draw_text)(PIXEL_YC* ycp, int x, int y, LPSTR text, int r, int g, int b, int tr,
                    HFONT hfont, int* w, int* h);
  AVI_FILE_HANDLE (*avi_file_open)(LPSTR file, FILE_INFO* fip, int flag);
  void (*avi_file_close)(AVI_FILE_HANDLE afh);
  BOOL (*avi_file_read_video)(AVI_FILE_HANDLE afh, PIXEL_YC* ycp, int n);
  int (*avi_file_read_audio)(AVI_FILE_HANDLE afh, void* buf, int n);
  void* (*avi_file_get_video_pixelp)(AVI_FILE_HANDLE afh, int n);
  LPSTR (*get_avi_file_filter)(int type);
  int (*avi_file_read_audio_sample)(AVI_FILE_HANDLE afh, int start, int length, void* buf);
  int (*avi_file_set_audio_sample_rate)(AVI_FILE_HANDLE afh, int audio_rate, int audio_ch);
  BYTE* (*get_frame_status_table)(void* editp, int type);
  BOOL (*set_undo)(void* editp);
  BOOL (*add_menu_item)(void* fp, LPSTR name, HWND hwnd, int id, int def_key, int flag);
  BOOL (*edit_open)(void* editp, LPSTR file, int flag);
  BOOL (*edit_close)(void* editp);
  BOOL (*edit_output)(void* editp, LPSTR file, int flag, LPSTR type);
  BOOL (*set_config)(void* editp, int n, LPSTR name);
  int reserve[7];
};

struct FILTER;

// The filter record. The plug-in exports one as its table (FILTER_DLL); the
// editor passes its own copy, with track/check/exfunc filled in, to callbacks.
struct FILTER {
  int flag;
  int x;
  int y;
  const char* name;
  int track_n;
  const char** track_name;
  int* track_default;
  int* track_s;
  int* track_e;
  int check_n;
  const char** check_name;
  int* check_default;
  BOOL (*func_proc)(FILTER* fp, FILTER_PROC_INFO* fpip);
  BOOL (*func_init)(FILTER* fp);
  BOOL (*func_exit)(FILTER* fp);
  BOOL (*func_update)(FILTER* fp, int status);
  BOOL (*func_WndProc)(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, void* editp,
                       FILTER* fp);
  int* track;
  int* check;
  void* ex_data_ptr;
  int ex_data_size;
  const char* information;
  BOOL (*func_save_start)(FILTER* fp, int s, int e, void* editp);
  BOOL (*func_save_end)(FILTER* fp, void* editp);
  EXFUNC* exfunc;
  HWND hwnd;
  HINSTANCE dll_hinst;
  void* ex_data_def;
  BOOL (*func_is_saveframe)(FILTER* fp, void* editp, int saveno, int frame, int fps,
                            int edit_flag, int inter);
  BOOL (*func_project_load)(FILTER* fp, void* editp, void* data, int size);
  BOOL (*func_project_save)(FILTER* fp, void* editp, void* data, int* size);
  BOOL (*func_modify_title)(FILTER* fp, void* editp, int frame, LPSTR title, int max_title);
  const char* dll_path;
  int reserve[2];
};

typedef FILTER FILTER_DLL;

// Filter flags.
constexpr int FILTER_FLAG_ACTIVE = 0x00000001;
constexpr int FILTER_FLAG_ALWAYS_ACTIVE = 0x00000004;
constexpr int FILTER_FLAG_CONFIG_POPUP = 0x00000008;
constexpr int FILTER_FLAG_CONFIG_CHECK = 0x00000010;
constexpr int FILTER_FLAG_CONFIG_RADIO = 0x00000020;
constexpr int FILTER_FLAG_EX_DATA = 0x00000400;
constexpr int FILTER_FLAG_PRIORITY_HIGHEST = 0x00000800;
constexpr int FILTER_FLAG_PRIORITY_LOWEST = 0x00001000;
constexpr int FILTER_FLAG_WINDOW_THICKFRAME = 0x00002000;
constexpr int FILTER_FLAG_WINDOW_SIZE = 0x00004000;
constexpr int FILTER_FLAG_DISP_FILTER = 0x00008000;
constexpr int FILTER_FLAG_REDRAW = 0x00020000;
constexpr int FILTER_FLAG_EX_INFORMATION = 0x00040000;
constexpr int FILTER_FLAG_INFORMATION = 0x00080000;
constexpr int FILTER_FLAG_NO_CONFIG = 0x00100000;
constexpr int FILTER_FLAG_AUDIO_FILTER = 0x00200000;
constexpr int FILTER_FLAG_RADIO_BUTTON = 0x00400000;
constexpr int FILTER_FLAG_WINDOW_HSCROLL = 0x00800000;
constexpr int FILTER_FLAG_WINDOW_VSCROLL = 0x01000000;
constexpr int FILTER_FLAG_INTERLACE_FILTER = 0x04000000;
constexpr int FILTER_FLAG_NO_INIT_DATA = 0x08000000;
constexpr int FILTER_FLAG_IMPORT = 0x10000000;
constexpr int FILTER_FLAG_EXPORT = 0x20000000;
constexpr int FILTER_FLAG_MAIN_MESSAGE = 0x40000000;

// Messages the editor sends to func_WndProc.
constexpr UINT WM_FILTER_UPDATE = 0x464;
constexpr UINT WM_FILTER_FILE_OPEN = 0x465;
constexpr UINT WM_FILTER_FILE_CLOSE = 0x466;
constexpr UINT WM_FILTER_INIT = 0x467;
constexpr UINT WM_FILTER_EXIT = 0x468;
constexpr UINT WM_FILTER_SAVE_START = 0x469;
constexpr UINT WM_FILTER_SAVE_END = 0x46A;
constexpr UINT WM_FILTER_CHANGE_ACTIVE = 0x46D;
constexpr UINT WM_FILTER_CHANGE_WINDOW = 0x46E;
constexpr UINT WM_FILTER_CHANGE_PARAM = 0x46F;

constexpr int FILTER_UPDATE_STATUS_ALL = 0;
constexpr int FILTER_UPDATE_STATUS_TRACK = 0x10000;
constexpr int FILTER_UPDATE_STATUS_CHECK = 0x20000;
constexpr int MID_FILTER_BUTTON = 12004;

#if defined(_WIN32) && defined(__i386__)
static_assert(sizeof(PIXEL_YC) == 6 && offsetof(PIXEL_YC, cb) == 2 && offsetof(PIXEL_YC, cr) == 4,
              "PIXEL_YC layout");
static_assert(sizeof(FILTER_PROC_INFO) == 104, "FILTER_PROC_INFO size");
static_assert(offsetof(FILTER_PROC_INFO, ycp_edit) == 4 && offsetof(FILTER_PROC_INFO, w) == 12 &&
                  offsetof(FILTER_PROC_INFO, max_w) == 20 &&
                  offsetof(FILTER_PROC_INFO, frame) == 28 &&
                  offsetof(FILTER_PROC_INFO, frame_n) == 32 &&
                  offsetof(FILTER_PROC_INFO, editp) == 60 &&
                  offsetof(FILTER_PROC_INFO, line_size) == 68 &&
                  offsetof(FILTER_PROC_INFO, reserve) == 72,
              "FILTER_PROC_INFO offsets");
static_assert(sizeof(FILTER) == 140, "FILTER size");
static_assert(offsetof(FILTER, name) == 12 && offsetof(FILTER, track_n) == 16 &&
                  offsetof(FILTER, check_n) == 36 && offsetof(FILTER, func_proc) == 48 &&
                  offsetof(FILTER, func_WndProc) == 64 && offsetof(FILTER, track) == 68 &&
                  offsetof(FILTER, check) == 72 && offsetof(FILTER, func_save_start) == 88 &&
                  offsetof(FILTER, exfunc) == 96 && offsetof(FILTER, hwnd) == 100 &&
                  offsetof(FILTER, dll_hinst) == 104 && offsetof(FILTER, dll_path) == 128 &&
                  offsetof(FILTER, reserve) == 132,
              "FILTER offsets");
static_assert(sizeof(EXFUNC) == 320, "EXFUNC size");
static_assert(offsetof(EXFUNC, filter_window_update) == 84 &&
                  offsetof(EXFUNC, is_filter_active) == 100 &&
                  offsetof(EXFUNC, set_ycp_filtering_cache_size) == 176 &&
                  offsetof(EXFUNC, get_ycp_filtering_cache_ex) == 200 &&
                  offsetof(EXFUNC, exec_multi_thread_func) == 204 &&
                  offsetof(EXFUNC, set_config) == 288 && offsetof(EXFUNC, reserve) == 292,
              "EXFUNC offsets");
static_assert(sizeof(FRAME_STATUS) == 64 && sizeof(FILE_INFO) == 64 && sizeof(SYS_INFO) == 76,
              "auxiliary record sizes");
#endif

// The filter's callbacks and export.
extern "C" FILTER_DLL* NIVORA_STDCALL GetFilterTable(void);
BOOL func_proc(FILTER* fp, FILTER_PROC_INFO* fpip);
BOOL func_init(FILTER* fp);
BOOL func_exit(FILTER* fp);
BOOL func_update(FILTER* fp, int status);
BOOL func_WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, void* editp, FILTER* fp);
BOOL func_save_start(FILTER* fp, int s, int e, void* editp);
