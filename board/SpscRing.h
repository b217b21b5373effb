#pragma once
// A bounded single-producer single-consumer ring of trivially copyable items, lock-free and
// allocation-free after construction: one thread pushes (a real-time thread that must never
// wait), one other thread pops (a thread that may block on a file or a device).
//
// The two indices grow without bound (64-bit, never wrapping in practice) and are reduced modulo
// the capacity, a power of two; each side caches the other's index so that the shared cache line
// is read only when the cached value says the ring looks full (producer) or empty (consumer).
// head_ and tail_ live on their own cache lines so the two threads do not share one, and the
// slots fill whole cache lines of their own, so neither thread's writes to them share a line with
// a neighbouring heap object.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <type_traits>

namespace kesto {

template <class T> class SpscRing {
    static_assert(std::is_trivially_copyable_v<T>, "items are copied with plain assignment");

public:
    static constexpr std::size_t CacheLine = 64;

    // Room for at least `minCapacity` items (rounded up to a power of two, at least 2).
    explicit SpscRing(std::size_t minCapacity)
        : capacity_(roundUp(minCapacity)), mask_(capacity_ - 1), slots_(allocateSlots(capacity_)) {}
    SpscRing(const SpscRing &) = delete;
    SpscRing &operator=(const SpscRing &) = delete;

    std::size_t capacity() const { return capacity_; }

    // Producer only. False, leaving the ring unchanged, when there is no room.
    bool push(const T &item) { return pushAll(std::span<const T>(&item, 1)) == 1; }

    // Producer only. Pushes items in order while there is room; returns how many it pushed.
    std::size_t pushAll(std::span<const T> items) {
        // Relaxed: only this thread writes tail_.
        const std::uint64_t tail = tail_.value.load(std::memory_order_relaxed);
        std::size_t room = capacity_ - static_cast<std::size_t>(tail - headCache_);
        if (room < items.size()) {
            // Acquire: the consumer's reads of the slots it freed happen before we overwrite them.
            headCache_ = head_.value.load(std::memory_order_acquire);
            room = capacity_ - static_cast<std::size_t>(tail - headCache_);
        }
        const std::size_t n = room < items.size() ? room : items.size();
        for (std::size_t i = 0; i < n; ++i)
            slots_[(tail + i) & mask_] = items[i];
        // Release: the slots written above are visible to a consumer that sees the new tail.
        tail_.value.store(tail + n, std::memory_order_release);
        return n;
    }

    // Consumer only. Copies up to out.size() items out, oldest first; returns how many.
    std::size_t popAll(std::span<T> out) {
        // Relaxed: only this thread writes head_.
        const std::uint64_t head = head_.value.load(std::memory_order_relaxed);
        std::size_t ready = static_cast<std::size_t>(tailCache_ - head);
        if (ready < out.size()) {
            // Acquire: pairs with the producer's release, so the slots up to tail are written.
            tailCache_ = tail_.value.load(std::memory_order_acquire);
            ready = static_cast<std::size_t>(tailCache_ - head);
        }
        const std::size_t n = ready < out.size() ? ready : out.size();
        for (std::size_t i = 0; i < n; ++i)
            out[i] = slots_[(head + i) & mask_];
        // Release: our reads of those slots happen before the producer may reuse them.
        head_.value.store(head + n, std::memory_order_release);
        return n;
    }

    // Either side; a snapshot that may be stale by the time it is used.
    std::size_t size() const {
        // Acquire on both: a consistent-enough estimate; only used for reports and tests.
        const std::uint64_t head = head_.value.load(std::memory_order_acquire);
        const std::uint64_t tail = tail_.value.load(std::memory_order_acquire);
        return static_cast<std::size_t>(tail - head);
    }

private:
    struct alignas(CacheLine) Index {
        std::atomic<std::uint64_t> value{0};
    };
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
    static_assert(sizeof(Index) == CacheLine && alignof(Index) == CacheLine);

    static std::size_t roundUp(std::size_t n) {
        std::size_t c = 2;
        while (c < n)
            c *= 2;
        return c;
    }

    // The slots' storage: aligned to a cache line and a whole number of lines long.
    static_assert(alignof(T) <= CacheLine);
    struct FreeSlots {
        void operator()(T *items) const { ::operator delete[](items, std::align_val_t{CacheLine}); }
    };
    static std::unique_ptr<T[], FreeSlots> allocateSlots(std::size_t capacity) {
        const std::size_t bytes = (capacity * sizeof(T) + CacheLine - 1) / CacheLine * CacheLine;
        T *items = static_cast<T *>(::operator new[](bytes, std::align_val_t{CacheLine}));
        std::uninitialized_value_construct_n(items, capacity);
        return std::unique_ptr<T[], FreeSlots>(items);
    }

    // Read-only after construction: shared by both threads without contention.
    const std::size_t capacity_;
    const std::size_t mask_;
    const std::unique_ptr<T[], FreeSlots> slots_;
    // The consumer's index and its copy of the producer's, then the producer's index and its copy
    // of the consumer's.
    Index head_;
    alignas(CacheLine) std::uint64_t tailCache_ = 0; // consumer's copy of tail_
    Index tail_;
    alignas(CacheLine) std::uint64_t headCache_ = 0; // producer's copy of head_
};

// One line for the read-only part, then head_, the consumer's cache, tail_, the producer's cache.
static_assert(alignof(SpscRing<float>) == SpscRing<float>::CacheLine);
static_assert(sizeof(SpscRing<float>) == 5 * SpscRing<float>::CacheLine);

} // namespace kesto
