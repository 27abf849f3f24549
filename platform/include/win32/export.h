// Symbol visibility for the platform layer. Everything the platform offers to
// the system is declared with WLAPI; the rest stays hidden.
#pragma once

#define WLAPI __attribute__((visibility("default")))

#ifdef __cplusplus
#define WL_EXTERN_C_BEGIN extern "C" {
#define WL_EXTERN_C_END }
#else
#define WL_EXTERN_C_BEGIN
#define WL_EXTERN_C_END
#endif

// Calling-convention and annotation macros of Win32 prototypes; meaningless here.
#define WINAPI
#define CALLBACK
#define APIENTRY
