// Stands in for the system's <windows.h> where there is none: its include
// guard and a few of the macros that make its names clash with the
// platform headers'.
#define _WINDOWS_
#define MessageBox MessageBoxA
#define DeleteFile DeleteFileA
#define WM_CREATE 0x0001
