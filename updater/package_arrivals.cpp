#include "updater/package_arrivals.h"

namespace tavrin {

void PackageArrivals::Arrived(const std::string& package) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_queue.push_back(package);
    }
    m_changed.notify_all();
}

bool PackageArrivals::AllIn() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_closed || m_stopped) return false;
        m_allIn = true;
    }
    m_changed.notify_all();
    return true;
}

void PackageArrivals::Stop() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopped = true;
    }
    m_changed.notify_all();
}

PackageArrivals::Next PackageArrivals::Wait(std::string* package) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return m_stopped || m_allIn || !m_queue.empty(); });
    if (m_stopped) return Next::kStopped;
    if (m_queue.empty()) return Next::kAllIn;
    *package = m_queue.front();
    m_queue.pop_front();
    return Next::kPackage;
}

void PackageArrivals::Close() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_closed = true;
}

}  // namespace tavrin
