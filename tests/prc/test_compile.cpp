// Compiling procedure texts: the keyword table, lines and their kinds, statement numbers,
// labels and entry points, jump targets and blocks, every compile fault with its statement
// number, the limits, and the layout of the record.
#include <gtest/gtest.h>

#include <string>

#include "prc/compile.h"
#include "runtime/startup.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::prc;
using vx::test::text;

namespace {

class Compile : public vx::test::PrcTest {};

std::string repeat(const std::string& line, int n) {
    std::string r;
    for (int i = 0; i < n; i++) r += line + "\n";
    return r;
}

}  // namespace

TEST(Keywords, TableGivesCodesByPositionInAnyCase) {
    EXPECT_EQ(prc_keyword_code(S("GOTO")), PC_GOTO);
    EXPECT_EQ(prc_keyword_code(S("if")), PC_IF);
    EXPECT_EQ(prc_keyword_code(S("Def_Fn")), PC_DEF_FN);
    EXPECT_EQ(prc_keyword_code(S("END")), 18);
    EXPECT_EQ(prc_keyword_code(S("ACCEPT")), 19);
    EXPECT_EQ(prc_keyword_code(S("print")), 34);
    EXPECT_EQ(prc_keyword_code(S("SYSTEM")), 53);
    // Whole words only: no match across a separator, no prefix, no empty word.
    EXPECT_EQ(prc_keyword_code(S("GOTO,GOSUB")), 0);
    EXPECT_EQ(prc_keyword_code(S("GOT")), 0);
    EXPECT_EQ(prc_keyword_code(S("DO_")), 0);
    EXPECT_EQ(prc_keyword_code(S("")), 0);
    EXPECT_EQ(text(prc_keyword(PC_LOOP_UNTIL)), "LOOP_UNTIL");
    EXPECT_EQ(text(prc_keyword(PC_SYSTEM)), "SYSTEM");
    EXPECT_EQ(text(prc_keyword(0)), "");
    EXPECT_EQ(text(prc_keyword(54)), "");
    for (u16 c = 1; c <= PRC_KEYWORD_COUNT; c++) EXPECT_EQ(prc_keyword_code(prc_keyword(c)), c);
}

TEST_F(Compile, LinesBecomeStatementsLabelsAndEntries) {
    ASSERT_EQ(compile("; a remark\n"
                      "   \t  \n"
                      "# another\n"
                      "/ and one more\n"
                      "\t A# = 1 + 2  \n"
                      ":start and words after it\n"
                      "  if   A# > 1  \n"
                      "DEF_FN   Entry One  \n"
                      "print  A#, \"x y\"\n"
                      "endif\n"
                      "IF\tA#\n"
                      "END\n"),
              0);
    EXPECT_EQ(rec_.count, 6);
    EXPECT_EQ(rec_.error, 0);
    EXPECT_EQ(text(prc_file_name(rec_)), "test.prc");
    // An expression statement keeps its whole trimmed line; a keyword keeps its argument.
    EXPECT_EQ(stmt(0), "A# = 1 + 2");
    EXPECT_EQ(rec_.instr[1].code, PC_IF);
    EXPECT_EQ(stmt(1), "A# > 1");
    EXPECT_EQ(rec_.instr[2].code, PC_PRINT);
    EXPECT_EQ(stmt(2), "A#, \"x y\"");
    EXPECT_EQ(rec_.instr[3].code, PC_ENDIF);
    EXPECT_EQ(stmt(3), "");
    // The first word ends at a space only: a tab keeps the line an expression.
    EXPECT_EQ(rec_.instr[4].code, PC_EXPR);
    EXPECT_EQ(stmt(4), "IF\tA#");
    EXPECT_EQ(stmt(6), "");
    ASSERT_EQ(rec_.label_count, 1);
    EXPECT_EQ(text(prc_name_text(rec_, rec_.labels[0])), "start");
    EXPECT_EQ(prc_label_find(rec_, S("start")), 1);
    ASSERT_EQ(rec_.entry_count, 1);
    EXPECT_EQ(prc_entry_find(rec_, S("Entry One")), 0);
    EXPECT_EQ(rec_.entries[0].pos, 2);
    EXPECT_EQ(prc_entry_find(rec_, S("entry one")), NOT_FOUND);
    EXPECT_EQ(rec_.pos, 0);
    EXPECT_EQ(rec_.depth, 0);
}

TEST_F(Compile, RemarksOnlyGiveAnEmptyRecord) {
    ASSERT_EQ(compile(";one\n#two\n/three\n\n   \n"), 0);
    EXPECT_EQ(rec_.count, 0);
    EXPECT_EQ(text(prc_text(rec_, 0)), "");
    ASSERT_EQ(compile(""), 0);
    EXPECT_EQ(rec_.count, 0);
}

TEST_F(Compile, CrLfLinesAndALastLineWithoutTerminator) {
    ASSERT_EQ(compile("A% = 1\r\nB% = 2\r\nGOTO x\r\n:x\r\nC% = 3"), 0);
    EXPECT_EQ(rec_.count, 4);
    EXPECT_EQ(stmt(1), "B% = 2");
    EXPECT_EQ(stmt(2), "x");
    EXPECT_EQ(stmt(3), "C% = 3");
    EXPECT_EQ(rec_.instr[2].target, 3);
}

TEST_F(Compile, TextsAreStoredOnceNulSeparatedAfterTheName) {
    ASSERT_EQ(compile("A=1\nDEF_FN e\nIF B\n:l\nENDIF\n"), 0);
    std::string all(rec_.texts, rec_.texts_len);
    EXPECT_EQ(all, std::string("test.prc\0A=1\0e\0B\0l\0\0", 20));
    EXPECT_EQ(rec_.instr[0].text, 9u);
    EXPECT_EQ(rec_.instr[0].len, 3);
}

TEST_F(Compile, IfElseEndifTargets) {
    // Statements 1, 3, 5: the IF goes to index 3, the ELSE to 5, the ENDIF back to 2.
    ASSERT_EQ(compile("IF A\nX=1\nELSE\nX=2\nENDIF\nX=3\n"), 0);
    EXPECT_EQ(codes(), "10>3 0>0 9>5 0>0 5>2 0>0");
}

TEST_F(Compile, LoopsAndNestedBlocks) {
    ASSERT_EQ(compile("DO\n"                // 0
                      " DO_WHILE A<3\n"     // 1
                      "  IF_TRUE B\n"       // 2
                      "  ENDIF\n"           // 3
                      " LOOP\n"             // 4
                      " IF_FALSE C\n"       // 5
                      " LOOP_WHILE D\n"     // 6: closes the IF_FALSE
                      "LOOP_UNTIL E\n"      // 7
                      "DO_UNTIL F\n"        // 8
                      "ENDIF\n"),           // 9: any closer ends any opener
              0);
    EXPECT_EQ(codes(), "15>8 12>5 11>4 5>2 6>1 13>7 7>5 8>0 14>10 5>8");
}

TEST_F(Compile, GotoAndGosubResolveLabelsIncludingOneAfterTheLast) {
    ASSERT_EQ(compile(":top\n"
                      "GOSUB sub\n"
                      "GOTO done\n"
                      ":sub\n"
                      "RETURN\n"
                      "goto top\n"
                      ":done\n"),
              0);
    EXPECT_EQ(codes(), "2>2 1>4 4>0 1>0");
    EXPECT_EQ(prc_label_find(rec_, S("done")), rec_.count);
    EXPECT_EQ(prc_label_find(rec_, S("nowhere")), NOT_FOUND);
    // Labels that follow each other stand for the same statement.
    ASSERT_EQ(compile(":a\n:b\nX=1\nGOTO a\nGOTO b\n"), 0);
    EXPECT_EQ(codes(), "0>0 1>0 1>0");
}

TEST_F(Compile, LabelsAreCaseSensitive) {
    EXPECT_EQ(compile(":Start\nX=1\nGOTO START\n"), E_SYNTAX);
    EXPECT_EQ(detail(), "\r\nLabel 'START' in line 2 (+ remmarks) not found");
    EXPECT_EQ(compile(":Start\nX=1\nGOTO Start\n"), 0);
}

TEST_F(Compile, StatementNumbersSkipRemarksLabelsAndEntries) {
    EXPECT_EQ(compile(";1\n;2\n;3\nGOTO nowhere\n"), E_SYNTAX);
    EXPECT_EQ(detail(), "\r\nLabel 'nowhere' in line 1 (+ remmarks) not found");
    EXPECT_EQ(error_current().code, E_SYNTAX);
    EXPECT_EQ(error_current().module, M_EXEC_COMPILER);
    EXPECT_EQ(compile("X=1\n:l\nDEF_FN f\n\n; r\nY=2\nGOSUB gone\n"), E_SYNTAX);
    EXPECT_EQ(detail(), "\r\nLabel 'gone' in line 3 (+ remmarks) not found");
}

TEST_F(Compile, FaultsNameTheirStatement) {
    using namespace std::string_literals;
    struct Case {
        std::string src;
        u16 code;
        const char* detail;
    } cases[] = {
        {"ENDIF\n", E_SYNTAX,
         "\r\nFinal of Conditional or loop without \r\n"
         "Begin (Loop, Endif...) in line 1 (+ remmarks)"},
        {"DO\nLOOP\n;x\nLOOP\n", E_SYNTAX,
         "\r\nFinal of Conditional or loop without \r\n"
         "Begin (Loop, Endif...) in line 3 (+ remmarks)"},
        {"X=1\nIF A\nDO\nLOOP\n", E_SYNTAX,
         "\r\nBegin of Conditional or loop without \r\n"
         "Final (Endif, Loop...) in line 2 (+ remmarks)"},
        {"IF A\nELSE\n", E_SYNTAX,
         "\r\nBegin of Conditional or loop without \r\n"
         "Final (Endif, Loop...) in line 2 (+ remmarks)"},
        {"X=1\n:twice\nY=2\n:twice\nZ=3\n", E_SYNTAX,
         "\r\nLabel 'twice' in line 3 (+ remmarks) declared twice"},
        {"DEF_FN f\nX=1\nDEF_FN f\n", E_SYNTAX,
         "\r\nEntry point 'f' in line 2 (+ remmarks) declared twice"},
        {"X=1\n: words\n", E_SYNTAX, "\r\nLabel without a name in line 2 (+ remmarks)"},
        {"X=1\nDEF_FN   \n", E_SYNTAX, "\r\nEntry point without a name in line 2 (+ remmarks)"},
        {"X=1\nY=\"a\0b\"\n"s, E_SYNTAX, "\r\nNUL byte in line 2 (+ remmarks)"},
        {"X=1\n:a\0b\n"s, E_SYNTAX, "\r\nNUL byte in line 2 (+ remmarks)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compile(c.src), c.code) << c.src;
        EXPECT_EQ(detail(), c.detail) << c.src;
        EXPECT_EQ(rec_.block, nullptr);
        EXPECT_EQ(rec_.count, 0);
        EXPECT_EQ(error_current().module, M_EXEC_COMPILER);
    }
    // A NUL byte in a remark does no harm.
    EXPECT_EQ(compile("; a\0b\nX=1\n"s), 0);
}

TEST_F(Compile, NestingStopsAtSixteenOpenBlocks) {
    EXPECT_EQ(compile(repeat("IF A", 16) + repeat("ENDIF", 16)), 0);
    EXPECT_EQ(compile(repeat("IF A", 17) + repeat("ENDIF", 17)), E_OUTOFMEMORY);
    EXPECT_EQ(detail(), "\r\nConditionals or loops nested deeper than 16 in line 17 (+ remmarks)");
    // Sixteen open, then ELSE: it closes one before it opens its own.
    EXPECT_EQ(compile(repeat("DO", 16) + "ELSE\n" + repeat("LOOP", 16)), 0);
}

TEST_F(Compile, LabelAndEntryLimits) {
    std::string labels, entries;
    for (int i = 0; i < PRC_MAX_LABELS; i++) labels += ":l" + std::to_string(i) + "\nX=1\n";
    for (int i = 0; i < PRC_MAX_ENTRIES; i++) entries += "DEF_FN e" + std::to_string(i) + "\nX=1\n";
    EXPECT_EQ(compile(labels + "GOTO l127\n"), 0);
    EXPECT_EQ(rec_.label_count, PRC_MAX_LABELS);
    EXPECT_EQ(rec_.instr[128].target, 127);
    EXPECT_EQ(compile(labels + ":one_more\n"), E_OUTOFMEMORY);
    EXPECT_EQ(detail(), "\r\nMore than 128 labels in line 129 (+ remmarks)");
    EXPECT_EQ(compile(entries), 0);
    EXPECT_EQ(rec_.entries[127].pos, 127);
    EXPECT_EQ(compile(entries + "DEF_FN one_more\n"), E_OUTOFMEMORY);
    EXPECT_EQ(detail(), "\r\nMore than 128 entry points in line 129 (+ remmarks)");
}

TEST_F(Compile, StatementAndLineLimits) {
    std::string many = repeat("X", PRC_MAX_STATEMENTS) + ":end\nGOTO end\n";
    EXPECT_EQ(compile(many), E_OUTOFMEMORY);
    EXPECT_EQ(detail(), "\r\nMore than 65534 statements in line 65535 (+ remmarks)");
    EXPECT_EQ(compile(repeat("X", PRC_MAX_STATEMENTS - 1) + ":end\nGOTO end\n"), 0);
    EXPECT_EQ(rec_.instr[PRC_MAX_STATEMENTS - 1].target, PRC_MAX_STATEMENTS - 1);

    std::string line(PRC_MAX_LINE, 'x');
    EXPECT_EQ(compile("A=1\n" + line + "\n"), 0);
    EXPECT_EQ(compile("A=1\n" + line + "y\n"), E_STRINGTOOLONG);
    EXPECT_EQ(detail(), "\r\nLine longer than 32767 bytes in line 2 (+ remmarks)");
    // A long remark counts too: a file layer that reads lines in pieces must not turn the
    // rest of it into statements.
    EXPECT_EQ(compile(";" + line + "\n"), E_STRINGTOOLONG);
}

TEST_F(Compile, TextAndSourceLimits) {
    std::string line(30000, 'x');
    std::string big;
    while (big.size() <= PRC_MAX_TEXT) big += line + "\n";
    EXPECT_EQ(compile(big), E_OUTOFMEMORY);
    EXPECT_NE(detail().find("Texts longer than 8388608 bytes in line 280"), std::string::npos)
        << detail();
    std::string remarks;
    while (remarks.size() <= PRC_MAX_SOURCE) remarks += ";" + line + "\n";
    EXPECT_EQ(compile(remarks), E_OUTOFMEMORY);
    EXPECT_EQ(detail(), "\r\nProcedure longer than 16777216 bytes in line 1 (+ remmarks)");
}

TEST_F(Compile, FailuresReleaseTheirMemory) {
    u16 blocks = mem_blocks_in_use();
    EXPECT_EQ(compile(repeat("IF A", 3) + "GOTO nowhere\n"), E_SYNTAX);
    EXPECT_EQ(compile(repeat(":x\nY=1", 2)), E_SYNTAX);
    EXPECT_EQ(mem_blocks_in_use(), blocks);
    EXPECT_EQ(compile("X=1\n"), 0);
    EXPECT_EQ(mem_blocks_in_use(), blocks + 1);
    EXPECT_EQ(prc_release(&rec_), 0);
    EXPECT_EQ(mem_blocks_in_use(), blocks);
    EXPECT_EQ(rec_.block, nullptr);
}

TEST_F(Compile, LongNamesInDetailTextsAreCut) {
    std::string label(5000, 'L');
    EXPECT_EQ(compile("GOTO " + label + "\n"), E_SYNTAX);
    EXPECT_EQ(detail(),
              "\r\nLabel '" + std::string(200, 'L') + "' in line 1 (+ remmarks) not found");
}

namespace {
u16 runs = 0;
void fake_run() { runs++; }
}  // namespace

TEST_F(Compile, EveryCompileInstallsTheRunOperation) {
    hook_set(HOOK_RUNPRC, nullptr);
    prc_run_op_set(nullptr);
    EXPECT_EQ(compile("X=1\n"), 0);
    EXPECT_EQ(hook_get(HOOK_RUNPRC), nullptr);
    prc_run_op_set(fake_run);
    EXPECT_EQ(hook_get(HOOK_RUNPRC), nullptr);  // only a compile puts it there
    EXPECT_EQ(compile("X=1\n"), 0);
    EXPECT_EQ(hook_get(HOOK_RUNPRC), fake_run);
    hook_set(HOOK_RUNPRC, nullptr);
    EXPECT_EQ(compile("GOTO nowhere\n"), E_SYNTAX);  // a failing compile too
    EXPECT_EQ(hook_get(HOOK_RUNPRC), fake_run);
    hook_set(HOOK_RUNPRC, nullptr);
    prc_run_op_set(nullptr);
}
