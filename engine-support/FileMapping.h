// Read-only whole-file mappings with a process-wide registry of address ->
// {descriptor, length}. The registry is guarded by a lock, so trees on
// different threads may map and unmap at the same time.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// Address of a read-only private mapping of the whole file, or null with
// `length` 0 (missing or empty file, anything but a regular file, file of
// 0xFFFFFFFF bytes or more). Opening never blocks, even on a FIFO.
const uint8_t* mapFile(const std::string& path, uint64_t& length);
// Unmaps an address returned by mapFile; anything else is ignored.
void unmapFile(const void* address);

} // namespace vantor
