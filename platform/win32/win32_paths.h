// win32_paths.h - full paths and the current folder on Windows. Internal to
// the Windows backend.
//
// The program keeps its current folder itself instead of leaving it to the
// system: the system's current folder holds at most MAX_PATH - 2 characters
// unless the machine allows long paths, and every name relative to it is
// bound by MAX_PATH as a whole. Each file call gets the full path in its
// extended form ("\\?\C:\..."), which no length limit binds and in which a
// name keeps the trailing dots and spaces it was listed with. The system's
// current folder follows wherever it can hold the folder.
#pragma once

#include <string>

// Returns the full path that name stands for, as the program shows it
// ("C:\photos", "\\server\share\photos", a drive's root with its backslash):
// absolute, or relative to the current folder, to a drive's folder ("D:x")
// or to the current root ("\x"); either slash separates, "." and ".." are
// resolved and never climb above the root. Empty for an empty name. Only a
// name that is not absolute reads the current folder, which belongs to the
// window's thread.
std::wstring Win32FullPath(const wchar_t* name);

// Tells whether a path is absolute: it begins with a drive's root ("C:\"), a share
// ("\\server\share") or a system namespace ("\\?\").
bool Win32IsAbsolute(const std::wstring& path);

// Returns the extended form of a full path for the file calls: "\\?\C:\x",
// "\\?\UNC\server\share\x"; a path in a system namespace already ("\\?\",
// "\\.\") as it is.
std::wstring Win32ExtendedPath(const std::wstring& full);

// Returns the extended form of the full path of name.
inline std::wstring Win32SystemPath(const wchar_t* name) { return Win32ExtendedPath(Win32FullPath(name)); }
