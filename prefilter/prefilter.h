// Block-noise and mosquito-noise pre-filters: worker entries of the driver's
// stages a and b. param1 is a prefilter_params, param2 the FILTER_PROC_INFO.
#pragma once

void block_nr_job(int thread_id, int thread_num, void* param1, void* param2);
void mosquito_nr_job(int thread_id, int thread_num, void* param1, void* param2);

// Fills the pre-filter kernel table for a kernel level (see host/cpu.h).
void select_prefilter_kernels(int level);
