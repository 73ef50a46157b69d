#pragma once
// Counts one open TCP connection for as long as it lives, on its worker and in connectNum.

#include <atomic>
#include <memory>

#include "service/frontend/front_state.hpp"

class ConnectionSlot {
  public:
    ConnectionSlot(std::shared_ptr<FrontState> front, std::atomic<int>* workerCount)
        : front_(std::move(front)), workerCount_(workerCount) {
        ++front_->connectNum;
        ++*workerCount_;
    }
    ~ConnectionSlot() {
        if (!front_) return;
        --front_->connectNum;
        --*workerCount_;
    }
    ConnectionSlot(ConnectionSlot&& other) noexcept
        : front_(std::move(other.front_)), workerCount_(other.workerCount_) {}
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(ConnectionSlot&&) = delete;

    FrontState& front() const { return *front_; }
    const std::shared_ptr<FrontState>& frontPtr() const { return front_; }

  private:
    std::shared_ptr<FrontState> front_;
    std::atomic<int>* workerCount_;
};
