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
bool IsWritableRange(const void* data, uint64_t size);

}  // namespace kdx::api
