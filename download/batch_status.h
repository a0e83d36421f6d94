// The statuses of a batch whose files travel side by side: they reach the owner one at a time,
// a read's percentage is of the whole batch, and the first failure (a file no server has, a
// file error, a stop) is the only one the owner hears: it ends the other transfers, and what
// they say while ending is dropped. The batch's last word goes to the owner directly, once
// every transfer has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "download/status_sink.h"

namespace tavrin {

class BatchStatus : public StatusSink {
public:
    // sizes: each file's published size (0: not known yet); empty: a read's percentage stays
    // that of its own file (one file at a time). onFailure runs once, at the first failure,
    // before that status is delivered.
    BatchStatus(std::shared_ptr<StatusSink> owner, std::vector<uint64_t> sizes,
                std::function<void()> onFailure);
    // What file `index` has on the disk, of `total` (0: not known).
    void Progress(size_t index, uint64_t received, uint64_t total);
    // A failure nobody reports (an exception): the batch ends without another word.
    void FailQuietly();
    bool Failed() const { return m_failed.load(std::memory_order_acquire); }
    // The code of the failure the owner heard; 0 when none.
    uint16_t HeardFailure() const;

protected:
    void Deliver(uint16_t code, uint16_t percent, const char* text) override;

private:
    bool Fail();  // true the first time
    uint16_t BatchPercent(uint16_t filePercent) const;

    const std::shared_ptr<StatusSink> m_owner;  // may be null: nothing is sent then
    const std::function<void()> m_onFailure;
    mutable std::mutex m_lock;  // one status at a time, and the figures below
    std::vector<uint64_t> m_sizes, m_received;  // by file
    uint16_t m_heard = 0;
    std::atomic<bool> m_failed{false};
};

}  // namespace tavrin
