// Events, semaphores, waits and threads with Win32 semantics.
// Named semaphores are shared by every process of the machine; the environment
// variable WARDENLINE_OBJECT_NAMESPACE, when set, gives a private namespace
// (tests use it to run side by side). A process that dies while it holds counts
// of a named semaphore gives them back. A named semaphore belongs to the user
// whose process created it: another user's CreateSemaphoreA of that name fails
// with ERROR_ACCESS_DENIED. Named events are shared within the process only.
// Thread safety: any thread.
#pragma once

#include "win32/types.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

#define CREATE_SUSPENDED 0x00000004u
#define STILL_ACTIVE 259u

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);

WL_EXTERN_C_BEGIN
WLAPI HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                          BOOL bInitialState, LPCSTR lpName);
WLAPI BOOL SetEvent(HANDLE hEvent);
WLAPI BOOL ResetEvent(HANDLE hEvent);
WLAPI HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount,
                              LONG lMaximumCount, LPCSTR lpName);
WLAPI BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount);
WLAPI DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
WLAPI DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                   DWORD dwMilliseconds);

WLAPI HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                          LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                          DWORD dwCreationFlags, LPDWORD lpThreadId);
// The C run-time's thread start: same as CreateThread, with the run-time's
// prototype. Returns the handle as an integer, 0 on failure.
WLAPI uintptr_t _beginthreadex(void* security, unsigned stack_size,
                               unsigned(WINAPI* start_address)(void*), void* arglist,
                               unsigned initflag, unsigned* thrdaddr);
// Suspend counts as on Windows. A thread is suspended only at its own request
// (SuspendThread(GetCurrentThread())) or at creation; SuspendThread of another
// thread takes effect at that thread's next wait, sleep or self-suspension.
WLAPI DWORD ResumeThread(HANDLE hThread);
WLAPI DWORD SuspendThread(HANDLE hThread);
// Stops a thread at its next wait, sleep or suspension point: it then unwinds
// without running its remaining code. The handle becomes signalled when it ends.
WLAPI BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode);
WLAPI BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
WLAPI HANDLE GetCurrentThread(void);
WLAPI DWORD GetCurrentThreadId(void);
WLAPI DWORD GetCurrentProcessId(void);
WLAPI void Sleep(DWORD dwMilliseconds);
WL_EXTERN_C_END
