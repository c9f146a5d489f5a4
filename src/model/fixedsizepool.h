#pragma once

#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define QUOR_FIXED_SIZE_POOL_PASSES_THROUGH 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUOR_FIXED_SIZE_POOL_PASSES_THROUGH 1
#endif
#endif
#ifndef QUOR_FIXED_SIZE_POOL_PASSES_THROUGH
#define QUOR_FIXED_SIZE_POOL_PASSES_THROUGH 0
#endif

// Slots of one size for the objects the trees hold by the million: their nodes
// and content blocks. The general allocator puts a header before every block
// and rounds it up to 16 bytes, so a 48-byte node costs 64 and a 72-byte block
// 80; a slot costs its size. Each thread takes and gives slots from lists of
// its own without a lock, and trades them in batches with the shared lists.
//
// Slots are carved from 64 KiB chunks that are never given back: the pool
// keeps them reachable, so leak checkers see no leak, and does not free them
// at exit either, because threads and statics destroyed after it may still
// release slots. A slot may be released on any thread, also one that is
// exiting.
//
// Built with AddressSanitizer, every request goes to ::operator new and
// ::operator delete, so that the sanitizer still catches a node used after it
// was freed.
class FixedSizePool
{
public:
    static constexpr std::size_t MaxSlotSize = 256;
    // Whether every request goes to ::operator new (the sanitizer build).
    static constexpr bool PassesThrough = QUOR_FIXED_SIZE_POOL_PASSES_THROUGH;

    // slotSize: a multiple of 8, from 16 to MaxSlotSize. The slot is aligned to 8.
    static void *allocate(std::size_t slotSize);
    // A slot allocated with the same size, on any thread; nullptr is ignored.
    static void release(void *slot, std::size_t slotSize);
    // The chunks taken from the system for slots of this size, for measurements.
    static std::size_t chunkCount(std::size_t slotSize);
};

// Gives a class the pool's slots: `class Node : public PooledAllocation<Node>`.
// Requests of the class's own size come from the pool, others (a larger
// derived class) from ::operator new; so does a class of a size the pool has
// no slots for. delete passes operator delete the size of the object's dynamic
// type only through a virtual destructor: a class with derived classes of
// another size must have one, or else be final.
template<typename Class>
struct PooledAllocation {
    static void *operator new(std::size_t size)
    {
        return pooled(size) ? FixedSizePool::allocate(size) : ::operator new(size);
    }
    static void operator delete(void *object, std::size_t size)
    {
        if (pooled(size)) {
            FixedSizePool::release(object, size);
        } else {
            // Unsized: clang declares the sized form only with -fsized-deallocation.
            ::operator delete(object);
        }
    }

private:
    // In a member, where Class is complete.
    static constexpr bool pooled(std::size_t size)
    {
        return size == sizeof(Class) && size % 8 == 0 && size >= 16 && size <= FixedSizePool::MaxSlotSize;
    }
};
