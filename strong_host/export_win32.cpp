// The plug-in's one export (Windows only: natively the tests take the table
// from strong_filter_table, beside the first plug-in's GetFilterTable).
#include "strong_host/strong_host.h"

extern "C" FILTER_DLL* NIVORA_STDCALL GetFilterTable(void) { return strong_filter_table(); }
