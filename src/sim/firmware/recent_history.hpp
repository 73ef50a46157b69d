#pragma once
// The last `Capacity` entries of a record that may grow without end (a reader polled for days), in
// the order they came, with the number of entries ever added. Reads like a read-only sequence, and
// compares with and converts to a vector, so a test can look at it as it looks at a list.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace rfsim {

template <typename T, std::size_t Capacity>
class RecentHistory {
    static_assert(Capacity > 0);

  public:
    using value_type = T;
    using size_type = std::size_t;
    using const_iterator = typename std::deque<T>::const_iterator;
    using iterator = const_iterator;

    static constexpr std::size_t capacity() { return Capacity; }

    void push_back(const T& value) {
        if (entries_.size() == Capacity) entries_.pop_front();
        entries_.push_back(value);
        ++total_;
    }

    // Entries added since the start, also those no longer kept.
    std::uint64_t total() const { return total_; }

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const T& front() const { return entries_.front(); }
    const T& back() const { return entries_.back(); }
    const T& operator[](std::size_t i) const { return entries_[i]; }

    operator std::vector<T>() const { return std::vector<T>(entries_.begin(), entries_.end()); }

    friend bool operator==(const RecentHistory& history, const std::vector<T>& list) {
        return std::equal(history.begin(), history.end(), list.begin(), list.end());
    }

  private:
    std::deque<T> entries_;
    std::uint64_t total_ = 0;
};

}  // namespace rfsim
