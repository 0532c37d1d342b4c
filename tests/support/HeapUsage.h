#pragma once

#include <QtGlobal>
#include <functional>

// Bytes of heap in use by the whole process right now: what the allocator has handed out and not
// yet taken back (under AddressSanitizer, without its quarantine of freed blocks).
qint64 heapBytesInUse();

// Runs the Qt event loop until `done` is true or `timeoutMs` passed, and returns by how much the
// heap in use grew at most meanwhile; stops early once it passed `budget` bytes.
qint64 peakHeapGrowthUntil(const std::function<bool()>& done, qint64 budget, int timeoutMs);

// Calls `send` `count` times, once a turn of the event loop, then runs the loop until `done`;
// returns by how much the heap in use grew at most meanwhile (until `timeoutMs` at the latest).
qint64 peakHeapGrowthSending(int count, const std::function<void()>& send, const std::function<bool()>& done,
                             int timeoutMs);
