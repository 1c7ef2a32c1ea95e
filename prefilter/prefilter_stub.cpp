#include "prefilter/prefilter.h"
void block_nr_job(int, int, void*, void*) {}
void mosquito_nr_job(int, int, void*, void*) {}
void select_prefilter_kernels(int) {}
