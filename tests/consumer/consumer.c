/* A program built against an installed kdx2xml, as a user's would be: it
 * converts the document named on its command line and writes the XML to
 * standard output, or prints the failure text and exits with 1. */
#include <kdx2xml/kdx2xml.h>
#include <stdio.h>
#include <stdlib.h>

/* The failure text in UTF-8 (the library's texts are in the Basic Multilingual Plane). */
static void print_utf16(const kdx_char16* text) {
  for (; *text; ++text) {
    unsigned c = *text;
    if (c < 0x80) {
      putc((int)c, stderr);
    } else if (c < 0x800) {
      putc((int)(0xC0 | c >> 6), stderr);
      putc((int)(0x80 | (c & 0x3F)), stderr);
    } else {
      putc((int)(0xE0 | c >> 12), stderr);
      putc((int)(0x80 | ((c >> 6) & 0x3F)), stderr);
      putc((int)(0x80 | (c & 0x3F)), stderr);
    }
  }
  putc('\n', stderr);
}

int main(int argc, char** argv) {
  FILE* in;
  char *data, *xml;
  long size;
  KDXHandle handle;
  int32_t xml_size;
  if (argc != 2 || !(in = fopen(argv[1], "rb"))) return 2;
  fseek(in, 0, SEEK_END);
  size = ftell(in);
  fseek(in, 0, SEEK_SET);
  data = malloc(size > 0 ? (size_t)size : 1);
  if (!data || fread(data, 1, (size_t)size, in) != (size_t)size) {
    free(data);
    fclose(in);
    return 2;
  }
  fclose(in);

  handle = InitKDX(data, (int32_t)size);
  free(data);
  if (!handle) {
    const kdx_char16* why = GetLastExceptionText();
    if (why) print_utf16(why);
    return 1;
  }
  xml_size = GetDataSize(handle);
  xml = malloc((size_t)xml_size);
  if (!xml || GetData(handle, xml, (uint32_t)xml_size) != (uint32_t)xml_size) return 3;
  fwrite(xml, 1, (size_t)xml_size, stdout);
  free(xml);
  return ReleaseKDXHandle(handle) == -1 ? 0 : 3;
}
