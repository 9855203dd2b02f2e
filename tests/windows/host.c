/* A Windows host of kdx2xml.dll: loads the DLL, converts documents through its
 * five exports, writes the XML and checks the exports' error paths.
 *
 *   kdx2xml-host [--errors-ok] DLL OUTDIR FILE.kdx...
 *
 * Each FILE.kdx is converted and its XML written to OUTDIR\FILE.xml. A
 * document that cannot be converted gets OUTDIR\FILE.err with the library's
 * failure text (UTF-8); that is a failed check unless --errors-ok is given.
 * The error-path checks use the first document that converts.
 *
 * Built with -DKDX2XML_HOST_LINKED the host calls the functions through the
 * DLL's import library instead of LoadLibraryW/GetProcAddress (DLL is then
 * only printed, the loader finds kdx2xml.dll itself).
 *
 * Texts are printed in UTF-8. Prints one PASS/FAIL line per check; the exit code is 0 only when every
 * check passed.
 */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "kdx2xml/kdx2xml.h"

typedef KDXHandle(KDX_CALL *InitKDXFn)(const void *, int32_t);
typedef int32_t(KDX_CALL *GetDataSizeFn)(KDXHandle);
typedef uint32_t(KDX_CALL *GetDataFn)(KDXHandle, void *, uint32_t);
typedef int32_t(KDX_CALL *ReleaseKDXHandleFn)(KDXHandle);
typedef const kdx_char16 *(KDX_CALL *GetLastExceptionTextFn)(void);

static InitKDXFn pInitKDX;
static GetDataSizeFn pGetDataSize;
static GetDataFn pGetData;
static ReleaseKDXHandleFn pReleaseKDXHandle;
static GetLastExceptionTextFn pGetLastExceptionText;

static int g_passed, g_failed;

static void Check(int ok, const char *format, ...) {
  va_list args;
  va_start(args, format);
  printf("%s: ", ok ? "PASS" : "FAIL");
  vprintf(format, args);
  printf("\n");
  va_end(args);
  fflush(stdout);
  if (ok) ++g_passed;
  else ++g_failed;
}

/* UTF-8 copy of a NUL-terminated UTF-16 text (static buffer, "(null)" for NULL). */
static const char *Utf8(const kdx_char16 *text) {
  static char buffers[4][4096]; /* a few texts may be in use in one printf */
  static int next;
  char *buffer = buffers[next++ % 4];
  if (!text) return "(null)";
  if (!WideCharToMultiByte(CP_UTF8, 0, (const wchar_t *)text, -1, buffer, sizeof buffers[0],
                           NULL, NULL)) {
    return "(not convertible)";
  }
  return buffer;
}

static const char *Utf8W(const wchar_t *text) { return Utf8((const kdx_char16 *)text); }

static int TextEquals(const kdx_char16 *text, const wchar_t *expected) {
  return text && wcscmp((const wchar_t *)text, expected) == 0;
}

static int TextStartsWith(const kdx_char16 *text, const wchar_t *prefix) {
  return text && wcsncmp((const wchar_t *)text, prefix, wcslen(prefix)) == 0;
}

static unsigned char *ReadFileBytes(const wchar_t *path, size_t *size) {
  FILE *f = _wfopen(path, L"rb");
  unsigned char *data = NULL;
  long length;
  if (!f) return NULL;
  if (fseek(f, 0, SEEK_END) == 0 && (length = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0) {
    data = (unsigned char *)malloc((size_t)length + 1);
    if (data && fread(data, 1, (size_t)length, f) == (size_t)length) {
      *size = (size_t)length;
    } else {
      free(data);
      data = NULL;
    }
  }
  fclose(f);
  return data;
}

static int WriteFileBytes(const wchar_t *path, const void *data, size_t size) {
  FILE *f = _wfopen(path, L"wb");
  int ok;
  if (!f) return 0;
  ok = fwrite(data, 1, size, f) == size;
  return fclose(f) == 0 && ok;
}

/* OUTDIR\NAME.EXT for the input path .../NAME.kdx */
static void OutputPath(wchar_t *out, size_t count, const wchar_t *dir, const wchar_t *input,
                       const wchar_t *ext) {
  const wchar_t *name = input;
  const wchar_t *p;
  size_t stem;
  for (p = input; *p; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  stem = wcslen(name);
  if (stem > 4 && _wcsicmp(name + stem - 4, L".kdx") == 0) stem -= 4;
  _snwprintf(out, count, L"%ls\\%.*ls%ls", dir, (int)stem, name, ext);
  out[count - 1] = 0;
}

/* Pages of memory with the last page made inaccessible in the given way. */
typedef struct {
  unsigned char *base;
  size_t usable; /* bytes before the last page */
  size_t page;
} Fence;

static int MakeFence(Fence *fence, size_t bytes, DWORD last_page_protection) {
  SYSTEM_INFO info;
  DWORD old;
  GetSystemInfo(&info);
  fence->page = info.dwPageSize;
  fence->usable = (bytes + fence->page - 1) / fence->page * fence->page;
  if (fence->usable == 0) fence->usable = fence->page;
  fence->base = (unsigned char *)VirtualAlloc(NULL, fence->usable + fence->page,
                                              MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!fence->base) return 0;
  return VirtualProtect(fence->base + fence->usable, fence->page, last_page_protection, &old) != 0;
}

static int FenceGuardArmed(const Fence *fence) {
  MEMORY_BASIC_INFORMATION mbi;
  if (!VirtualQuery(fence->base + fence->usable, &mbi, sizeof mbi)) return 0;
  return mbi.State == MEM_COMMIT && (mbi.Protect & PAGE_GUARD) != 0;
}

static void FreeFence(Fence *fence) {
  if (fence->base) VirtualFree(fence->base, 0, MEM_RELEASE);
  fence->base = NULL;
}

/* Checks of the failure texts and argument faults that need no document. */
static void CheckFailures(void) {
  static const unsigned char kind5[] = {'K', 'R', '0', '0', 5, 0, 0, 0, 0};
  static const unsigned char bad_magic[] = {'1', '2', '3', '4', 0, 0, 0, 0, 0};
  static const unsigned char only_magic[] = {'K', 'R', '0', '0'};
  KDXHandle h;
  DWORD error;
  const kdx_char16 *text;

  h = pInitKDX(kind5, (int32_t)sizeof kind5);
  text = pGetLastExceptionText();
  Check(h == 0 && TextEquals(text, L"EConvertException: Неподдерживаемый тип документа: 5"),
        "InitKDX of kind 5 fails with its text [%s]", Utf8(text));

  h = pInitKDX(bad_magic, (int32_t)sizeof bad_magic);
  text = pGetLastExceptionText();
  Check(h == 0 &&
            TextEquals(text, L"EConvertException: Неверная сигнатура заголовка данных: 34333231"),
        "InitKDX with a wrong magic fails with its text [%s]", Utf8(text));

  h = pInitKDX(only_magic, (int32_t)sizeof only_magic);
  text = pGetLastExceptionText();
  Check(h == 0 && TextEquals(text, L"EKDInvalidDoc: Файл (блок данных) не является документом "
                                   L"программы Орвакплан"),
        "InitKDX of the bare magic fails with its text [%s]", Utf8(text));

  h = pInitKDX(kind5, 0);
  text = pGetLastExceptionText();
  Check(h == 0 && TextStartsWith(text, L"EConvertException: "),
        "InitKDX of 0 bytes fails with an EConvertException [%s]", Utf8(text));

  SetLastError(0);
  h = pInitKDX(NULL, 16);
  error = GetLastError();
  text = pGetLastExceptionText();
  Check(h == 0 && error == KDX_ERROR_INVALID_DATA && text == NULL,
        "InitKDX(NULL, 16) returns 0 with last error 13 and no text (got %lu, %s)",
        (unsigned long)error, Utf8(text));

  SetLastError(0);
  h = pInitKDX(kind5, -1);
  error = GetLastError();
  Check(h == 0 && error == KDX_ERROR_INVALID_DATA,
        "InitKDX with a negative size returns 0 with last error 13 (got %lu)",
        (unsigned long)error);

  SetLastError(0);
  {
    const int32_t size = pGetDataSize((KDXHandle)0x12345);
    DWORD after;
    error = GetLastError();
    text = pGetLastExceptionText();
    after = GetLastError();
    Check(size == 0 && error == KDX_ERROR_INVALID_HANDLE && text == NULL &&
              after == KDX_ERROR_INVALID_HANDLE,
          "GetDataSize of a bad handle returns 0 with last error 6, kept across "
          "GetLastExceptionText (got %ld, %lu, then %lu)",
          (long)size, (unsigned long)error, (unsigned long)after);
  }

  SetLastError(0);
  {
    char buffer[16];
    const uint32_t copied = pGetData(0, buffer, sizeof buffer);
    error = GetLastError();
    Check(copied == 0 && error == KDX_ERROR_INVALID_HANDLE,
          "GetData of handle 0 returns 0 with last error 6 (got %lu, %lu)",
          (unsigned long)copied, (unsigned long)error);
  }

  SetLastError(0);
  {
    const int32_t released = pReleaseKDXHandle((KDXHandle)0x12345);
    error = GetLastError();
    Check(released == 0 && error == KDX_ERROR_INVALID_HANDLE,
          "ReleaseKDXHandle of a bad handle returns 0 with last error 6 (got %lu)",
          (unsigned long)error);
  }
}

/* Checks that need a converted document: data is a document that converts. */
static void CheckBuffers(const unsigned char *data, size_t data_size, const wchar_t *name) {
  KDXHandle h;
  int32_t size;
  uint32_t copied;
  DWORD error;
  unsigned char *first, *second;
  Fence fence;

  printf("-- buffer checks on %s\n", Utf8W(name));
  h = pInitKDX(data, (int32_t)data_size);
  Check(h != 0 && pGetLastExceptionText() == NULL,
        "InitKDX succeeds and GetLastExceptionText is then NULL");
  if (!h) return;
  size = pGetDataSize(h);
  Check(size > 0, "GetDataSize is positive (%ld)", (long)size);
  if (size <= 0) return;

  first = (unsigned char *)malloc((size_t)size);
  second = (unsigned char *)malloc((size_t)size);
  if (!first || !second) {
    Check(0, "memory for the buffer checks");
    free(first);
    free(second);
    return;
  }

  SetLastError(0);
  copied = pGetData(h, first, (uint32_t)size - 1);
  error = GetLastError();
  Check(copied == 0 && error == KDX_ERROR_INSUFFICIENT_BUFFER,
        "GetData with a buffer one byte small returns 0 with last error 122 (got %lu, %lu)",
        (unsigned long)copied, (unsigned long)error);

  SetLastError(0);
  copied = pGetData(h, NULL, (uint32_t)size);
  error = GetLastError();
  Check(copied == 0 && error == KDX_ERROR_INVALID_DATA,
        "GetData with a NULL buffer and a size returns 0 with last error 13 (got %lu, %lu)",
        (unsigned long)copied, (unsigned long)error);

  Check(pGetData(h, first, (uint32_t)size) == (uint32_t)size &&
            pGetData(h, second, (uint32_t)size) == (uint32_t)size &&
            memcmp(first, second, (size_t)size) == 0,
        "GetData with the exact size copies it, twice the same bytes");

  /* The range checks only query the pages: a range that runs into a guard
   * page is refused and the guard page stays armed. */
  if (MakeFence(&fence, (size_t)size, PAGE_READWRITE | PAGE_GUARD)) {
    unsigned char *end = fence.base + fence.usable;
    SetLastError(0);
    copied = pGetData(h, end - size, (uint32_t)size + 1);
    error = GetLastError();
    Check(copied == 0 && error == KDX_ERROR_INVALID_DATA && FenceGuardArmed(&fence),
          "GetData into a range that reaches a guard page returns 0 with last error 13 "
          "and leaves the guard page armed (got %lu, %lu)",
          (unsigned long)copied, (unsigned long)error);
    copied = pGetData(h, end - size, (uint32_t)size);
    Check(copied == (uint32_t)size && memcmp(end - size, first, (size_t)size) == 0 &&
              FenceGuardArmed(&fence),
          "GetData into the bytes right before a guard page succeeds (got %lu)",
          (unsigned long)copied);
    FreeFence(&fence);
  } else {
    Check(0, "setting up a guard page (error %lu)", (unsigned long)GetLastError());
  }
  if (MakeFence(&fence, data_size, PAGE_READWRITE | PAGE_GUARD)) {
    unsigned char *end = fence.base + fence.usable;
    KDXHandle g;
    const kdx_char16 *text;
    memcpy(end - data_size, data, data_size);
    SetLastError(0);
    g = pInitKDX(end - data_size, (int32_t)data_size + 1);
    error = GetLastError();
    text = pGetLastExceptionText();
    Check(g == 0 && error == KDX_ERROR_INVALID_DATA && text == NULL && FenceGuardArmed(&fence),
          "InitKDX of a range that reaches a guard page returns 0 with last error 13, no "
          "text, and leaves the guard page armed (got %lu, %s)",
          (unsigned long)error, Utf8(text));
    FreeFence(&fence);
  } else {
    Check(0, "setting up a guard page (error %lu)", (unsigned long)GetLastError());
  }

  if (MakeFence(&fence, (size_t)size, PAGE_NOACCESS)) {
    unsigned char *end = fence.base + fence.usable;
    DWORD old;
    SetLastError(0);
    copied = pGetData(h, end - size + 1, (uint32_t)size);
    error = GetLastError();
    Check(copied == 0 && error == KDX_ERROR_INVALID_DATA,
          "GetData into a range whose last byte is not accessible returns 0 with last error 13 "
          "(got %lu, %lu)", (unsigned long)copied, (unsigned long)error);
    VirtualProtect(fence.base, fence.usable, PAGE_READONLY, &old);
    SetLastError(0);
    copied = pGetData(h, fence.base, (uint32_t)size);
    error = GetLastError();
    Check(copied == 0 && error == KDX_ERROR_INVALID_DATA,
          "GetData into read-only memory returns 0 with last error 13 (got %lu, %lu)",
          (unsigned long)copied, (unsigned long)error);
    FreeFence(&fence);
  } else {
    Check(0, "setting up a no-access page (error %lu)", (unsigned long)GetLastError());
  }

  /* Read-only input converts to the same bytes. */
  if (MakeFence(&fence, data_size, PAGE_NOACCESS)) {
    DWORD old;
    KDXHandle g;
    memcpy(fence.base, data, data_size);
    VirtualProtect(fence.base, fence.usable, PAGE_READONLY, &old);
    memset(second, 0, (size_t)size);
    g = pInitKDX(fence.base, (int32_t)data_size);
    Check(g != 0 && pGetDataSize(g) == size &&
              pGetData(g, second, (uint32_t)size) == (uint32_t)size &&
              memcmp(first, second, (size_t)size) == 0 && pReleaseKDXHandle(g) == -1,
          "InitKDX of read-only memory converts to the same XML");
    FreeFence(&fence);
  } else {
    Check(0, "setting up a read-only page (error %lu)", (unsigned long)GetLastError());
  }

  Check(pReleaseKDXHandle(h) == -1, "ReleaseKDXHandle returns -1");
  {
    int32_t result;
    SetLastError(0);
    result = pReleaseKDXHandle(h);
    error = GetLastError();
    Check(result == 0 && error == KDX_ERROR_INVALID_HANDLE,
          "ReleaseKDXHandle of a released handle returns 0 with last error 6 (got %ld, %lu)",
          (long)result, (unsigned long)error);
    SetLastError(0);
    result = pGetDataSize(h);
    error = GetLastError();
    Check(result == 0 && error == KDX_ERROR_INVALID_HANDLE,
          "GetDataSize of a released handle returns 0 with last error 6 (got %ld, %lu)",
          (long)result, (unsigned long)error);
  }
  free(first);
  free(second);
}

/* Converts one file; returns 1 when it converted. */
static int ConvertFile(const wchar_t *path, const wchar_t *outdir, int errors_ok) {
  size_t size = 0;
  unsigned char *data = ReadFileBytes(path, &size);
  wchar_t out[MAX_PATH * 2];
  KDXHandle h;
  int converted = 0;

  if (!data) {
    Check(0, "read %s", Utf8W(path));
    return 0;
  }
  h = pInitKDX(data, (int32_t)size);
  if (h) {
    const int32_t xml_size = pGetDataSize(h);
    unsigned char *xml = (unsigned char *)malloc(xml_size > 0 ? (size_t)xml_size : 1);
    const uint32_t copied = xml ? pGetData(h, xml, (uint32_t)xml_size) : 0;
    OutputPath(out, sizeof out / sizeof out[0], outdir, path, L".xml");
    converted = xml_size > 0 && copied == (uint32_t)xml_size &&
                WriteFileBytes(out, xml, (size_t)xml_size);
    Check(converted && pReleaseKDXHandle(h) == -1, "convert %s -> %s (%ld bytes)", Utf8W(path),
          Utf8W(out), (long)xml_size);
    free(xml);
  } else {
    const kdx_char16 *text = pGetLastExceptionText();
    const char *utf8 = Utf8(text);
    OutputPath(out, sizeof out / sizeof out[0], outdir, path, L".err");
    WriteFileBytes(out, utf8, strlen(utf8));
    if (errors_ok) {
      printf("NOTE: %s does not convert: %s\n", Utf8W(path), utf8);
    } else {
      Check(0, "convert %s: %s", Utf8W(path), utf8);
    }
  }
  free(data);
  return converted;
}

#if defined(KDX2XML_HOST_LINKED)
static int BindFunctions(const wchar_t *dll) {
  (void)dll;
  pInitKDX = InitKDX;
  pGetDataSize = GetDataSize;
  pGetData = GetData;
  pReleaseKDXHandle = ReleaseKDXHandle;
  pGetLastExceptionText = GetLastExceptionText;
  {
    wchar_t path[MAX_PATH];
    HMODULE module = GetModuleHandleW(L"kdx2xml.dll");
    Check(module && GetModuleFileNameW(module, path, MAX_PATH) > 0,
          "kdx2xml.dll linked through its import library: %s", module ? Utf8W(path) : "?");
  }
  return 1;
}
#else
static int BindFunctions(const wchar_t *dll) {
  HMODULE module = LoadLibraryW(dll);
  Check(module != NULL, "LoadLibraryW %s (error %lu)", Utf8W(dll),
        (unsigned long)(module ? 0 : GetLastError()));
  if (!module) return 0;
  pInitKDX = (InitKDXFn)(void (*)(void))GetProcAddress(module, "InitKDX");
  pGetDataSize = (GetDataSizeFn)(void (*)(void))GetProcAddress(module, "GetDataSize");
  pGetData = (GetDataFn)(void (*)(void))GetProcAddress(module, "GetData");
  pReleaseKDXHandle =
      (ReleaseKDXHandleFn)(void (*)(void))GetProcAddress(module, "ReleaseKDXHandle");
  pGetLastExceptionText =
      (GetLastExceptionTextFn)(void (*)(void))GetProcAddress(module, "GetLastExceptionText");
  Check(pInitKDX && pGetDataSize && pGetData && pReleaseKDXHandle && pGetLastExceptionText,
        "GetProcAddress finds InitKDX, GetDataSize, GetData, ReleaseKDXHandle, "
        "GetLastExceptionText");
  return pInitKDX && pGetDataSize && pGetData && pReleaseKDXHandle && pGetLastExceptionText;
}
#endif

int wmain(int argc, wchar_t **argv) {
  int i = 1;
  int errors_ok = 0;
  int buffers_checked = 0;
  const wchar_t *dll, *outdir;

  if (i < argc && wcscmp(argv[i], L"--errors-ok") == 0) {
    errors_ok = 1;
    ++i;
  }
  if (argc - i < 2) {
    fprintf(stderr, "usage: kdx2xml-host [--errors-ok] DLL OUTDIR FILE.kdx...\n");
    return 2;
  }
  dll = argv[i++];
  outdir = argv[i++];

  if (BindFunctions(dll)) {
    CheckFailures();
    for (; i < argc; ++i) {
      if (ConvertFile(argv[i], outdir, errors_ok) && !buffers_checked) {
        size_t size = 0;
        unsigned char *data = ReadFileBytes(argv[i], &size);
        if (data) {
          CheckBuffers(data, size, argv[i]);
          buffers_checked = 1;
          free(data);
        }
      }
    }
    if (!buffers_checked) Check(0, "no document converted, so the buffer checks did not run");
  }
  if (g_failed) {
    printf("kdx2xml-host: %d of %d checks FAILED\n", g_failed, g_passed + g_failed);
  } else {
    printf("kdx2xml-host: all %d checks passed\n", g_passed);
  }
  return g_failed ? 1 : 0;
}
