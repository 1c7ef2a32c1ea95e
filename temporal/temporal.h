// Temporal filtering and reconstruction: worker entries of the driver's stages
// e (temporal fit), f (vertical synthesis of luma) and g (output conversion).
#pragma once

#include <cstdint>

// param1: the FILTER record (not read); param2: the FILTER_PROC_INFO.
void temporal_job(int thread_id, int thread_num, void* param1, void* param2);
void vertical_synthesis_job(int thread_id, int thread_num, void* param1, void* param2);
// param1: pointer to the per-field flag byte; param2: the FILTER_PROC_INFO.
void output_job(int thread_id, int thread_num, void* param1, void* param2);

// Fills the temporal kernel table for a kernel level (see host/cpu.h).
void select_temporal_kernels(int level);
