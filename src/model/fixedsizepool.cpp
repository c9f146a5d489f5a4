#include "model/fixedsizepool.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#if QUOR_FIXED_SIZE_POOL_PASSES_THROUGH

void *FixedSizePool::allocate(std::size_t slotSize)
{
    return ::operator new(slotSize);
}

void FixedSizePool::release(void *slot, std::size_t)
{
    // Unsized: clang declares the sized form only with -fsized-deallocation.
    ::operator delete(slot);
}

std::size_t FixedSizePool::chunkCount(std::size_t)
{
    return 0;
}

#else

namespace
{
constexpr std::size_t ChunkBytes = 64 * 1024;
// Slots a thread takes from the shared lists at a time; it keeps at most twice
// as many released ones and hands the rest back.
constexpr std::size_t BatchSlots = 256;
constexpr std::size_t SlotSizes = FixedSizePool::MaxSlotSize / 8 - 1;

std::size_t sizeIndex(std::size_t slotSize)
{
    Q_ASSERT(slotSize % 8 == 0 && slotSize >= 16 && slotSize <= FixedSizePool::MaxSlotSize);
    return slotSize / 8 - 2;
}

struct FreeSlot {
    FreeSlot *next;
};

// Free slots, last released first.
struct SlotList {
    FreeSlot *head = nullptr;
    std::size_t count = 0;

    void push(void *slot)
    {
        head = new (slot) FreeSlot{head};
        ++count;
    }
    void *pop()
    {
        FreeSlot *slot = head;
        head = slot->next;
        --count;
        return slot;
    }
    // Keeps the first keep slots (keep >= 1) and answers the others.
    SlotList splitAfter(std::size_t keep)
    {
        FreeSlot *last = head;
        for (std::size_t i = 1; i < keep; ++i) {
            last = last->next;
        }
        const SlotList rest{last->next, count - keep};
        last->next = nullptr;
        count = keep;
        return rest;
    }
};

// The slots of one size that no thread holds.
struct SharedSlots {
    std::mutex mutex;
    std::vector<SlotList> batches;
    std::vector<void *> chunks; // Owned; never freed.
    // The part of the last chunk not carved into slots yet.
    char *uncarved = nullptr;
    char *chunkEnd = nullptr;
};

SharedSlots &shared(std::size_t slotSize)
{
    // Never destroyed: threads and statics destroyed at exit may still release slots.
    static SharedSlots *const all = new SharedSlots[SlotSizes];
    return all[sizeIndex(slotSize)];
}

void handBack(std::size_t slotSize, const SlotList &batch)
{
    SharedSlots &slots = shared(slotSize);
    const std::lock_guard<std::mutex> lock(slots.mutex);
    slots.batches.push_back(batch);
}

// A batch of released slots if there is one, else up to BatchSlots new ones.
SlotList takeBatch(std::size_t slotSize)
{
    SharedSlots &slots = shared(slotSize);
    std::unique_lock<std::mutex> lock(slots.mutex);
    if (!slots.batches.empty()) {
        const SlotList batch = slots.batches.back();
        slots.batches.pop_back();
        return batch;
    }
    if (std::size_t(slots.chunkEnd - slots.uncarved) < slotSize) {
        auto *chunk = static_cast<char *>(std::malloc(ChunkBytes));
        if (!chunk) {
            qFatal("Out of memory for a chunk of %zu-byte slots", slotSize);
        }
        slots.chunks.push_back(chunk);
        slots.uncarved = chunk;
        slots.chunkEnd = chunk + ChunkBytes;
    }
    const std::size_t count = std::min(BatchSlots, std::size_t(slots.chunkEnd - slots.uncarved) / slotSize);
    char *const first = slots.uncarved;
    slots.uncarved += count * slotSize;
    lock.unlock();

    // In address order, the first slot on top.
    SlotList batch;
    for (std::size_t i = count; i > 0; --i) {
        batch.push(first + (i - 1) * slotSize);
    }
    return batch;
}

enum class ThreadState : unsigned char {
    Unused,
    Live,
    // The thread is exiting and has handed its lists back; whatever it
    // releases or allocates from now on goes through the shared lists.
    Exited,
};

// Trivially destructible, so that it stays usable while the thread's other
// thread-local objects are destroyed.
struct ThreadSlots {
    SlotList lists[SlotSizes];
    ThreadState state = ThreadState::Unused;
};
thread_local ThreadSlots threadSlots;

// Hands the thread's lists back when it exits; constructed, and its
// destructor registered, when the thread first names it.
struct ThreadExit {
    ~ThreadExit()
    {
        threadSlots.state = ThreadState::Exited;
        for (std::size_t i = 0; i < SlotSizes; ++i) {
            SlotList &list = threadSlots.lists[i];
            if (list.count > 0) {
                handBack((i + 2) * 8, list);
                list = SlotList();
            }
        }
    }
};
thread_local ThreadExit threadExit;

void startThread()
{
    if (threadSlots.state == ThreadState::Unused) {
        [[maybe_unused]] const ThreadExit &registered = threadExit;
        threadSlots.state = ThreadState::Live;
    }
}

void *allocateSlow(std::size_t slotSize)
{
    startThread();
    if (threadSlots.state == ThreadState::Live) {
        SlotList &list = threadSlots.lists[sizeIndex(slotSize)];
        list = takeBatch(slotSize);
        return list.pop();
    }
    SlotList batch = takeBatch(slotSize);
    void *slot = batch.pop();
    if (batch.count > 0) {
        handBack(slotSize, batch);
    }
    return slot;
}

void releaseSlow(void *slot, std::size_t slotSize)
{
    startThread();
    if (threadSlots.state == ThreadState::Live) {
        SlotList &list = threadSlots.lists[sizeIndex(slotSize)];
        if (list.count >= 2 * BatchSlots) {
            // The slots released longest ago go; the recent ones are likelier in the cache.
            handBack(slotSize, list.splitAfter(BatchSlots));
        }
        list.push(slot);
        return;
    }
    SharedSlots &slots = shared(slotSize);
    const std::lock_guard<std::mutex> lock(slots.mutex);
    if (!slots.batches.empty() && slots.batches.back().count < BatchSlots) {
        slots.batches.back().push(slot);
    } else {
        SlotList single;
        single.push(slot);
        slots.batches.push_back(single);
    }
}
}

void *FixedSizePool::allocate(std::size_t slotSize)
{
    SlotList &list = threadSlots.lists[sizeIndex(slotSize)];
    return list.head ? list.pop() : allocateSlow(slotSize);
}

void FixedSizePool::release(void *slot, std::size_t slotSize)
{
    if (!slot) {
        return;
    }
    SlotList &list = threadSlots.lists[sizeIndex(slotSize)];
    if (threadSlots.state == ThreadState::Live && list.count < 2 * BatchSlots) {
        list.push(slot);
    } else {
        releaseSlow(slot, slotSize);
    }
}

std::size_t FixedSizePool::chunkCount(std::size_t slotSize)
{
    SharedSlots &slots = shared(slotSize);
    const std::lock_guard<std::mutex> lock(slots.mutex);
    return slots.chunks.size();
}

#endif
