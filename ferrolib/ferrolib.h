/* ferrolib: the shared library shipped beside ravelin for outside callers: checksums, version
 * information, number and currency text, system helpers.
 *
 * Fifteen exports with C linkage, nothing else. Texts are NUL-terminated 8-bit byte strings; on
 * POSIX the library's 8-bit code page is the one of the user's locale, in practice UTF-8 (the
 * version strings are converted from UTF-16 to UTF-8; the separator byte 0xFE never
 * occurs inside UTF-8 text).
 *
 * Calling conventions. On 32-bit x86 twelve exports use the standard Windows convention (stdcall)
 * and three the library's register convention (first three arguments in EAX, EDX, ECX, the rest
 * pushed left to right and removed by the callee). On x86-64 both macros are empty: the platform
 * has a single convention.
 *
 * Handles (window, module, index) are pointer-sized integers: 32 bits in a 32-bit build, as the
 * callers know them, and 64 bits where the platform's handles are 64 bits wide.
 */
#ifndef FERROLIB_FERROLIB_H
#define FERROLIB_FERROLIB_H

#include <stdint.h>

#if defined(_WIN32)
/* The export list is ferrolib.def; no __declspec(dllexport), so that no decorated name leaks. */
#define FERRO_API
#else
#define FERRO_API __attribute__((visibility("default")))
#endif

#if defined(__i386__) || defined(_M_IX86)
#if defined(__GNUC__)
#define FERRO_STDCALL __attribute__((stdcall))
/* regparm(3) puts the first three integer arguments into EAX, EDX, ECX; stdcall makes the callee
 * remove the stack arguments. GCC pushes stack arguments right to left, the register convention
 * left to right, so the exports with more than three arguments declare their stack arguments in
 * reverse order (FERRO_REGISTER_REVERSED_STACK). */
#define FERRO_REGISTER __attribute__((regparm(3), stdcall))
#define FERRO_REGISTER_REVERSED_STACK 1
#elif defined(_MSC_VER)
#define FERRO_STDCALL __stdcall
/* MSVC has no register convention: a 32-bit MSVC build needs small assembler entry stubs. */
#define FERRO_REGISTER FERRO_REGISTER_needs_entry_stubs_under_MSVC
#endif
#else
#define FERRO_STDCALL
#define FERRO_REGISTER
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t ferro_handle;

/* Checksums. A null pointer counts as the empty text; a null or empty file name, a
 * missing file, a directory or anything but a regular file gives 0, like an empty file. A read
 * error part-way ends the file's CRC with the bytes read so far. */
FERRO_API uint32_t FERRO_STDCALL qvx_CRC16(const char* text);
FERRO_API uint32_t FERRO_STDCALL qvx_CRC32(const char* text);
FERRO_API uint32_t FERRO_STDCALL qvx_FileCRC32(const char* file_name);

/* Version information of a PE32 or PE32+ file. 0 on success, -1 when there is no
 * readable version resource (or a null argument); nothing is ever written beyond *len bytes: a
 * size of 1 receives the NUL only, a size of 0 nothing (*len becomes 0). */
FERRO_API int32_t FERRO_STDCALL QvxGetVersionInfoEx(const char* file_name, char* buffer,
                                                    uint32_t* len);

/* Number and currency text in the regional settings read when the library was loaded.
 * A null dest writes nothing and gives 0; a null value gives the empty text. Negative digits
 * count as 0. */
FERRO_API int32_t FERRO_STDCALL _FloatStr(char* dest, int32_t precision, int32_t digits,
                                          const double* value);
FERRO_API int32_t FERRO_STDCALL _FloatToString(char* dest, const double* value);
FERRO_API int32_t FERRO_STDCALL _FloatToStringE(char* dest, const double* value);
FERRO_API int32_t FERRO_STDCALL _CurrencyToString(char* dest, int32_t digits, const double* value);
/* 0 on success, 101 on failure (result untouched; a null text or result fails). A value too small
 * for an 8-byte float becomes a zero of its sign; only a value too large fails. */
FERRO_API int32_t FERRO_STDCALL _StringToFloat(const char* text, double* result);
FERRO_API int32_t FERRO_STDCALL _StringToCurrency(const char* text, double* result);
/* Ties to even, independent of the caller's rounding mode. NaN, infinities, values outside the
 * signed 64-bit range and a null pointer give INT64_MIN (0x8000000000000000, the x86 "integer
 * indefinite"). */
FERRO_API int64_t FERRO_STDCALL _PDouble2Int(const double* value);

/* System helpers. _RunShellExe gives 0 or a Windows error code: 2 file not found,
 * 3 path not found, 5 access denied, 8 out of memory, 267 directory argument is no directory,
 * 1155 no program for the document (no xdg-open), 31 any other failure to start. */
#if defined(FERRO_REGISTER_REVERSED_STACK)
FERRO_API int32_t FERRO_REGISTER _RunShellExe(ferro_handle window, const char* file,
                                              const char* parameters, int32_t reserved,
                                              const char* directory);
#else
FERRO_API int32_t FERRO_REGISTER _RunShellExe(ferro_handle window, const char* file,
                                              const char* parameters, const char* directory,
                                              int32_t reserved);
#endif
FERRO_API int32_t FERRO_REGISTER _Beep(uint32_t type);
FERRO_API uint32_t FERRO_REGISTER _WinColor(uint32_t code);
/* Always 101. *position receives the database call's result code; when the module has no
 * "AdsSetRelKeyPos" it receives 127 (ERROR_PROC_NOT_FOUND), for a module handle 0 it receives 6
 * (ERROR_INVALID_HANDLE); the database function is then not called. A null position does
 * nothing. */
FERRO_API int32_t FERRO_STDCALL _AdsSetRelKeyPos(ferro_handle module, ferro_handle index,
                                                 double* position);

#ifdef __cplusplus
}
#endif

#endif /* FERROLIB_FERROLIB_H */
