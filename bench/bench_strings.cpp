// Benchmarks of the hot string operations: quote-aware search, list items and string store
// assignment. Each iteration releases its arena temporaries.
#include "bench/bench_main.h"

#include <string>

#include "runtime/arena.h"
#include "runtime/store.h"
#include "runtime/str.h"

using namespace vx::rt;

namespace {

constexpr int LIST_ITEMS = 200;
constexpr int STORE_FILL = 1000;   // entries spread over all lists
constexpr u16 MIDDLE_LIST = 19;

Str view(const std::string& t) { return Str{t.data(), static_cast<u16>(t.size())}; }

// About 2 KB of option-like text with quoted parts holding '#'; the only unquoted '#' and
// the only '!' are at the end, so both searches scan the whole text.
std::string quoted_text() {
    std::string t;
    while (t.size() < 2000) t += "NAME='a#b,c' TITLE=\"x#y z\" KEY=value ";
    return t + "#!";
}

std::string item_list() {
    std::string t;
    for (int i = 1; i <= LIST_ITEMS; i++) {
        if (i > 1) t += ',';
        t += i % 5 == 0 ? "'quoted,item" + std::to_string(i) + "'" : "item" + std::to_string(i);
    }
    return t;
}

void clear_store() {
    for (u16 l = 0; l < STORE_LISTS; l++) store_truncate(l, 0);
}

void fill_store() {
    clear_store();
    for (int k = 0; k < STORE_FILL; k++) {
        std::string v = "entry " + std::to_string(k) + " of the benchmark store";
        store_push(static_cast<u16>(k % STORE_LISTS), view(v));
    }
}

void BM_FindCharQuoted(benchmark::State& state) {
    const std::string t = quoted_text();
    const auto mode = static_cast<SearchMode>(state.range(0));
    const char wanted = mode == QUOTED ? '#' : '!';
    for (auto _ : state) {
        TmpScope scope;
        benchmark::DoNotOptimize(str_find_char(view(t), 0, wanted, mode));
    }
    state.SetBytesProcessed(state.iterations() * int64_t(t.size()));
}
BENCHMARK(BM_FindCharQuoted)->Arg(QUOTED)->Arg(PLAIN);

void BM_ListItem(benchmark::State& state) {
    const std::string t = item_list();
    const u16 n = static_cast<u16>(state.range(0));
    for (auto _ : state) {
        TmpScope scope;
        benchmark::DoNotOptimize(list_item(view(t), ',', n));
    }
}
BENCHMARK(BM_ListItem)->Arg(1)->Arg(100)->Arg(200);

// Replaces an entry in the middle of a store of ~1000 entries, alternating two lengths so
// that the text of every later entry moves each time.
void BM_StoreSetMiddle(benchmark::State& state) {
    fill_store();
    const std::string short_v = "short";
    const std::string long_v(60, 'L');
    const u16 mid = static_cast<u16>(store_count(MIDDLE_LIST) / 2);
    bool flip = false;
    for (auto _ : state) {
        TmpScope scope;
        flip = !flip;
        benchmark::DoNotOptimize(store_set(MIDDLE_LIST, mid, view(flip ? long_v : short_v)));
    }
    clear_store();
}
BENCHMARK(BM_StoreSetMiddle);

// Assigns an entry from another entry of the store (the value is copied aside first).
void BM_StoreSetFromStore(benchmark::State& state) {
    fill_store();
    const u16 mid = static_cast<u16>(store_count(MIDDLE_LIST) / 2);
    for (auto _ : state) {
        TmpScope scope;
        benchmark::DoNotOptimize(store_set(MIDDLE_LIST, mid, store_get(MIDDLE_LIST + 1, 3)));
    }
    clear_store();
}
BENCHMARK(BM_StoreSetFromStore);

// Push and drop on a stack (list in the middle) or a queue (head removal).
void BM_StorePushDrop(benchmark::State& state) {
    fill_store();
    const u16 list = static_cast<u16>(state.range(0));
    const std::string v = "a pushed value";
    for (auto _ : state) {
        TmpScope scope;
        store_push(list, view(v));
        store_drop(list);
    }
    clear_store();
}
BENCHMARK(BM_StorePushDrop)->Arg(MIDDLE_LIST)->Arg(STORE_FIRST_QUEUE);

void BM_StorePushPop(benchmark::State& state) {
    fill_store();
    const std::string v = "a pushed value";
    for (auto _ : state) {
        TmpScope scope;
        store_push(MIDDLE_LIST, view(v));
        benchmark::DoNotOptimize(store_pop(MIDDLE_LIST));
    }
    clear_store();
}
BENCHMARK(BM_StorePushPop);

}  // namespace

int main(int argc, char** argv) { return vx::bench::run(argc, argv); }
