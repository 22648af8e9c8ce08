#pragma once
// Where the elevated installer takes its DLLs from: the system folder alone.
//
// Thread contract: RestrictDllSearchToSystem32 runs first thing in wWinMain, while
// the process has one thread.

// Every later LoadLibrary of the process, and every delay-loaded import, searches
// System32 only: not the program's folder (Downloads, where anyone can plant a DLL),
// not the current folder, not PATH. SetDefaultDllDirectories is looked up at run
// time: Windows 7 without update KB2533623 lacks it and still starts.
// Then the DLLs the installer delay-loads are loaded from System32 at once: system
// DLLs load some of them lazily by bare name (Wine's winhttp takes crypt32 when it
// first checks a certificate, searching the program's folder despite the
// restriction), and a DLL already loaded is found by name before any search.
void RestrictDllSearchToSystem32();
