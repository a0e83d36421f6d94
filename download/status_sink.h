// Where a downloader's status messages go. The owner of the receiving window keeps the sink
// and disconnects it when the window goes away: from then on nothing more is delivered, so a
// worker that is still running finishes quietly.
#pragma once

#include <atomic>
#include <cstdint>

namespace tavrin {

class StatusSink {
public:
    virtual ~StatusSink() = default;

    // Delivers one status synchronously unless disconnected; text is valid only during the call.
    void Send(uint16_t code, uint16_t percent, const char* text) {
        if (m_connected.load(std::memory_order_acquire)) Deliver(code, percent, text);
    }
    // Safe from any thread. A delivery already under way is not waited for: waiting would
    // deadlock when the receiver's own thread disconnects while the worker waits for it.
    void Disconnect() { m_connected.store(false, std::memory_order_release); }
    bool connected() const { return m_connected.load(std::memory_order_acquire); }

protected:
    virtual void Deliver(uint16_t code, uint16_t percent, const char* text) = 0;

private:
    std::atomic<bool> m_connected{true};
};

}  // namespace tavrin
