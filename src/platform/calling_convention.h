// The calling convention of Windows API functions and of the callbacks that Windows calls.
#pragma once

#if defined(_WIN32) && !defined(_WIN64) && defined(__GNUC__)
#define CALVERA_WINAPI __attribute__((stdcall))
#else
#define CALVERA_WINAPI
#endif
