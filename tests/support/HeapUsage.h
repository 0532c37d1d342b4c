#pragma once

#include <gtest/gtest.h>

#include <QtGlobal>
#include <functional>

class HttpTestServer;

// Bytes of heap in use by the whole process right now: what the allocator has handed out and not
// yet taken back (under AddressSanitizer, without its quarantine of freed blocks).
qint64 heapBytesInUse();

// Bytes of the whole process resident in memory right now (VmRSS).
qint64 residentBytes();

// Whether resident memory tells anything about the heap: not under AddressSanitizer, whose shadow
// memory and quarantine of freed blocks stay resident.
bool residentFollowsHeap();

enum class MainThread { Idle, Busy };

// By how much the process grew at most over a stretch of time.
struct MemoryGrowth {
    qint64 heap = 0;
    qint64 resident = 0;
};

// Both kinds of growth below `budget` (resident memory only where it follows the heap); the
// message names the numbers.
testing::AssertionResult grewLessThan(const MemoryGrowth& growth, qint64 budget);

// Runs the Qt event loop until `done` is true or `timeoutMs` passed, with the main thread kept busy
// meanwhile when asked, and returns by how much the heap in use and the resident memory grew at
// most; stops early once the growth passed `budget`.
MemoryGrowth peakGrowthUntil(const std::function<bool()>& done, qint64 budget, int timeoutMs,
                             MainThread load = MainThread::Idle);

// Calls `start`, then measures as above until `ended`, and prints the growth as "[ measured ]"
// for `what` under `load`.
MemoryGrowth measureGrowth(const char* what, MainThread load, qint64 budget, const std::function<void()>& start,
                           const std::function<bool()>& ended, int timeoutMs = 20000);

// With `server` answering an endless body: calls `send` once on an idle and once on a busy main
// thread, and expects each time that the client closes the connection at once (and `settled`
// holds) while the process grows by less than `budget`.
void expectEndlessRepliesCutShort(
    const char* what, const HttpTestServer& server, qint64 budget, const std::function<void()>& send,
    const std::function<bool()>& settled = [] { return true; });

// Heap growth only, on an idle main thread.
qint64 peakHeapGrowthUntil(const std::function<bool()>& done, qint64 budget, int timeoutMs);

// Calls `send` `count` times, once a turn of the event loop, then runs the loop until `done`;
// returns by how much the heap in use grew at most meanwhile (until `timeoutMs` at the latest).
qint64 peakHeapGrowthSending(int count, const std::function<void()>& send, const std::function<bool()>& done,
                             int timeoutMs);
