#pragma once

// The option library's exported interface. Every result is a report text of at
// most 8191 characters in a library-owned 8192-byte block (never freed by the
// caller), or null when the call failed (the library has then told the user why).
// Calls are not reentrant: make one at a time.
#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(RAVELIN_BUILD)
#define RAVELIN_API __declspec(dllexport)
#else
#define RAVELIN_API
#endif

RAVELIN_API const char* DumpOtpOption(const char* path, const char* body);
RAVELIN_API const char* DumpCodOption(const char* path);
RAVELIN_API const char* DumpOptOption(const char* body, const char* path);

#ifdef __cplusplus
}
#endif
