// Which build of the program runs: the 32-bit one, for every Windows (and
// under WOW64 on 64-bit Windows), or the 64-bit one, for 64-bit Windows
// only. The logs' first line and the window's notice name it, so a log sent
// with a question says which program wrote it. A macro, so that literals
// can hold it.
#pragma once

#if defined(_WIN64)
#define QINGHE_PROGRAM_BUILD "64 位"
#elif defined(_WIN32)
#define QINGHE_PROGRAM_BUILD "32 位"
#else
// The engine on the host, for the tests and tools there.
#define QINGHE_PROGRAM_BUILD "主机"
#endif

// The window program's file name, which the console twin finds beside
// itself (the watch at logon copies it).
#if defined(_WIN64)
#define QINGHE_WINDOW_PROGRAM "qinghe64.exe"
#else
#define QINGHE_WINDOW_PROGRAM "qinghe.exe"
#endif
