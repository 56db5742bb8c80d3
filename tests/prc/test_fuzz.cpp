// Thousands of random and mutated procedure texts (fixed seed): every compile ends with a
// record whose targets, texts and names all lie inside it, or with a compile code, a detail
// naming a statement and no record; no memory is left behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "prc/compile.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::prc;
using vx::test::text;

namespace {

class Fuzz : public vx::test::PrcTest {
protected:
    std::mt19937 rng{20261208};
    u32 pick(u32 n) { return n ? u32(rng() % n) : 0; }

    std::string random_line() {
        static const char* const labels[] = {"a", "b", "Loop1", "x y", "", "A"};
        static const char* const pieces[] = {
            "IF A%>1", "ELSE", "ENDIF", "DO", "LOOP", "DO_WHILE B", "LOOP_UNTIL C", "LOOP_WHILE",
            "IF_TRUE", "IF_FALSE X", "DO_UNTIL 1", "RETURN", "END", "CALL e,f.prc", "LOCALVARS A$",
            "PRINT 1,2", "system", "A# = A# + 1", "  \t ", ";remark", "#remark", "/remark",
            "def_fn", "Def_Fn main", "DEF_FN other", "X$ = \"q,'\"", "goto", "gosub"};
        u32 kind = pick(10);
        if (kind == 0)
            return std::string(":") + labels[pick(6)] + (pick(2) ? " trailing words" : "");
        if (kind == 1) return std::string(pick(2) ? "GOTO " : "gosub ") + labels[pick(6)];
        if (kind == 2) {
            std::string junk;
            for (u32 i = pick(40); i > 0; i--) junk += char(pick(256));
            return junk;
        }
        return pieces[pick(sizeof pieces / sizeof *pieces)];
    }

    std::string random_procedure() {
        std::string src;
        for (u32 i = pick(120); i > 0; i--) src += random_line() + (pick(4) ? "\n" : "\r\n");
        return src;
    }

    // Balanced blocks (depth kept within the limit) and jumps to labels that exist.
    std::string well_formed_body(int depth) {
        static const char* const openers[] = {"IF A", "IF_TRUE B",  "IF_FALSE C",
                                              "DO",   "DO_WHILE D", "DO_UNTIL E"};
        static const char* const closers[] = {"ENDIF", "LOOP", "LOOP_WHILE F", "LOOP_UNTIL G"};
        std::string s;
        for (u32 i = pick(8); i > 0; i--) {
            u32 kind = pick(8);
            if (kind == 0 && depth < PRC_MAX_NESTING - 1) {
                s += std::string(openers[pick(6)]) + "\n" + well_formed_body(depth + 1);
                if (pick(3) == 0) s += "ELSE\n" + well_formed_body(depth + 1);
                s += std::string(closers[pick(4)]) + "\n";
            } else if (kind == 1) {
                s += (pick(2) ? "GOTO L" : "GOSUB L") + std::to_string(pick(4)) + "\n";
            } else {
                static const char* const plain[] = {"A# = A# + 1", "PRINT 1,2", "; remark", "",
                                                    "RETURN", "END", "CALL e,f.prc", "x$=\"q\""};
                s += std::string(plain[pick(8)]) + "\n";
            }
        }
        return s;
    }
    std::string well_formed() {
        return ":L0\n:L1\nDEF_FN main\n" + well_formed_body(0) + ":L2\n:L3\n";
    }

    // Byte flips, cut ranges, repeated ranges, inserted NUL and CR bytes, very long lines.
    std::string mutate(std::string s) {
        for (u32 m = 1 + pick(6); m > 0; m--) {
            u32 at = pick(u32(s.size()) + 1);
            switch (pick(6)) {
                case 0: if (!s.empty()) s[at % s.size()] = char(pick(256)); break;
                case 1: s.erase(at, pick(30)); break;
                case 2: s.insert(at, s.substr(pick(u32(s.size()) + 1), pick(200))); break;
                case 3: s.insert(at, 1, pick(2) ? '\0' : '\r'); break;
                case 4:
                    s.insert(at, std::string(pick(50) ? pick(100) : PRC_MAX_LINE + pick(3), 'z'));
                    break;
                default: s.insert(at, "\n"); break;
            }
        }
        return s;
    }

    // Everything a run will follow lies inside the record.
    void check_record() {
        ASSERT_NE(rec_.block, nullptr);
        ASSERT_EQ(rec_.texts[rec_.name_len], '\0');
        for (u16 k = 0; k < rec_.count; k++) {
            const PrcInstr& s = rec_.instr[k];
            ASSERT_LE(s.code, PRC_KEYWORD_COUNT);
            ASSERT_NE(s.code, PC_DEF_FN);
            ASSERT_LE(s.target, rec_.count);
            ASSERT_LT(s.text + s.len, rec_.texts_len);
            ASSERT_EQ(rec_.texts[s.text + s.len], '\0');
            if (s.code == PC_GOTO || s.code == PC_GOSUB) {
                ASSERT_EQ(s.target, prc_label_find(rec_, prc_text(rec_, k)));
            }
            if (s.code == PC_ELSE) {
                ASSERT_GT(s.target, k);  // past its own closer
            } else if (prc_closes_block(s.code)) {
                ASSERT_LT(s.target, k);
                ASSERT_TRUE(prc_opens_block(rec_.instr[s.target].code));
                ASSERT_EQ(rec_.instr[s.target].target, k + 1);
            }
        }
        for (u16 i = 0; i < rec_.label_count; i++) ASSERT_LE(rec_.labels[i].pos, rec_.count);
        for (u16 i = 0; i < rec_.entry_count; i++) ASSERT_LE(rec_.entries[i].pos, rec_.count);
    }

    void compile_and_check(const std::string& src, int& ok, int& failed) {
        u16 rc = compile(src);
        if (rc == 0) {
            ok++;
            check_record();
            return;
        }
        failed++;
        ASSERT_TRUE(rc == E_SYNTAX || rc == E_OUTOFMEMORY || rc == E_STRINGTOOLONG) << rc;
        ASSERT_EQ(rec_.block, nullptr);
        ASSERT_NE(detail().find(" (+ remmarks)"), std::string::npos) << detail();
    }
};

}  // namespace

TEST_F(Fuzz, RandomAndMutatedProceduresNeverBreakTheCompiler) {
    u16 blocks = mem_blocks_in_use();
    const std::string seed =
        "; sample\nDEF_FN main\n:top\nIF A%>1\n  X=1\nELSE\n  DO_WHILE B\n    GOSUB sub\n  LOOP\n"
        "ENDIF\nGOTO end\n:sub\nRETURN\n:end\nEND\n";
    ASSERT_EQ(compile(seed), 0);
    int ok = 0, failed = 0;
    for (int i = 0; i < 4000; i++) {
        std::string src;
        switch (i % 4) {
            case 0:
                src = well_formed();
                ASSERT_EQ(compile(src), 0) << detail() << "\n" << src;
                break;
            case 1: src = random_procedure(); break;
            case 2: src = mutate(seed); break;
            default: src = mutate(well_formed()); break;
        }
        compile_and_check(src, ok, failed);
        if (HasFatalFailure()) {
            ADD_FAILURE() << "case " << i;
            return;
        }
    }
    // Both outcomes are exercised.
    EXPECT_GT(ok, 1000);
    EXPECT_GT(failed, 400);
    prc_release(&rec_);
    EXPECT_EQ(mem_blocks_in_use(), blocks);
}
