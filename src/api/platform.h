// What the exports need of the platform: the thread's last-error code and
// checks that a memory range can be read or written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kdx::api {

void SetLastErrorCode(uint32_t code);
uint32_t LastErrorCode();
// True when size bytes at data can be read (size 0 always can; a negative size never).
bool IsReadableRange(const void* data, int64_t size);
// True when size bytes at data can be written. Off Windows the check reads one
// byte of every page and writes it back unchanged.
bool IsWritableRange(void* data, uint64_t size);
// Asks for huge pages behind the part of a host's buffer made of whole
// 2 MB pages, which GetData is about to fill: filling it then takes one
// page fault per 2 MB instead of one per 4 KB. A hint only; the buffer's
// bytes are not touched.
void AdviseHugePages(void* data, size_t size);
// Copies size bytes from src to dst; false, with nothing or a part copied,
// when a byte at dst cannot be written.
bool CopyToRange(void* dst, const void* src, size_t size);

}  // namespace kdx::api
