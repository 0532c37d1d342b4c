#include "support/HeapUsage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>

#include "support/BusyMainThread.h"
#include "support/HttpTestServer.h"

#if defined(__SANITIZE_ADDRESS__)
#include <cstddef>
// From the sanitizer runtime (its header is not always installed).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

qint64 heapBytesInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<qint64>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
#endif
}

qint64 residentBytes() {
    std::unique_ptr<FILE, int (*)(FILE*)> status(std::fopen("/proc/self/status", "r"), &std::fclose);
    char line[256];
    while (status && std::fgets(line, sizeof line, status.get())) {
        long long kib = 0;
        if (std::sscanf(line, "VmRSS: %lld kB", &kib) == 1) {
            return kib * 1024;
        }
    }
    return 0;
}

bool residentFollowsHeap() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    return true;
#endif
}

testing::AssertionResult grewLessThan(const MemoryGrowth& growth, qint64 budget) {
    const bool ok = growth.heap < budget && (!residentFollowsHeap() || growth.resident < budget);
    auto result = ok ? testing::AssertionSuccess() : testing::AssertionFailure();
    return result << "heap +" << growth.heap / 1024 << " KiB, resident +" << growth.resident / 1024 << " KiB, budget "
                  << budget / 1024 << " KiB";
}

MemoryGrowth peakGrowthUntil(const std::function<bool()>& done, qint64 budget, int timeoutMs, MainThread load) {
    std::optional<BusyMainThread> busy;
    if (load == MainThread::Busy) {
        busy.emplace();
    }
    const qint64 heapStart = heapBytesInUse();
    const qint64 residentStart = residentBytes();
    MemoryGrowth peak;
    const auto overBudget = [&] { return peak.heap > budget || (residentFollowsHeap() && peak.resident > budget); };
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !overBudget() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        peak.heap = std::max(peak.heap, heapBytesInUse() - heapStart);
        peak.resident = std::max(peak.resident, residentBytes() - residentStart);
    }
    return peak;
}

MemoryGrowth measureGrowth(const char* what, MainThread load, qint64 budget, const std::function<void()>& start,
                           const std::function<bool()>& ended, int timeoutMs) {
    start();
    const MemoryGrowth growth = peakGrowthUntil(ended, budget, timeoutMs, load);
    std::cout << "[ measured ] " << what << (load == MainThread::Busy ? ", busy main thread" : ", idle main thread")
              << ": heap +" << growth.heap / 1024 << " KiB, resident +" << growth.resident / 1024 << " KiB\n";
    return growth;
}

void expectEndlessRepliesCutShort(const char* what, const HttpTestServer& server, qint64 budget,
                                  const std::function<void()>& send, const std::function<bool()>& settled) {
    for (const MainThread load : {MainThread::Idle, MainThread::Busy}) {
        const int ended = server.abandonedStreams();
        const MemoryGrowth growth =
            measureGrowth(what, load, budget, send, [&] { return settled() && server.abandonedStreams() > ended; });
        EXPECT_TRUE(grewLessThan(growth, budget)) << what;
        EXPECT_EQ(server.abandonedStreams(), ended + 1) << what;
    }
}

qint64 peakHeapGrowthUntil(const std::function<bool()>& done, qint64 budget, int timeoutMs) {
    return peakGrowthUntil(done, budget, timeoutMs).heap;
}

qint64 peakHeapGrowthSending(int count, const std::function<void()>& send, const std::function<bool()>& done,
                             int timeoutMs) {
    int sent = 0;
    const auto sendOne = [&] {
        if (sent < count) {
            send();
            ++sent;
        }
        return sent == count && done();
    };
    return peakHeapGrowthUntil(sendOne, std::numeric_limits<qint64>::max(), timeoutMs);
}
