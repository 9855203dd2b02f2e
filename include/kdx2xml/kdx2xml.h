/* kdx2xml: converts packed KDX documents into XML text.
 *
 * A host passes one packed document to InitKDX and gets a handle; behind the
 * handle the library keeps the XML bytes (windows-1251) until the host has
 * copied them out with GetDataSize/GetData and released the handle with
 * ReleaseKDXHandle. A failed conversion returns 0 and leaves its reason in
 * GetLastExceptionText; an argument fault sets the thread's last-error code
 * (6 invalid handle, 13 unreadable/unwritable memory, 122 buffer too small).
 */
#ifndef KDX2XML_KDX2XML_H
#define KDX2XML_KDX2XML_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define KDX_CALL __stdcall
#else
#define KDX_CALL
#endif

#if defined(_WIN32)
#if defined(KDX2XML_BUILDING)
#define KDX_API
#else
#define KDX_API __declspec(dllimport)
#endif
#else
#define KDX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#include <cstddef>
typedef char16_t kdx_char16;
extern "C" {
#else
typedef uint16_t kdx_char16;
#endif

/* Handles are pointer-sized opaque values; 0 is never a valid handle. */
typedef uintptr_t KDXHandle;

/* Converts Size bytes at Data; returns a handle or 0 on failure. An XML that
 * would grow past 2^31 - 1 bytes (or past KDX2XML_MAX_XML_SIZE, read at every
 * call) fails with "EOutOfMemory: Out of memory: the XML would be larger than
 * N bytes" before its memory is taken. */
KDX_API KDXHandle KDX_CALL InitKDX(const void *Data, int32_t Size);
/* Size of the XML bytes behind Handle, or 0 (last error 6) for an unknown handle. */
KDX_API int32_t KDX_CALL GetDataSize(KDXHandle Handle);
/* Copies the XML bytes into Buffer; returns the count copied or 0 on failure. */
KDX_API uint32_t KDX_CALL GetData(KDXHandle Handle, void *Buffer, uint32_t BufferSize);
/* Frees the XML bytes; returns -1 on success, 0 (last error 6) for an unknown handle. */
KDX_API int32_t KDX_CALL ReleaseKDXHandle(KDXHandle Handle);
/* NUL-terminated UTF-16 text "Class: message" of the last failure, or NULL
 * when the last call succeeded: the calling thread's own last call once it has
 * called InitKDX, else the last call of any thread. The pointer stays valid
 * until the calling thread's next call into the library. */
KDX_API const kdx_char16 *KDX_CALL GetLastExceptionText(void);

#if !defined(_WIN32)
/* Portability addition: the calling thread's last-error code as set by the
 * functions above (the library also sets errno to the same number). */
KDX_API uint32_t KDX_CALL KDXGetLastError(void);

/* Portability addition: the settings of one conversion, for hosts that give
 * each conversion its own (the Python binding). A field left 0 takes what
 * InitKDX takes from the environment: KDX2XML_DECIMAL_SEPARATOR or the
 * locale, SOURCE_DATE_EPOCH or the clock, KDX2XML_MAX_XML_SIZE. Fields past
 * StructSize count as 0, so a host built against an older header works. */
typedef struct KDXSettings {
  uint32_t StructSize;       /* sizeof(KDXSettings) */
  uint32_t DecimalSeparator; /* a byte, 1 to 255 */
  int32_t TodayYear;         /* today's date: 1..9999, 1..12, a day of that month */
  int32_t TodayMonth;
  int32_t TodayDay;
  uint32_t Reserved;         /* 0 */
  uint64_t MaxXmlSize;       /* the most XML bytes; above 2^31 - 1 counts as 2^31 - 1 */
} KDXSettings;

/* InitKDX with the settings given (NULL: none); a setting out of its range
 * returns 0 with last error 87. */
KDX_API KDXHandle KDX_CALL InitKDXWithSettings(const void *Data, int32_t Size,
                                               const KDXSettings *Settings);
#endif

#define KDX_ERROR_INVALID_HANDLE 6u
#define KDX_ERROR_INVALID_DATA 13u
#define KDX_ERROR_INVALID_PARAMETER 87u
#define KDX_ERROR_INSUFFICIENT_BUFFER 122u

#ifdef __cplusplus
}
#endif

#endif /* KDX2XML_KDX2XML_H */
