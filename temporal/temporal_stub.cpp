#include "temporal/temporal.h"
void temporal_job(int, int, void*, void*) {}
void vertical_synthesis_job(int, int, void*, void*) {}
void output_job(int, int, void*, void*) {}
void select_temporal_kernels(int) {}
