// The editor's worker-thread service: persistent worker threads and the
// entry the filter calls to run a job on all of them.
#pragma once

#include "host/host_api.h"

// Persistent worker threads. thread_count includes the calling thread, which
// runs thread 0 of every call.
bool start_workers(int thread_count);
void stop_workers();
int worker_threads();
BOOL host_exec_multi_thread_func(MULTI_THREAD_FUNC func, void* param1, void* param2);
