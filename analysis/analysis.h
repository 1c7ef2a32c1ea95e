// Spatial wavelet analysis: worker entries of the driver's stages c and d.
// param1 is an analysis_params, param2 the FILTER_PROC_INFO.
#pragma once

void spatial_columns_job(int thread_id, int thread_num, void* param1, void* param2);
void spatial_rows_job(int thread_id, int thread_num, void* param1, void* param2);

// Fills the analysis kernel table for a kernel level (see host/cpu.h).
void select_analysis_kernels(int level);
