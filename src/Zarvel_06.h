// The plug-in's entry points, exported by name for the host.
#pragma once

#define ZARVEL_EXPORT extern "C" __attribute__((visibility("default")))

// The host runs the plug-in through this call. The arguments are the host's
// user-function convention; none of them is read or written.
ZARVEL_EXPORT void ufusr(char* param, int* retcode, int param_len);

// 1: the host may unload the library as soon as ufusr has returned.
ZARVEL_EXPORT int ufusr_ask_unload(void);
