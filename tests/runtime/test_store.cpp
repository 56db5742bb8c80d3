// Tests of the string store (addressing, limits, moves of later lists, stacks and queues,
// values taken from the store itself) and of the error record and error detail text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/store.h"

using namespace vx::rt;

namespace {

using vx::test::text;
Str view(const std::string& t) { return Str{t.data(), static_cast<u16>(t.size())}; }

class StoreFixture : public vx::test::MemTest {
protected:
    u16 arena_kb() const override { return 64; }
    static void push_all(u16 list, const std::vector<std::string>& values) {
        for (const auto& v : values) ASSERT_EQ(store_push(list, view(v)), 0);
    }
    static std::vector<std::string> entries(u16 list) {
        std::vector<std::string> out;
        for (u16 i = 0; i < store_count(list); i++) out.push_back(text(store_get(list, i)));
        return out;
    }
};

using Strings = std::vector<std::string>;

// ---- Reading and addressing ----

using StoreGet = StoreFixture;

TEST_F(StoreGet, EntriesPastTheCountReadEmpty) {
    for (int i = 0; i < 12; i++) ASSERT_EQ(store_push(4, view("e" + std::to_string(i))), 0);
    EXPECT_EQ(text(store_get(4, 11)), "e11");
    for (u16 i : {u16(12), u16(40), u16(NOT_FOUND)}) {
        Str s = store_get(4, i);
        EXPECT_TRUE(s.ok()) << i;
        EXPECT_EQ(s.n, 0) << i;
    }
    EXPECT_EQ(error_code(), 0);
}

TEST_F(StoreGet, ListOutOfRangeIsAnAddressingError) {
    EXPECT_EQ(str_error_code(store_get(STORE_LISTS, 0)), E_STROUTBOUND);
    EXPECT_EQ(error_code(), E_STROUTBOUND);
    EXPECT_EQ(error_module(), M_DYNSTRINGS);
    EXPECT_EQ(store_count(STORE_LISTS), 0);
    EXPECT_EQ(store_top(STORE_LISTS), NOT_FOUND);
}

// ---- Assignment ----

using StoreSet = StoreFixture;

TEST_F(StoreSet, ListOutOfRangeFailsAndLeavesStoreUnchanged) {
    push_all(38, {"q"});
    StoreStats before = store_stats();
    EXPECT_EQ(store_set(STORE_LISTS, 0, S("x")), E_STROUTBOUND);
    EXPECT_EQ(store_push(200, S("x")), E_STROUTBOUND);
    EXPECT_EQ(error_code(), E_STROUTBOUND);
    EXPECT_EQ(error_module(), M_DYNSTRINGS);
    EXPECT_EQ(store_stats().entries, before.entries);
    EXPECT_EQ(store_stats().bytes, before.bytes);
    EXPECT_EQ(entries(38), Strings{"q"});
}

TEST_F(StoreSet, ErrorDescriptorIsReturnedAndNothingChanges) {
    push_all(2, {"a"});
    EXPECT_EQ(store_set(2, 0, str_error(E_DATA)), E_DATA);
    EXPECT_EQ(store_set(2, 5, str_error(0)), 0xFFFF);
    EXPECT_EQ(entries(2), Strings{"a"});
    EXPECT_EQ(error_code(), 0) << "the failure belongs to whoever made the descriptor";
}

TEST_F(StoreSet, AssigningPastTheEndAddsEmptyEntriesAndMovesLaterLists) {
    push_all(1, {"one"});
    push_all(5, {"five-a", "five-b"});
    push_all(38, {"last"});
    ASSERT_EQ(store_set(3, 4, S("x")), 0);
    EXPECT_EQ(entries(3), (Strings{"", "", "", "", "x"}));
    EXPECT_EQ(entries(1), Strings{"one"});
    EXPECT_EQ(entries(5), (Strings{"five-a", "five-b"}));
    EXPECT_EQ(entries(38), Strings{"last"});
    EXPECT_EQ(store_stats().entries, 9);
    EXPECT_EQ(store_stats().bytes, 3u + 12u + 4u + 1u);
}

TEST_F(StoreSet, GrowingAndShrinkingAnEntryMovesTheTextBehindIt) {
    push_all(0, {"env-a", "env-b"});
    push_all(7, {"a", "bb", "ccc"});
    push_all(8, {"next"});
    push_all(37, {"queued"});
    const struct {
        u16 index;
        std::string value;
    } steps[] = {{1, "a much longer value than before"}, {1, ""}, {0, "A"}, {2, "C-C-C-C"}};
    Strings expected{"a", "bb", "ccc"};
    for (const auto& step : steps) {
        ASSERT_EQ(store_set(7, step.index, view(step.value)), 0);
        expected[step.index] = step.value;
        EXPECT_EQ(entries(7), expected);
        EXPECT_EQ(entries(0), (Strings{"env-a", "env-b"}));
        EXPECT_EQ(entries(8), Strings{"next"});
        EXPECT_EQ(entries(37), Strings{"queued"});
    }
}

TEST_F(StoreSet, EntryLimitIsRefusedBeforeAnythingMoves) {
    ASSERT_EQ(store_set(0, STORE_ENTRIES - 3, S("z")), 0);  // 2046 entries
    push_all(20, {"one more"});                              // 2047: the last that fits
    StoreStats before = store_stats();
    ASSERT_EQ(before.entries, STORE_ENTRIES - 1);

    EXPECT_EQ(store_push(20, S("x")), E_STROUTBOUND);
    EXPECT_EQ(store_set(5, 0, S("x")), E_STROUTBOUND);
    EXPECT_EQ(error_code(), E_LOADSTRERROR);
    EXPECT_EQ(error_module(), M_STRINGASSIGN);
    EXPECT_EQ(store_stats().entries, before.entries);
    EXPECT_EQ(store_count(5), 0);
    EXPECT_EQ(entries(20), Strings{"one more"});

    EXPECT_EQ(store_set(20, 0, S("replaced")), 0) << "replacing adds no entry";
    store_drop(20);
    EXPECT_EQ(store_push(5, S("fits again")), 0);
}

TEST_F(StoreSet, RaisingACountPastTheEntryLimitFails) {
    EXPECT_EQ(store_set(2, STORE_ENTRIES - 1, S("x")), E_STROUTBOUND);
    EXPECT_EQ(store_set(2, NOT_FOUND, S("x")), E_STROUTBOUND);
    EXPECT_EQ(store_count(2), 0);
    EXPECT_EQ(store_stats().entries, 0);
}

TEST_F(StoreSet, TextCapacityIsRefusedAndStoreUnchanged) {
    const std::string big(60000, 'b');
    const std::string rest(STORE_TEXT - 60000 - 1, 'r');  // fills to capacity - 1
    push_all(3, {big});
    push_all(30, {rest});
    ASSERT_EQ(store_stats().bytes, STORE_TEXT - 1);

    EXPECT_EQ(store_push(1, S("x")), E_STROUTBOUND);
    EXPECT_EQ(error_code(), E_LOADSTRERROR);
    EXPECT_EQ(error_module(), M_STRINGASSIGN);
    EXPECT_EQ(store_set(30, 0, view(rest + "y")), E_STROUTBOUND) << "growing an entry";
    EXPECT_EQ(store_count(1), 0);
    EXPECT_EQ(text(store_get(30, 0)), rest);
    EXPECT_EQ(text(store_get(3, 0)), big);
    EXPECT_EQ(store_stats().bytes, STORE_TEXT - 1);

    const std::string same(rest.size(), 's');
    EXPECT_EQ(store_set(30, 0, view(same)), 0) << "same length still fits";
    EXPECT_EQ(store_set(3, 0, S("small")), 0);
    EXPECT_EQ(store_push(1, S("x")), 0);
    EXPECT_EQ(text(store_get(30, 0)), same);
}

// Values taken from the store itself: the whole entry or part of one, before or behind
// the target, into a longer or a shorter place.
TEST_F(StoreSet, ValueTakenFromTheStoreItself) {
    const struct {
        u16 list, index;          // target
        u16 from_list, from_index;
        u16 skip, len;            // part of the source entry
    } cases[] = {
        {0, 0, 0, 2, 0, 12},  // longer, from behind
        {0, 2, 0, 0, 0, 2},   // shorter, from before
        {0, 1, 0, 1, 1, 3},   // part of itself
        {0, 1, 0, 1, 0, 6},   // itself whole
        {0, 6, 2, 0, 0, 9},   // new entry, source in a later list
        {2, 0, 0, 1, 2, 4},   // earlier list into a later one
        {0, 0, 2, 0, 3, 6},   // later list into an earlier one, overlapping the move
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.list << "/" << c.index << " <- " << c.from_list
                                        << "/" << c.from_index);
        store_truncate(0, 0);
        store_truncate(2, 0);
        push_all(0, {"aa", "bbbbbb", "cccccccccccc"});
        push_all(2, {"0123456789", "tail"});
        std::vector<Strings> model{entries(0), {}, entries(2)};
        std::string src = model[c.from_list][c.from_index].substr(c.skip, c.len);

        Str s = store_get(c.from_list, c.from_index);
        ASSERT_EQ(store_set(c.list, c.index, Str{s.p + c.skip, c.len}), 0);
        Strings& target = model[c.list];
        if (target.size() <= c.index) target.resize(c.index + 1);
        target[c.index] = src;
        EXPECT_EQ(entries(0), model[0]);
        EXPECT_EQ(entries(2), model[2]);
    }
}

// ---- Stacks and queues ----

using StoreStack = StoreFixture;

TEST_F(StoreStack, PopHandsACopyThatOutlivesTheEntry) {
    push_all(6, {"first", "second"});
    Str popped = store_pop(6);
    ASSERT_EQ(store_set(6, 0, S("overwrites the text where second was")), 0);
    EXPECT_EQ(text(popped), "second");
}

TEST_F(StoreStack, EmptyListsDropNothingAndPopEmpty) {
    push_all(12, {"x"});
    store_drop(11);
    store_drop(37);
    Str popped = store_pop(11);
    EXPECT_TRUE(popped.ok());
    EXPECT_EQ(popped.n, 0);
    EXPECT_EQ(store_top(11), NOT_FOUND);
    EXPECT_EQ(entries(12), Strings{"x"});
    EXPECT_EQ(str_error_code(store_pop(STORE_LISTS)), E_STROUTBOUND);
}

TEST_F(StoreStack, TruncateKeepsTheFirstEntries) {
    push_all(10, {"a", "b", "c", "d"});
    push_all(11, {"z"});
    store_truncate(10, 6);
    EXPECT_EQ(store_count(10), 4);
    store_truncate(10, 1);
    EXPECT_EQ(entries(10), Strings{"a"});
    EXPECT_EQ(entries(11), Strings{"z"});
    EXPECT_EQ(store_stats().entries, 2);
    EXPECT_EQ(store_stats().bytes, 2u);
}

using StoreQueue = StoreFixture;

TEST_F(StoreQueue, QueuesServeTheirOldestEntryFirst) {
    for (u16 q : {u16(37), u16(38)}) {
        SCOPED_TRACE(q);
        push_all(q, {"1", "22", "333"});
        EXPECT_EQ(store_top(q), 0);
        EXPECT_EQ(text(store_pop(q)), "1");
        store_drop(q);
        EXPECT_EQ(entries(q), Strings{"333"});
        push_all(q, {"4444"});
        EXPECT_EQ(text(store_pop(q)), "333");
        EXPECT_EQ(text(store_pop(q)), "4444");
        EXPECT_EQ(store_count(q), 0);
    }
}

TEST_F(StoreQueue, TruncateDropsFromTheHead) {
    push_all(36, {"stack"});
    push_all(37, {"a", "b", "c", "d"});
    push_all(38, {"other queue"});
    store_truncate(37, 1);
    EXPECT_EQ(entries(37), Strings{"d"});
    EXPECT_EQ(entries(36), Strings{"stack"});
    EXPECT_EQ(entries(38), Strings{"other queue"});
}

// ---- Random operations against a model ----

struct RandomRun {
    unsigned seed;
    int steps;
    size_t max_len;  // long values run into the text capacity
};

class StoreRandom : public StoreFixture, public testing::WithParamInterface<RandomRun> {};

TEST_P(StoreRandom, MatchesAModelOfTheLists) {
    const RandomRun run = GetParam();
    std::mt19937 rng(run.seed);
    auto pick = [&](u32 n) { return static_cast<u32>(rng() % n); };
    std::vector<Strings> model(STORE_LISTS);
    size_t model_entries = 0, model_bytes = 0;
    auto recount = [&] {
        model_entries = model_bytes = 0;
        for (const auto& l : model) {
            model_entries += l.size();
            for (const auto& e : l) model_bytes += e.size();
        }
    };

    for (int step = 0; step < run.steps; step++) {
        u16 list = static_cast<u16>(pick(STORE_LISTS));
        Strings& m = model[list];
        bool queue = list >= STORE_FIRST_QUEUE;
        switch (pick(6)) {
        case 0:
        case 1: {  // assign, often past the end
            u16 i = static_cast<u16>(pick(static_cast<u32>(m.size()) + 4));
            std::string v(pick(static_cast<u32>(run.max_len) + 1), char('a' + step % 26));
            size_t added = i >= m.size() ? i - m.size() + 1 : 0;
            size_t old = i < m.size() ? m[i].size() : 0;
            bool fits = model_entries + added < STORE_ENTRIES && model_bytes - old + v.size() < STORE_TEXT;
            ASSERT_EQ(store_set(list, i, view(v)), fits ? 0 : E_STROUTBOUND) << step;
            if (fits) {
                if (added) m.resize(i + 1);
                m[i] = v;
            }
            break;
        }
        case 2: {  // assign a part of another entry
            u16 from = static_cast<u16>(pick(STORE_LISTS));
            if (model[from].empty() || m.empty()) break;
            u16 fi = static_cast<u16>(pick(static_cast<u32>(model[from].size())));
            u16 i = static_cast<u16>(pick(static_cast<u32>(m.size())));
            std::string v = model[from][fi].substr(model[from][fi].size() / 3);
            Str s = store_get(from, fi);
            Str part{s.p + (s.n - v.size()), static_cast<u16>(v.size())};
            bool fits = model_bytes - m[i].size() + v.size() < STORE_TEXT;
            ASSERT_EQ(store_set(list, i, part), fits ? 0 : E_STROUTBOUND) << step;
            if (fits) m[i] = v;
            break;
        }
        case 3: {  // pop
            TmpScope scope;
            std::string expected = m.empty() ? "" : queue ? m.front() : m.back();
            ASSERT_EQ(text(store_pop(list)), expected) << step;
            if (!m.empty()) m.erase(queue ? m.begin() : m.end() - 1);
            break;
        }
        case 4:
            store_drop(list);
            if (!m.empty()) m.erase(queue ? m.begin() : m.end() - 1);
            break;
        case 5: {
            u16 n = static_cast<u16>(pick(4));
            store_truncate(list, n);
            if (m.size() > n) {
                if (queue) m.erase(m.begin(), m.end() - n);
                else m.resize(n);
            }
            break;
        }
        }
        recount();
        ASSERT_EQ(size_t(store_stats().entries), model_entries) << step;
        ASSERT_EQ(size_t(store_stats().bytes), model_bytes) << step;
        ASSERT_EQ(entries(list), m) << step;
        if (step % 64 != 0) continue;
        for (u16 l = 0; l < STORE_LISTS; l++) ASSERT_EQ(entries(l), model[l]) << step << " list " << l;
    }
    for (u16 l = 0; l < STORE_LISTS; l++) EXPECT_EQ(entries(l), model[l]) << "list " << l;
    EXPECT_EQ(tmp_mark(), 0) << "the store leaves nothing in the arena";
}

INSTANTIATE_TEST_SUITE_P(StoreModel, StoreRandom,
                         testing::Values(RandomRun{1, 3000, 12}, RandomRun{2, 3000, 40},
                                         RandomRun{3, 1500, 3000}));

// ---- Error record ----

struct NoteStep {
    u16 status, module, code;
    u16 want_code, want_module;  // record after the step
};

struct NoteCase {
    const char* what;
    std::vector<NoteStep> steps;
};

class ErrorRecordNote : public StoreFixture, public testing::WithParamInterface<NoteCase> {};

TEST_P(ErrorRecordNote, FollowsTheRecordingRule) {
    for (const NoteStep& s : GetParam().steps) {
        EXPECT_EQ(error_note(s.status, s.module, s.code, 4321), 4321) << "result passes through";
        EXPECT_EQ(error_code(), s.want_code) << s.status << "," << s.module << "," << s.code;
        EXPECT_EQ(error_module(), s.want_module) << s.status << "," << s.module << "," << s.code;
    }
}

INSTANTIATE_TEST_SUITE_P(
    ErrorRecordRule, ErrorRecordNote,
    testing::Values(
        NoteCase{"status 0 records nothing", {{0, 2, 145, 0, 0}}},
        NoteCase{"warnings are not recorded", {{1, 2, 127, 0, 0}, {1, 2, 122, 0, 0}}},
        NoteCase{"first error stays", {{1, 2, 145, 145, 2}, {1, 3, 160, 145, 2}, {1, 0, 200, 145, 2}}},
        NoteCase{"status 2 overwrites", {{1, 2, 145, 145, 2}, {2, 14, 159, 159, 14}, {2, 4, 122, 122, 4}}},
        NoteCase{"status 2 with 0,0 clears", {{1, 2, 145, 145, 2}, {2, 0, 0, 0, 0}, {1, 16, 146, 146, 16}}},
        NoteCase{"a recorded warning yields to an error", {{2, 9, 122, 122, 9}, {1, 17, 131, 131, 17}}}),
    [](const testing::TestParamInfo<NoteCase>& info) { return "Case" + std::to_string(info.index); });

using ErrorRecord = StoreFixture;

TEST_F(ErrorRecord, RaiseRecordsAndReturnsTheCode) {
    EXPECT_EQ(error_raise(M_STREAMS, E_FILEIO), E_FILEIO);
    EXPECT_EQ(error_code(), E_FILEIO);
    EXPECT_EQ(error_module(), M_STREAMS);
    error_clear();
    EXPECT_EQ(error_code(), 0);
    EXPECT_EQ(error_module(), 0);
}

TEST_F(ErrorRecord, DetailIsStoredInListNineEntryNine) {
    EXPECT_EQ(error_detail().n, 0);
    EXPECT_EQ(fail_with_detail(E_FILENOTFOUND, S("data.dat"), false), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), "data.dat");
    EXPECT_EQ(text(store_get(LIST_ERROR, 9)), "data.dat");
    EXPECT_EQ(fail_with_detail(E_OPEN, S("other.dat"), false), E_OPEN);
    EXPECT_EQ(text(error_detail()), "other.dat") << "without append the text is replaced";
    EXPECT_EQ(error_code(), 0) << "the detail does not record the code";
    error_detail_clear();
    EXPECT_EQ(error_detail().n, 0);
}

TEST_F(ErrorRecord, AppendAddsALineBehindCrLf) {
    fail_with_detail(E_OPEN, S("first"), true);
    EXPECT_EQ(text(error_detail()), "first") << "nothing to append to";
    fail_with_detail(E_OPEN, S("second"), true);
    fail_with_detail(E_OPEN, S("third"), true);
    EXPECT_EQ(text(error_detail()), "first\r\nsecond\r\nthird");
    EXPECT_EQ(fail_with_detail(E_DATA, str_error(E_SYNTAX), true), E_DATA);
    EXPECT_EQ(text(error_detail()), "first\r\nsecond\r\nthird") << "an error descriptor adds nothing";
    fail_with_detail(E_OPEN, error_detail(), true);
    EXPECT_EQ(text(error_detail()), "first\r\nsecond\r\nthird\r\nfirst\r\nsecond\r\nthird");
    EXPECT_EQ(tmp_mark(), 0);
}

TEST_F(ErrorRecord, AppendCutsLastLinesWhileLongerThanTheLimit) {
    const std::string a(500, 'a'), b(600, 'b'), c(10, 'c');
    const struct {
        const char* what;
        std::string stored;
        std::string kept;  // of the stored text, before "\r\n" + "new"
    } cases[] = {
        {"at the limit nothing is cut", std::string(DETAIL_MAX - 6, 'x') + "\r\nlast", ""},
        {"two lines cut", a + "\r\n" + b + "\r\n" + c, a},
        {"one line cut", a + "\r\n" + c + "\r\n" + b, a + "\r\n" + c},
        {"a single long line is cut to the limit", std::string(3000, 'x'), std::string(DETAIL_MAX, 'x')},
        {"long first line left after cutting", std::string(2000, 'x') + "\r\n" + c,
         std::string(DETAIL_MAX, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string kept = c.kept.empty() ? c.stored : c.kept;
        fail_with_detail(E_OPEN, view(c.stored), false);
        fail_with_detail(E_OPEN, S("new"), true);
        EXPECT_EQ(text(error_detail()), kept + "\r\nnew");
    }
}

}  // namespace
