// The pieces of the process entry: the single-instance lock, the crash-dump
// writer and the report library's unpacking. Main thread, during start-up,
// except OnUnhandledException, which may run on any thread.
#pragma once

#include <windows.h>

#include <string>

#include "base/Handles.h"

// Oldest file version of an unpacked report library that is left on disk.
extern const wchar_t ReportLibraryMinVersion[];
// Digest of the report library this executable carries as "CUSTOM" 135.
extern const wchar_t ReportLibraryMd5[];

// base + "_" + the decimal session id of this process.
std::wstring AppendSessionId(const std::wstring& base);

// True when this process may run: no other instance holds the per-session
// mutex. On success holder keeps the mutex handle (empty when it could not be
// created; the run then goes on without a lock).
bool CheckSingleton(UniqueHandle& holder);

// The unhandled-exception filter: sends event 1002 and writes a minidump to
// %LOCALAPPDATA%\downloader_dumps\<seconds since 1970>.dmp. Returns
// EXCEPTION_CONTINUE_SEARCH so the system's default handling follows.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers);

// Unpacks the report library from the executable's resources when the copy
// on disk is missing, too old or different, loads it and picks the report
// front's sender: the library when it loaded, otherwise the HTTPS channel on
// the worker pool. True when the library loaded.
bool InitDataReport();
// True when the file at path may stay: a regular file (or a link) whose file
// version is at least minVersion and whose digest is md5 (any case), tested
// in that order.
bool IsReportLibraryCurrent(const std::wstring& path, const std::wstring& minVersion, const std::wstring& md5);
// Releases the report library manager's hold on the library (end of run).
void ReleaseReportLibrary();

// Builds the window for this run (the silent one when silent), loads its
// skin, creates, centres and runs it modally on this thread, and destroys the
// window object when its loop ends. Returns when the window is gone.
void RunInstallerWindow(HINSTANCE instance, bool silent);

// The crash-dump file for a time: dir + "\downloader_dumps\" + seconds + ".dmp".
std::wstring CrashDumpPath(const std::wstring& localAppData, long long secondsSince1970);
