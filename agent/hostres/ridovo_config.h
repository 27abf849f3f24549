// CRIDOVOCONFIG: reads "RIDOVO.INI" from the configuration directory into the
// application object's settings and watches that directory (not its
// subdirectories) for size and last-write changes; its thread re-reads the
// file only when the file's last-write time or size differs from the last
// read, and then passes the new masks to the error service.
//
// The watcher thread is started by the application (ThreadStart) and stopped
// by DeInit, which waits for it before closing the change signal: after
// DeInit no thread touches the object. Everything else is for one thread at
// a time (the start-up, then the watcher thread).
#pragma once

#include <cstdint>

#include "win32/files.h"
#include "win32/types.h"

class CRIDOVOCONFIG {
 public:
  CRIDOVOCONFIG();
  ~CRIDOVOCONFIG();
  CRIDOVOCONFIG(const CRIDOVOCONFIG&) = delete;
  CRIDOVOCONFIG& operator=(const CRIDOVOCONFIG&) = delete;

  // CreateSignal, then Read. 0; 1228 when the file is absent (the defaults
  // stay); 1229, 1230 or 1227 otherwise (the signal is closed again).
  DWORD Init();
  // Stops the watcher thread (if started), then CloseSignal.
  void DeInit();

  // The directory change notification on the configuration directory: 0,
  // 1229 (no directory) or 1230.
  DWORD CreateSignal();
  void CloseSignal();
  HANDLE SignalGet() const { return m_h_signal; }

  // The last-write time and size of the configuration file: 0, 1229 (null
  // argument, no directory) or 1227 (cannot open or query it).
  DWORD GetConfigInfo(FILETIME* lastWrite, DWORD* sizeHigh, DWORD* sizeLow) const;
  // 1 when the stamp equals the one of the last read, else 0.
  DWORD CompareConfigInfo(const FILETIME* lastWrite, DWORD sizeHigh, DWORD sizeLow) const;
  // Stamps the file and reads both sections: 0, 1227, 1229.
  DWORD Read();
  // "Error Settings": the three report flags and the debug mask. 0 or 1229.
  DWORD ReadError(const WCHAR* path);
  // "Option Settings": the monitor interval. 0 or 1229.
  DWORD ReadSetting(const WCHAR* path);

  // The monitor interval in milliseconds for a "MonitorInterval" in seconds:
  // 15 or more is taken (up to what 32-bit milliseconds hold), anything
  // lower, negative values included, gives 60 seconds.
  static DWORD IntervalMilliseconds(int seconds);

  // Starts the watcher thread: 0 or 1233 (handle and identifier out).
  DWORD ThreadStart(uintptr_t* handle, unsigned* threadId);
  // The thread routine; ends with 1227 when the signal fails or at DeInit.
  static unsigned WINAPI Monitor(void* unused);

 private:
  // The full path of the configuration file into path[260]; false without a
  // configuration directory or when it does not fit.
  static bool FilePath(WCHAR* path);
  unsigned RunThread();
  // Signals the thread to end and waits for it (nothing when none runs).
  void StopThread();

  HANDLE m_h_signal = nullptr;
  FILETIME m_ft_lastWrite = {};
  DWORD m_ul_sizeHigh = 0;
  DWORD m_ul_sizeLow = 0;
  HANDLE m_h_stop = nullptr;
  HANDLE m_h_thread = nullptr;
};
