// Tests of the memory layer: tagged blocks and their guards, the temporary-string arena
// (marks, releases, results kept across a release, limits, high-water marks) and the
// growing buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/store.h"
#include "support/fixtures.h"

using namespace vx::rt;
using vx::test::text;

namespace {

constexpr u16 SMALL_ARENA_KB = 16;  // 16 slots, 16 384 bytes
constexpr u16 OTHER_TAG = 77;

// An arena string holding the given bytes.
Str arena_text(const std::string& t) {
    Str s = tmp_alloc(static_cast<u32>(t.size()), NO_FILL);
    if (s.ok() && !t.empty()) std::memcpy(str_mut(s), t.data(), t.size());
    return s;
}

class MemFixture : public vx::test::MemTest {
protected:
    u16 arena_kb() const override { return SMALL_ARENA_KB; }
};

// ---- Memory blocks ----

using MemBlocks = MemFixture;

TEST_F(MemBlocks, FreeChecksIdentityOwnerAndGuard) {
    char outside[8];
    EXPECT_EQ(mem_free(OTHER_TAG, outside), E_MEMORYALLOCERR);
    EXPECT_EQ(mem_free(OTHER_TAG, nullptr), E_MEMORYALLOCERR);

    auto* p = static_cast<char*>(mem_alloc(OTHER_TAG, 16, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(mem_free(OTHER_TAG, p + 1), E_MEMORYALLOCERR) << "an interior pointer is no block";
    EXPECT_EQ(mem_free(OTHER_TAG + 1, p), E_INTERNAL);
    EXPECT_EQ(mem_free(OTHER_TAG, p), 0) << "a wrong tag leaves the block held";
    EXPECT_EQ(mem_free(OTHER_TAG, p), E_MEMORYALLOCERR) << "released twice";
}

TEST_F(MemBlocks, DamagedGuardIsReportedAndBlockReleased) {
    const u32 sizes[] = {0, 1, 13, 64};
    for (u32 size : sizes) {
        u16 before = mem_blocks_in_use();
        auto* p = static_cast<char*>(mem_alloc(OTHER_TAG, size, 0));
        ASSERT_NE(p, nullptr);
        p[size + 1] = 'X';  // one byte into the guard
        EXPECT_EQ(mem_free(OTHER_TAG, p), E_MEMOVERFLOW) << size;
        EXPECT_EQ(mem_blocks_in_use(), before) << size;
    }
}

TEST_F(MemBlocks, ResizeCopiesUsedBytesAndReleasesOldBlock) {
    auto* p = static_cast<char*>(mem_alloc(OTHER_TAG, 8, 0));
    std::memcpy(p, "abcdefgh", 8);
    u16 before = mem_blocks_in_use();
    auto* q = static_cast<char*>(mem_resize(OTHER_TAG, p, 5, 100));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(std::string(q, 5), "abcde");
    EXPECT_EQ(mem_blocks_in_use(), before);
    EXPECT_EQ(mem_write(q, 99, "z", 1), 0) << "the new block has the new size";
    EXPECT_EQ(mem_free(OTHER_TAG, q), 0);
}

TEST_F(MemBlocks, ResizeRefusesWhatCannotBeCopiedAndKeepsOldBlock) {
    auto* p = static_cast<char*>(mem_alloc(OTHER_TAG, 8, 'a'));
    u16 before = mem_blocks_in_use();
    struct Case {
        const char* what;
        u16 tag;
        u32 used;
        u32 new_size;
    };
    const Case cases[] = {
        {"used bytes do not fit the new size", OTHER_TAG, 8, 4},
        {"used bytes beyond the old block", OTHER_TAG, 9, 100},
        {"block of another owner", OTHER_TAG + 1, 8, 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mem_resize(c.tag, p, c.used, c.new_size), nullptr) << c.what;
        EXPECT_EQ(mem_blocks_in_use(), before) << c.what;
    }
    char outside[8] = {};
    EXPECT_EQ(mem_resize(OTHER_TAG, outside, 4, 16), nullptr) << "unknown block";
    EXPECT_EQ(mem_blocks_in_use(), before);
    EXPECT_EQ(mem_free(OTHER_TAG, p), 0) << "old block still intact";
}

TEST_F(MemBlocks, WriteStaysInsideTheBlock) {
    auto* p = static_cast<char*>(mem_alloc(OTHER_TAG, 8, '.'));
    EXPECT_EQ(mem_write(p, 5, "xyz", 3), 0);
    EXPECT_EQ(std::string(p, 8), ".....xyz");
    EXPECT_EQ(mem_write(p, 6, "abc", 3), E_DATAOUTBOUND);
    EXPECT_EQ(mem_write(p, 0xFFFFFFFF, "a", 1), E_DATAOUTBOUND);
    EXPECT_EQ(mem_write(p + 1, 0, "a", 1), E_DATAOUTBOUND);
    EXPECT_EQ(std::string(p, 8), ".....xyz") << "a refused write changes nothing";
    EXPECT_EQ(mem_free(OTHER_TAG, p), 0) << "guard intact";
}

TEST_F(MemBlocks, FullTableRefusesAllocation) {
    std::vector<void*> held;
    while (void* p = mem_alloc(OTHER_TAG, 4, 0)) held.push_back(p);
    EXPECT_EQ(mem_blocks_in_use(), BLOCK_CAPACITY);
    for (void* p : held) EXPECT_EQ(mem_free(OTHER_TAG, p), 0);
}

// ---- Life cycle ----

using MemLifecycle = MemFixture;

TEST_F(MemLifecycle, SecondInitIsRefused) {
    u16 blocks = mem_blocks_in_use();
    EXPECT_EQ(mem_init(), E_UNDEFWARN);
    EXPECT_EQ(mem_blocks_in_use(), blocks);
    EXPECT_TRUE(mem_ready());
}

TEST_F(MemLifecycle, ShutdownWithLeakedBlockReportsItsTagAndReleasesNothing) {
    ASSERT_EQ(store_push(3, S("kept")), 0);
    void* leaked = mem_alloc(OTHER_TAG, 32, 0);
    ASSERT_NE(leaked, nullptr);
    u16 blocks = mem_blocks_in_use();

    EXPECT_EQ(mem_shutdown(), OTHER_TAG);
    EXPECT_TRUE(mem_ready());
    EXPECT_EQ(mem_blocks_in_use(), blocks);
    EXPECT_EQ(text(store_get(3, 0)), "kept") << "the store survives a refused shutdown";
    EXPECT_TRUE(tmp_alloc(10, 0).ok()) << "so does the arena";

    EXPECT_EQ(mem_free(OTHER_TAG, leaked), 0);
    EXPECT_EQ(mem_shutdown(), 0);
    EXPECT_FALSE(mem_ready());
    EXPECT_EQ(mem_init(), 0) << "the layer starts again after a clean shutdown";
    EXPECT_EQ(store_count(3), 0) << "with an empty store";
}

// ---- Arena: allocation ----

using ArenaAlloc = MemFixture;

TEST_F(ArenaAlloc, LengthsAreRoundedUpToFourBytes) {
    struct Case {
        u32 n;
        u32 takes;
    };
    const Case cases[] = {{0, 0}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 8}, {8, 8}, {9, 12}};
    for (const Case& c : cases) {
        u16 mark = tmp_mark();
        u32 before = tmp_stats().used;
        Str s = tmp_alloc(c.n, NO_FILL);
        ASSERT_TRUE(s.ok());
        EXPECT_EQ(s.n, c.n);
        EXPECT_EQ(tmp_stats().used - before, c.takes) << "length " << c.n;
        EXPECT_EQ(tmp_stats().current, mark + 1) << "even an empty string takes a slot";
        tmp_release(mark);
    }
}

TEST_F(ArenaAlloc, ByteExhaustionFailsAndLeavesArenaUnchanged) {
    // Fill up to 8 bytes short of the end.
    const u32 size = tmp_stats().size;
    ASSERT_TRUE(tmp_alloc(8000, 0).ok());
    ASSERT_TRUE(tmp_alloc(size - 8000 - 8, 0).ok());
    Str last = tmp_top();
    ArenaStats before = tmp_stats();

    Str r = tmp_alloc(5, 0);  // rounded to 8: the top would reach the end
    EXPECT_EQ(str_error_code(r), E_OUTOFMEMORY);
    ArenaStats after = tmp_stats();
    EXPECT_EQ(after.used, before.used);
    EXPECT_EQ(after.current, before.current);
    EXPECT_EQ(tmp_top().p, last.p);
    EXPECT_EQ(tmp_top().n, last.n);

    EXPECT_TRUE(tmp_alloc(4, 0).ok()) << "a run that stays short of the end still fits";
}

TEST_F(ArenaAlloc, SlotExhaustionFailsAndLeavesArenaUnchanged) {
    const u16 slots = tmp_stats().slots;
    for (u16 i = 1; i < slots - 1; i++) ASSERT_TRUE(tmp_alloc(1, 'x').ok()) << i;
    Str last = tmp_alloc(2, 'y');
    ASSERT_TRUE(last.ok()) << "slot capacity - 1 is the last usable slot";
    ArenaStats before = tmp_stats();

    EXPECT_EQ(str_error_code(tmp_alloc(1, 0)), E_OUTOFMEMORY);
    EXPECT_EQ(str_error_code(tmp_alloc(0, 0)), E_OUTOFMEMORY);
    EXPECT_EQ(tmp_stats().current, before.current);
    EXPECT_EQ(tmp_stats().used, before.used);
    EXPECT_EQ(tmp_top().p, last.p);
}

class ArenaLarge : public MemFixture {
protected:
    u16 arena_kb() const override { return 256; }
};

// Any string fits one allocation: 65,535 bytes is the longest a descriptor can hold.
TEST_F(ArenaLarge, SingleAllocationHoldsTheLongestString) {
    Str s = tmp_alloc(65535, 'a');
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s.n, 65535);
    Str next = tmp_alloc(4, 'b');
    ASSERT_TRUE(next.ok());
    EXPECT_EQ(next.p, s.p + 65536) << "the run is rounded up to 4 bytes";
    EXPECT_EQ(s.p[65534], 'a');
    ArenaStats before = tmp_stats();
    for (u32 n : {65536u, 65537u, 1000000u}) {
        EXPECT_EQ(str_error_code(tmp_alloc(n, 0)), E_OUTOFMEMORY) << n;
        EXPECT_EQ(tmp_stats().used, before.used);
        EXPECT_EQ(tmp_stats().current, before.current);
    }
}

// ---- Arena: releasing ----

using ArenaRelease = MemFixture;

TEST_F(ArenaRelease, ReleaseReturnsTopToTheMarkedAllocation) {
    Str kept = tmp_alloc(6, 'k');
    u16 mark = tmp_mark();
    u32 used = tmp_stats().used;
    tmp_alloc(10, 0);
    tmp_alloc(3, 0);
    EXPECT_EQ(tmp_release(mark), mark);
    EXPECT_EQ(tmp_stats().used, used);
    EXPECT_EQ(tmp_top().p, kept.p);
    EXPECT_EQ(tmp_alloc(1, 0).p, kept.p + 8) << "the next run starts behind the rounded mark";
}

TEST_F(ArenaRelease, MarksOutsideTheSlotsChangeNothing) {
    tmp_alloc(4, 0);
    u16 mark = tmp_mark();
    tmp_alloc(4, 0);
    ArenaStats before = tmp_stats();
    for (u16 m : {u16(NOT_FOUND), before.slots, u16(before.slots + 5), u16(before.current + 1)}) {
        EXPECT_EQ(tmp_release(m), tmp_mark()) << m;
        EXPECT_EQ(tmp_stats().used, before.used) << m;
        EXPECT_EQ(tmp_stats().current, before.current) << m;
    }
    EXPECT_EQ(tmp_release(NOT_FOUND), mark + 1);
}

TEST_F(ArenaRelease, KeepHandsResultBackAboveTheMark) {
    tmp_alloc(5, 'a');
    u16 mark = tmp_mark();
    Str floor = tmp_top();
    tmp_alloc(100, 'j');
    Str result = arena_text("result");
    tmp_alloc(40, 'j');

    Str kept = tmp_release_keep(mark, result);
    EXPECT_EQ(text(kept), "result");
    EXPECT_EQ(kept.p, floor.p + 8);
    EXPECT_EQ(tmp_mark(), mark + 1);
    EXPECT_EQ(tmp_top().p, kept.p);
}

TEST_F(ArenaRelease, KeepCopiesAnOverlappingSourceIntact) {
    u16 mark = tmp_mark();
    tmp_alloc(3, 'j');
    Str src = arena_text("0123456789abcdefghij");
    // The destination starts 4 bytes below the source and overlaps it.
    Str kept = tmp_release_keep(mark, Str{src.p + 2, 16});
    EXPECT_EQ(text(kept), "23456789abcdefgh");
}

TEST_F(ArenaRelease, KeepPassesAnErrorDescriptorAndStillReleases) {
    u16 mark = tmp_mark();
    tmp_alloc(20, 0);
    Str r = tmp_release_keep(mark, str_error(E_DATA));
    EXPECT_EQ(str_error_code(r), E_DATA);
    EXPECT_EQ(tmp_mark(), mark);
}

// Several results kept at once: each case lists which of the strings A, B, C (allocated in
// that order above the mark, with junk between) or L (a literal outside the arena) are kept,
// in the order given.
TEST_F(ArenaRelease, KeepManyRecopiesResultsInListOrder) {
    const char* cases[] = {"ABC", "CBA", "B", "CA", "BLA", "L", "AA"};
    for (const char* order : cases) {
        SCOPED_TRACE(order);
        tmp_alloc(7, 'f');
        u16 mark = tmp_mark();
        Str floor = tmp_top();
        tmp_alloc(30, 'j');
        Str a = arena_text("alpha");
        tmp_alloc(9, 'j');
        Str b = arena_text("bravo-bravo-bravo");
        Str c = arena_text("c");
        tmp_alloc(12, 'j');
        auto pick = [&](char k) { return k == 'A' ? a : k == 'B' ? b : k == 'C' ? c : S("literal"); };

        std::vector<Str> results;
        for (const char* k = order; *k; k++) results.push_back(pick(*k));
        std::vector<std::string> expected;
        for (Str s : results) expected.push_back(text(s));
        std::vector<Str*> list;
        for (Str& s : results) list.push_back(&s);
        list.push_back(nullptr);

        ASSERT_EQ(tmp_release_keep_many(mark, list.data()), 0);
        EXPECT_EQ(size_t(tmp_mark()), mark + results.size());
        const char* at = floor.p + 8;
        for (size_t i = 0; i < results.size(); i++) {
            EXPECT_EQ(text(results[i]), expected[i]) << i;
            EXPECT_EQ(results[i].p, at) << "result " << i << " directly above the previous";
            at += (results[i].n + 3) / 4 * 4;
        }
        tmp_release(0);
    }
}

TEST_F(ArenaRelease, KeepManyStopsAtAnErrorDescriptor) {
    u16 mark = tmp_mark();
    Str a = arena_text("a");
    Str bad = str_error(E_SYNTAX);
    Str* list[] = {&a, &bad, nullptr};
    EXPECT_EQ(tmp_release_keep_many(mark, list), E_SYNTAX);
    EXPECT_EQ(tmp_mark(), mark);
}

TEST_F(ArenaRelease, KeepManyWithoutRoomFailsWithoutDanglingResults) {
    // Leave fewer free slots above the mark than results to keep.
    const u16 slots = tmp_stats().slots;
    for (u16 i = 1; i < slots - 3; i++) tmp_alloc(1, 0);
    u16 mark = tmp_mark();
    std::vector<Str> results = {S("one"), S("two"), S("three"), S("four")};
    std::vector<Str*> list;
    for (Str& s : results) list.push_back(&s);
    list.push_back(nullptr);
    EXPECT_EQ(tmp_release_keep_many(mark, list.data()), E_OUTOFMEMORY);
    EXPECT_EQ(text(results[0]), "one") << "descriptors untouched";
    EXPECT_EQ(results[3].p, S("four").p);
    EXPECT_EQ(tmp_mark(), mark);
}

// ---- Arena: free space and statistics ----

using ArenaStatsTest = MemFixture;

TEST_F(ArenaStatsTest, FreeSpaceStartsAtTopAndKeepsFourBytesBack) {
    Str before = tmp_free_space();
    ASSERT_TRUE(before.ok());
    EXPECT_EQ(before.p, tmp_top().p);
    EXPECT_EQ(before.n, tmp_stats().size - 4);
    Str a = tmp_alloc(10, 0);
    Str after = tmp_free_space();
    EXPECT_EQ(after.p, a.p + 12);
    EXPECT_EQ(after.n, before.n - 12);
}

TEST_F(ArenaStatsTest, HighWaterMarksOnlyRise) {
    u16 mark = tmp_mark();
    tmp_alloc(100, 0);
    tmp_alloc(100, 0);
    tmp_alloc(100, 0);
    tmp_release(mark);
    ArenaStats s = tmp_stats();
    EXPECT_EQ(s.high_slot, mark + 3);
    EXPECT_EQ(s.high_bytes, 300u);
    tmp_alloc(200, 0);
    EXPECT_EQ(tmp_stats().high_slot, mark + 3);
    EXPECT_EQ(tmp_stats().high_bytes, 300u);
    tmp_alloc(200, 0);
    EXPECT_EQ(tmp_stats().high_bytes, 400u);
    EXPECT_EQ(tmp_stats().high_slot, mark + 3);
}

// ---- Growing buffer ----

class GrowBufTest : public MemFixture {
protected:
    GrowBuf b;
    void TearDown() override {
        gbuf_free(b);
        MemFixture::TearDown();
    }
};

using GrowBufAppend = GrowBufTest;

TEST_F(GrowBufAppend, GrowsAndKeepsWhatWasAppended) {
    ASSERT_EQ(gbuf_create(b, OTHER_TAG, 4), 0);
    std::string expected;
    for (int i = 0; i < 50; i++) {
        std::string piece = "piece" + std::to_string(i) + ";";
        char* at = gbuf_append(b, piece.data(), static_cast<u16>(piece.size()));
        ASSERT_NE(at, nullptr);
        EXPECT_EQ(at, b.p + expected.size());
        expected += piece;
    }
    EXPECT_EQ(text(gbuf_str(b)), expected);
    EXPECT_GE(b.cap, b.used);
}

TEST_F(GrowBufAppend, Align4PadsWithZeroBytes) {
    ASSERT_EQ(gbuf_create(b, OTHER_TAG, 64), 0);
    gbuf_append(b, "abc", 3);
    b.p[3] = '?';  // stale byte in the padding
    char* at = gbuf_append(b, "XY", 2, true);
    EXPECT_EQ(at, b.p + 4);
    EXPECT_EQ(b.used, 6);
    EXPECT_EQ(std::string(b.p, 6), std::string("abc\0XY", 6));
    gbuf_append(b, "Z", 1, true);
    EXPECT_EQ(b.used, 9) << "6 rounds up to 8";
}

TEST_F(GrowBufAppend, PassingTheLongestStringIsAStickyError) {
    ASSERT_EQ(gbuf_create(b, OTHER_TAG, 16), 0);
    ASSERT_NE(gbuf_append(b, nullptr, 65000), nullptr);
    EXPECT_EQ(gbuf_append(b, nullptr, 600), nullptr);
    EXPECT_EQ(b.error, E_STRINGTOOLONG);
    EXPECT_EQ(gbuf_append(b, "a", 1), nullptr) << "sticky, even for what would fit";
    EXPECT_EQ(b.used, 65000);
    EXPECT_EQ(str_error_code(gbuf_str(b)), E_STRINGTOOLONG);
}

TEST_F(GrowBufAppend, CreateWithoutFreeBlockFails) {
    std::vector<void*> held;
    while (void* p = mem_alloc(OTHER_TAG, 4, 0)) held.push_back(p);
    EXPECT_EQ(gbuf_create(b, OTHER_TAG, 16), E_OUTOFMEMORY);
    EXPECT_EQ(gbuf_append(b, "a", 1), nullptr);
    for (void* p : held) mem_free(OTHER_TAG, p);
}

using GrowBufWrite = GrowBufTest;

TEST_F(GrowBufWrite, WritePastCapacityFailsAndWritesNothing) {
    ASSERT_EQ(gbuf_create(b, OTHER_TAG, 8), 0);
    ASSERT_EQ(gbuf_write_at(b, NOT_FOUND, "abcd", 4), 0);
    EXPECT_EQ(gbuf_write_at(b, 5, "12345", 5), E_STRCONCATERR);
    EXPECT_EQ(b.used, 4);
    EXPECT_EQ(std::string(b.p, 8), std::string("abcd\0\0\0\0", 8));
    EXPECT_EQ(gbuf_write_at(b, 0, "z", 1), E_STRCONCATERR) << "the error is sticky";
    EXPECT_EQ(gbuf_append(b, "z", 1), nullptr);
}

TEST_F(GrowBufWrite, WritesAtPositionOrAtTheEnd) {
    ASSERT_EQ(gbuf_create(b, OTHER_TAG, 16), 0);
    EXPECT_EQ(gbuf_write_at(b, NOT_FOUND, "abc", 3), 0);
    EXPECT_EQ(gbuf_write_at(b, 1, "X", 1), 0);
    EXPECT_EQ(b.used, 3) << "a write inside the used part does not extend it";
    EXPECT_EQ(gbuf_write_at(b, NOT_FOUND, "def", 3), 0);
    EXPECT_EQ(text(gbuf_str(b)), "aXcdef");
    b.p[8] = '?';  // stale byte behind the used part
    EXPECT_EQ(gbuf_write_at(b, 10, "!", 1), 0);
    EXPECT_EQ(text(gbuf_str(b)), std::string("aXcdef\0\0\0\0!", 11)) << "the gap reads as zeros";
    EXPECT_EQ(gbuf_write_at(b, 0, "0123456789abcdef", 16), 0) << "exactly the capacity";
}

}  // namespace
