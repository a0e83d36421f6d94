// Prynn.dll, the package decompressor. Modules link the import library (CMake target
// prynn_import), which binds the call to the DLL's ordinal 4.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Decompresses the package at source (a path in the ANSI code page) into target, replacing
// a file of that name. Non-zero when the target now holds the whole content; zero when the
// package is missing, truncated or corrupt or the target cannot be written, and the target is
// then as it was.
int __stdcall PrynnDecompress(const char* source, const char* target);

#ifdef __cplusplus
}
#endif
