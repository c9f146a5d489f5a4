#include "model/fixedsizepool.h"

#include <QTest>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

namespace
{
// Words that differ for every slot and every place in it, so that a slot also
// handed to another owner, or overlapping another slot, loses its own.
void fill(void *slot, std::size_t size, quint64 key)
{
    auto *words = static_cast<quint64 *>(slot);
    for (std::size_t i = 0; i < size / 8; ++i) {
        words[i] = key * 64 + i;
    }
}

bool intact(const void *slot, std::size_t size, quint64 key)
{
    const auto *words = static_cast<const quint64 *>(slot);
    for (std::size_t i = 0; i < size / 8; ++i) {
        if (words[i] != key * 64 + i) {
            return false;
        }
    }
    return true;
}

std::vector<void *> allocateMany(std::size_t size, std::size_t count)
{
    std::vector<void *> slots(count);
    std::generate(slots.begin(), slots.end(), [size] {
        return FixedSizePool::allocate(size);
    });
    return slots;
}

void releaseAll(const std::vector<void *> &slots, std::size_t size)
{
    for (void *slot : slots) {
        FixedSizePool::release(slot, size);
    }
}

std::vector<void *> sorted(std::vector<void *> slots)
{
    std::sort(slots.begin(), slots.end());
    return slots;
}

int liveObjects = 0;

// A pooled class of the slot size; its words span the whole object.
class Pooled : public PooledAllocation<Pooled>
{
public:
    explicit Pooled(quint64 key)
    {
        ++liveObjects;
        fill(words, sizeof(words), key);
    }
    virtual ~Pooled()
    {
        --liveObjects;
    }
    virtual bool intact(quint64 key) const
    {
        return ::intact(words, sizeof(words), key);
    }

private:
    quint64 words[5];
};
static_assert(sizeof(Pooled) == 48);

// Larger than a slot: placed in one, it would write over its neighbour.
class Larger final : public Pooled
{
public:
    explicit Larger(quint64 key)
        : Pooled(key)
    {
        fill(more, sizeof(more), ~key);
    }
    bool intact(quint64 key) const override
    {
        return Pooled::intact(key) && ::intact(more, sizeof(more), ~key);
    }

private:
    quint64 more[6];
};
}

class FixedSizePoolTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void slotsAreDistinctAndKeepTheirBytes_data();
    void slotsAreDistinctAndKeepTheirBytes();
    void releasedSlotsAreReused_data();
    void releasedSlotsAreReused();
    void slotsReleasedOnOtherThreadsAreReused();
    void pooledClassesKeepLargerDerivedOnesApart_data();
    void pooledClassesKeepLargerDerivedOnesApart();
};

void FixedSizePoolTest::slotsAreDistinctAndKeepTheirBytes_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("smallest") << 16;
    QTest::newRow("node") << 48;
    QTest::newRow("content-block") << 72;
    QTest::newRow("largest") << int(FixedSizePool::MaxSlotSize);
}

void FixedSizePoolTest::slotsAreDistinctAndKeepTheirBytes()
{
    QFETCH(int, size);
    const std::vector<void *> slots = allocateMany(size, 100000);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        fill(slots[i], size, i);
    }
    std::size_t i = 0;
    while (i < slots.size() && intact(slots[i], size, i)) {
        ++i;
    }
    QVERIFY2(i == slots.size(), qPrintable(QStringLiteral("slot %1 was overwritten").arg(i)));
    const std::vector<void *> addresses = sorted(slots);
    QVERIFY(std::all_of(addresses.begin(), addresses.end(), [](void *slot) {
        return quintptr(slot) % 8 == 0;
    }));
    QVERIFY(std::adjacent_find(addresses.begin(),
                               addresses.end(),
                               [size](void *slot, void *next) {
                                   return quintptr(next) - quintptr(slot) < quintptr(size);
                               })
            == addresses.end());
    releaseAll(slots, size);
}

void FixedSizePoolTest::releasedSlotsAreReused_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("count");
    QTest::newRow("one") << 48 << 1;
    QTest::newRow("what-a-thread-keeps") << 48 << 300;
    QTest::newRow("beyond-what-a-thread-keeps") << 72 << 20000;
}

void FixedSizePoolTest::releasedSlotsAreReused()
{
    if (FixedSizePool::PassesThrough) {
        QSKIP("Built with AddressSanitizer, the pool hands every request to the sanitizer's allocator");
    }
    QFETCH(int, size);
    QFETCH(int, count);
    const std::vector<void *> first = allocateMany(size, count);
    const std::size_t chunks = FixedSizePool::chunkCount(size);
    releaseAll(first, size);
    const std::vector<void *> second = allocateMany(size, count);
    QVERIFY(sorted(first) == sorted(second));
    QCOMPARE(FixedSizePool::chunkCount(size), chunks);
    releaseAll(second, size);
}

// Threads build trees on every core, and another thread frees each one.
void FixedSizePoolTest::slotsReleasedOnOtherThreadsAreReused()
{
    constexpr std::size_t size = 48;
    constexpr std::size_t threadCount = 4;
    constexpr std::size_t slotsPerThread = 200000;
    std::vector<std::size_t> chunksAfterRound;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::vector<void *>> slots(threadCount);
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < threadCount; ++t) {
            threads.emplace_back([&slots, t] {
                slots[t] = allocateMany(size, slotsPerThread);
                for (std::size_t i = 0; i < slotsPerThread; ++i) {
                    fill(slots[t][i], size, t * slotsPerThread + i);
                }
            });
        }
        std::for_each(threads.begin(), threads.end(), std::mem_fn(&std::thread::join));
        threads.clear();

        std::vector<char> intactOnRelease(threadCount);
        for (std::size_t t = 0; t < threadCount; ++t) {
            threads.emplace_back([&slots, &intactOnRelease, t] {
                const std::size_t owner = (t + 1) % threadCount;
                bool allIntact = true;
                for (std::size_t i = 0; i < slotsPerThread; ++i) {
                    allIntact = allIntact && intact(slots[owner][i], size, owner * slotsPerThread + i);
                    FixedSizePool::release(slots[owner][i], size);
                }
                intactOnRelease[t] = allIntact;
            });
        }
        std::for_each(threads.begin(), threads.end(), std::mem_fn(&std::thread::join));
        QCOMPARE(std::count(intactOnRelease.begin(), intactOnRelease.end(), 1), qint64(threadCount));
        chunksAfterRound.push_back(FixedSizePool::chunkCount(size));
    }
    // A thread may still hold part of a batch when another finds the shared
    // lists empty and carves a new chunk; the slots come back when it exits.
    QVERIFY2(chunksAfterRound.back() <= chunksAfterRound.front() + 1,
             qPrintable(QStringLiteral("chunks after each round: %1, %2, %3").arg(chunksAfterRound[0]).arg(chunksAfterRound[1]).arg(chunksAfterRound[2])));
}

void FixedSizePoolTest::pooledClassesKeepLargerDerivedOnesApart_data()
{
    QTest::addColumn<bool>("pooled");
    QTest::addColumn<bool>("larger");
    QTest::newRow("pooled-size") << true << false;
    QTest::newRow("larger-derived") << false << true;
    QTest::newRow("alternating") << true << true;
}

void FixedSizePoolTest::pooledClassesKeepLargerDerivedOnesApart()
{
    QFETCH(bool, pooled);
    QFETCH(bool, larger);
    constexpr int count = 1000;
    // Free slots enough that the objects made after the deletion below come
    // from them, not from a chunk that may lie where deleted ones were.
    releaseAll(allocateMany(sizeof(Pooled), 2 * count), sizeof(Pooled));

    std::vector<std::unique_ptr<Pooled>> objects;
    for (int i = 0; i < count; ++i) {
        const bool makesLarger = larger && (!pooled || i % 2 == 0);
        objects.push_back(makesLarger ? std::make_unique<Larger>(i) : std::make_unique<Pooled>(i));
    }
    QCOMPARE(liveObjects, count);
    std::vector<void *> largerAddresses;
    for (int i = 0; i < count; ++i) {
        QVERIFY2(objects[i]->intact(i), qPrintable(QStringLiteral("object %1 was overwritten").arg(i)));
        if (dynamic_cast<Larger *>(objects[i].get())) {
            largerAddresses.push_back(objects[i].get());
        }
    }
    objects.clear();
    QCOMPARE(liveObjects, 0);

    // Larger objects went back to the general allocator: the pool does not hand them out.
    std::sort(largerAddresses.begin(), largerAddresses.end());
    for (int i = 0; i < count; ++i) {
        objects.push_back(std::make_unique<Pooled>(i));
        QVERIFY(!std::binary_search(largerAddresses.begin(), largerAddresses.end(), objects.back().get()));
    }
}

QTEST_GUILESS_MAIN(FixedSizePoolTest)

#include "fixedsizepooltest.moc"
