// The service side of the service control manager: a program that runs as a
// service hands its service table to the dispatcher, whose service main
// registers a control handler and reports its status.
//
// On this platform the service manager is systemd (a Type=notify unit) or an
// init script; both start the program with WARDENLINE_SERVICE_CONTROLLER set
// in its environment (see docs/platform/service.md). Without it the
// dispatcher fails at once with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, as on
// Windows for a program started from a console.
//
// - The service main runs on a thread of its own; the control handler runs on
//   the dispatcher's thread (the one that called the dispatcher).
// - SIGTERM and SIGINT become SERVICE_CONTROL_STOP for the handler (once; a
//   second signal during the stop is ignored; one that comes before the
//   handler is registered is delivered when it is).
// - Every reported status is recorded under HKLM
//   "SYSTEM\CurrentControlSet\Services\<name>\Status" (values CurrentState,
//   ControlsAccepted, Win32ExitCode, ServiceSpecificExitCode, CheckPoint,
//   WaitHint, ProcessId, all REG_DWORD) when the service key exists, and told
//   to systemd when NOTIFY_SOCKET is set: SERVICE_RUNNING as READY=1, a stop
//   pending or stopped state as STOPPING=1.
// - The dispatcher returns TRUE once the service reported SERVICE_STOPPED (or
//   its main returned without registering a handler). Under a service
//   manager, a stop with a nonzero Win32 exit code ends the process with that
//   code (1 when above 255), so that the manager sees the failure.
// Thread safety: any thread.
#pragma once

#include "win32/types.h"

#define ERROR_INVALID_SERVICE_CONTROL 1052L
#define ERROR_SERVICE_REQUEST_TIMEOUT 1053L
#define ERROR_SERVICE_ALREADY_RUNNING 1056L
#define ERROR_SERVICE_NOT_ACTIVE 1062L
#define ERROR_FAILED_SERVICE_CONTROLLER_CONNECT 1063L
#define ERROR_SERVICE_NOT_IN_EXE 1083L

#define SERVICE_KERNEL_DRIVER 0x00000001u
#define SERVICE_WIN32_OWN_PROCESS 0x00000010u
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020u
#define SERVICE_WIN32 (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)

#define SERVICE_STOPPED 0x00000001u
#define SERVICE_START_PENDING 0x00000002u
#define SERVICE_STOP_PENDING 0x00000003u
#define SERVICE_RUNNING 0x00000004u
#define SERVICE_CONTINUE_PENDING 0x00000005u
#define SERVICE_PAUSE_PENDING 0x00000006u
#define SERVICE_PAUSED 0x00000007u

#define SERVICE_ACCEPT_STOP 0x00000001u
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002u
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004u

#define SERVICE_CONTROL_STOP 0x00000001u
#define SERVICE_CONTROL_PAUSE 0x00000002u
#define SERVICE_CONTROL_CONTINUE 0x00000003u
#define SERVICE_CONTROL_INTERROGATE 0x00000004u
#define SERVICE_CONTROL_SHUTDOWN 0x00000005u

typedef struct SERVICE_STATUS_HANDLE__* SERVICE_STATUS_HANDLE;
typedef struct SC_HANDLE__* SC_HANDLE;

#define SC_MANAGER_ALL_ACCESS 0x000F003Fu
#define SERVICE_ALL_ACCESS 0x000F01FFu

typedef struct _SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef void(WINAPI* LPSERVICE_MAIN_FUNCTIONA)(DWORD dwNumServicesArgs, LPSTR* lpServiceArgVectors);
typedef void(WINAPI* LPHANDLER_FUNCTION)(DWORD dwControl);

typedef struct _SERVICE_TABLE_ENTRYA {
  LPSTR lpServiceName;
  LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
} SERVICE_TABLE_ENTRYA, *LPSERVICE_TABLE_ENTRYA;

WL_EXTERN_C_BEGIN
// Runs the first service of the table (one service per process); the table
// ends with an entry of null members.
WLAPI BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* lpServiceStartTable);
// Only from within the dispatcher, for the service it runs (name compared
// without regard to case): else 0 with ERROR_SERVICE_NOT_IN_EXE or
// ERROR_SERVICE_DOES_NOT_EXIST.
WLAPI SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR lpServiceName,
                                                        LPHANDLER_FUNCTION lpHandlerProc);
// FALSE with ERROR_INVALID_HANDLE for an unknown handle, ERROR_INVALID_DATA
// for a state outside 1 to 7.
WLAPI BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus);

// Not Win32: the dispatcher with the terminal as the service manager, for a
// service run in the foreground. Ctrl-C (SIGINT) and SIGTERM stop it; nothing
// is recorded and no exit code ends the process.
WLAPI BOOL wl_StartServiceCtrlDispatcherForeground(const SERVICE_TABLE_ENTRYA* lpServiceStartTable);

// The control side. A service exists when its key HKLM
// "SYSTEM\CurrentControlSet\Services\<name>" exists and it has a systemd unit
// "etc/systemd/system/<program>.service" (used while systemd runs and the
// system prefix is "/") or an init script "etc/init.d/<program>", both under
// WARDENLINE_SYSTEM_PREFIX (default "/"). <program> is the file name of the
// key's "ImagePath" (REG_SZ, up to the first blank), else the service name in
// lower case; "SNMP" and "SNMP Service" are the SNMP service, snmpsvc, with
// the key "SNMP".
// Handles belong to the calling process; one thread at a time.

// Only the local machine (null or empty name) and the active database.
WLAPI SC_HANDLE OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess);
// Null with ERROR_SERVICE_DOES_NOT_EXIST for an unknown service,
// ERROR_INVALID_NAME for a name over 256 bytes or with "/" or "\\".
WLAPI SC_HANDLE OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess);
// The state as the service last reported it (its Status subkey); a state
// other than stopped whose process no longer lives reads as SERVICE_STOPPED.
// A service that reports nothing (snmpsvc) is asked for through systemd or
// its init script's "status": running or stopped.
WLAPI BOOL QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus);
// SERVICE_CONTROL_STOP only (else ERROR_INVALID_SERVICE_CONTROL): asks
// systemd (without waiting) or runs the init script's "stop" (at most 90 s),
// then fills lpServiceStatus. ERROR_SERVICE_NOT_ACTIVE when already stopped.
WLAPI BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus);
// "systemctl start" or the init script's "start" (at most 90 s); FALSE when
// it fails, ERROR_SERVICE_ALREADY_RUNNING when running.
WLAPI BOOL StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCSTR* lpServiceArgVectors);
// Removes the unit (disabled first) and the init script (with its boot-time
// links when the prefix is "/") and the service key with everything under it.
// The service is not stopped first.
WLAPI BOOL DeleteService(SC_HANDLE hService);
WLAPI BOOL CloseServiceHandle(SC_HANDLE hSCObject);

// Starts a program. "Net stop <service>" and "Net start <service>" (the
// service name may be in double quotes) are carried out here through the
// control side and return when the service has stopped or runs (at most 60
// s). Results as Win32: above 31 on success; ERROR_FILE_NOT_FOUND (2) for an
// unknown program or service, 0 when the Net command failed. Any other
// command line is split at blanks (double quotes group) and started without
// waiting, its output discarded.
WLAPI UINT WinExec(LPCSTR lpCmdLine, UINT uCmdShow);
#define SW_HIDE 0
WL_EXTERN_C_END
