// The packages of a batch as they arrive, handed from the download's lanes to the finishing
// worker, which decodes each while the others still come. Any thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

namespace tavrin {

class PackageArrivals {
public:
    // A package whole and checked. Arrivals told before the worker waits are kept for it.
    void Arrived(const std::string& package);
    // Every package is in: the worker goes on to finish once it has taken what arrived. False
    // when the worker no longer listens (it stopped or ended), so nothing would finish.
    bool AllIn();
    // The batch ends without finishing: the worker leaves at once, whatever is still queued.
    void Stop();

    enum class Next { kPackage, kAllIn, kStopped };
    // The worker's wait for the next arrival, every package in, or a stop (which wins).
    Next Wait(std::string* package);
    // The worker no longer listens.
    void Close();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::string> m_queue;
    bool m_allIn = false;
    bool m_stopped = false;
    bool m_closed = false;
};

}  // namespace tavrin
