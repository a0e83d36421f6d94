#include "download/batch_status.h"

#include "download/status_codes.h"
#include "download/status_text.h"

namespace tavrin {

namespace {

bool EndsTheBatch(uint16_t code) {
    return code == STATUS_NET_ERROR || code == STATUS_FILE_ERROR || code == STATUS_USER_STOP ||
           code == STATUS_URL_INVALID;
}

}  // namespace

BatchStatus::BatchStatus(std::shared_ptr<StatusSink> owner, std::vector<uint64_t> sizes,
                         std::function<void()> onFailure)
    : m_owner(std::move(owner)),
      m_onFailure(std::move(onFailure)),
      m_sizes(std::move(sizes)),
      m_received(m_sizes.size(), 0) {}

void BatchStatus::Progress(size_t index, uint64_t received, uint64_t total) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (index >= m_sizes.size()) return;
    m_received[index] = received;
    if (total) m_sizes[index] = total;
}

void BatchStatus::FailQuietly() {
    std::lock_guard<std::mutex> hold(m_lock);
    Fail();
}

uint16_t BatchStatus::HeardFailure() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_heard;
}

bool BatchStatus::Fail() {
    if (m_failed.exchange(true, std::memory_order_acq_rel)) return false;
    if (m_onFailure) m_onFailure();
    return true;
}

// Of every byte the batch is known to need; a file's own while no size is known.
uint16_t BatchStatus::BatchPercent(uint16_t filePercent) const {
    uint64_t received = 0, total = 0;
    for (size_t i = 0; i < m_sizes.size(); ++i) {
        received += m_received[i];
        total += m_sizes[i];
    }
    return total ? PercentOf(received, total) : filePercent;
}

void BatchStatus::Deliver(uint16_t code, uint16_t percent, const char* text) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (Failed()) return;  // the transfers ending after the first failure
    if (EndsTheBatch(code)) {
        Fail();
        m_heard = code;
    }
    if (code == STATUS_DOWNLOAD_SIZE) percent = BatchPercent(percent);
    if (m_owner) m_owner->Send(code, percent, text);
}

}  // namespace tavrin
