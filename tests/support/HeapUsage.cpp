#include "support/HeapUsage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <limits>

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

qint64 peakHeapGrowthUntil(const std::function<bool()>& done, qint64 budget, int timeoutMs) {
    const qint64 start = heapBytesInUse();
    qint64 peak = 0;
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && peak <= budget && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        peak = std::max(peak, heapBytesInUse() - start);
    }
    return peak;
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
