// Built-in functions on files, procedures and data files: WRITE and READ$ round trips
// (parameter files included), FILESEL on text files, FN#FLEN, EXEC$ of a file and through
// the procedure hook, and the data-file functions without and with a data layer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "expr/structs.h"
#include "runtime/env.h"
#include "runtime/files.h"
#include "runtime/startup.h"
#include "runtime/sysvars.h"
#include "test_funcs_support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::eval;
using vx::test::expect_all;
using vx::test::text;

namespace {

class FnFiles : public vx::test::FnTest {
protected:
    void TearDown() override {
        files_close_all();
        FnTest::TearDown();
    }
    std::string file(const char* name) { return vx::test::slurp(dir_.path() / name); }
    void put(const char* name, const std::string& content) {
        std::ofstream(dir_.path() / name, std::ios::binary) << content;
    }
    bool exists(const char* name) { return std::filesystem::exists(dir_.path() / name); }
};

TEST_F(FnFiles, WriteThenRead) {
    EXPECT_EQ(eval("WRITE('a.txt';2;'line1'+.lf$+'line2'+.lf$)"), "0.00");
    EXPECT_EQ(file("a.txt"), "line1\r\nline2\r\n");
    expect_all({
        {"READ$('a.txt')", "'line1\r\nline2\r\n'"},
        {"READ$('a.txt';2;3)", "'ne1'"},
        {"READ$('a.txt';5;4)", "'\r\nli'"},
        {"READ$('a.txt';10)", "'e2\r\n'"},
        {"READ$('a.txt';100)", "''"},
        {"READ$('a.txt';0;0)", "''"},
        {"READ$(' a.txt ';0;5)", "'line1'"},      // names are trimmed
        {"WRITE('a.txt';4;'more')", "0.00"},      // appended
        {"READ$('a.txt';7)", "'line2\r\nmore'"},  // no line end after the last line
        {"WRITE('a.txt';-1;'!')", "0.00"},
        {"READ$('a.txt';-5)", "'line1\r\nline2\r\nmore!'"},
        {"WRITE('a.txt';2;12.5)", "0.00"},  // a number is written as its text
        {"READ$('a.txt')", "'12.50'"},
        {"WRITE('a.txt';0;'AB')", "0.00"},  // mode 0 writes over the start
        {"READ$('a.txt')", "'AB.50'"},
    });
}

TEST_F(FnFiles, LineEndsReadAsCrLf) {
    put("lf.txt", "x\ny\nz\n");
    put("mixed.txt", "x\r\ny");
    put("empty.txt", "");
    expect_all({
        {"READ$('lf.txt')", "'x\r\ny\r\nz\r\n'"},
        {"READ$('mixed.txt')", "'x\r\ny'"},
        {"READ$('empty.txt')", "''"},
        {"READ$('missing.txt')", "''"},
    });
    EXPECT_FALSE(exists("missing.txt"));
}

TEST_F(FnFiles, WriteFailures) {
    expect_all({
        {"WRITE('no/such/dir/x.txt';2;'a')", "<164>"},
        {"WRITE('x.txt';256;'a')", "<147>"},
        {"WRITE('x.txt';-4;'a')", "<147>"},
        {"WRITE(99;0;'a')", "<151>"},
        {"WRITE(7;0;'a')", "<131>"},  // a handle that is not open
        {"WRITE('x.txt';'2';'a')", "<128>"},
    });
    EXPECT_NE(text(error_detail()).find("no/such/dir/x.txt"), std::string::npos);
}

TEST_F(FnFiles, HandlesOpenWriteReadAndClose) {
    EXPECT_EQ(eval("H=FILESEL('h.txt';2);WRITE(H;0;'one'+.lf$);WRITE(H;0;'two');FILESEL(H)"),
              "0.00");
    EXPECT_EQ(file("h.txt"), "one\r\ntwo");
    expect_all({
        {"H=FILESEL('h.txt';8)", "3.00"},
        {"READ$(H;0;0)", "'0'"},
        {"READ$(H)", "'one'"},
        {"READ$(H;0;1)", "'two'"},
        {"READ$(H;0;0)", "'1'"},  // at the end
        {"READ$(H)", "''"},
        {"FILESEL(H)", "0.00"},
        {"FILESEL(H)", "<151>"},  // closed already
        {"FILESEL(40)", "<151>"},
        {"READ$(77)", "''"},
        {"FILESEL('missing.txt';8)", "<164>"},
        {"FILESEL('x.txt';-1)", "<147>"},
        {"FILESEL(3;1)", "<128>"},
    });
    EXPECT_FALSE(exists("missing.txt"));
}

TEST_F(FnFiles, HandlesRunOut) {
    std::string last;
    int opened = 0;
    for (int i = 0; i < 50 && last != "<168>"; i++) {
        last = eval("FILESEL('f" + std::to_string(i) + ".txt';2)");
        if (last != "<168>") opened++;
    }
    EXPECT_EQ(last, "<168>");
    EXPECT_EQ(opened, FILE_HANDLES - 3);
    EXPECT_EQ(eval("FILESEL(3);FILESEL('again.txt';2)"), "3.00");
}

TEST_F(FnFiles, ParameterFiles) {
    EXPECT_EQ(eval("WRITE('p.dat';-2;'HOST=abc:USER=me')"), "0.00");
    EXPECT_EQ(file("p.dat"), "HOST=abc\r\nUSER=me\r\n");
    put("q.dat", "; settings\r\nUSER=old\r\nHOST:x\r\nUSER=older\r\n");
    EXPECT_EQ(eval("WRITE('q.dat';-3;\"USER='you too' NEW=1 HOST=h\")"), "0.00");
    EXPECT_EQ(file("q.dat"), "; settings\r\nUSER='you too'\r\nHOST=h\r\nNEW=1\r\n");
    // Read back as one text, the keys found as options.
    EXPECT_EQ(eval("READ$('q.dat')"), "'; settings\r\nUSER='you too'\r\nHOST=h\r\nNEW=1\r\n'");
    EXPECT_EQ(eval("FN$PARM(FN$CHNG(READ$('p.dat');.lf$;',');2)"), "'USER=me'");
    EXPECT_EQ(eval("WRITE('p.dat';-2;'=x word KEY:value')"),
              "0.00");  // words without values are no items
    EXPECT_EQ(file("p.dat"), "HOST=abc\r\nUSER=me\r\nKEY=value\r\n");
}

TEST_F(FnFiles, Sizes) {
    put("s.txt", std::string(1234, 'x'));
    expect_all({
        {"FN#FLEN('s.txt')", "1234.00"},
        {"FN#FLEN('missing.txt')", "0.00"},
        {"FN#FLEN('')", "0.00"},
        {"FN#FLEN(5)", "<128>"},
    });
    EXPECT_FALSE(exists("missing.txt"));
}

TEST_F(FnFiles, ExpressionFiles) {
    put("e.txt", "A#=1\r\n\r\n  B#=A#+1  \nC$='x'\n");
    EXPECT_EQ(eval("EXEC$('e.txt')"), "''");
    expect_all({{"B#", "2.00"}, {"C$", "'x'"}});
    put("bad.txt", "D#=1\r\nD#=1+'a'\r\nD#=3\r\n");
    EXPECT_EQ(eval("EXEC$('bad.txt')"), "<128>");
    EXPECT_EQ(eval("D#"), "1.00");
    EXPECT_EQ(eval("EXEC$('missing.txt')"), "<164>");
    std::filesystem::create_directories(dir_.path() / "docs");
    put("docs/d.txt", "E#=5");
    ASSERT_EQ(env_set(ENV_DOCS, S("docs")), 0);
    EXPECT_EQ(eval("EXEC$('d.txt');E#"), "5.00");  // the documents folder
    EXPECT_EQ(eval("EXEC$('e.txt')"), "<164>");    // no longer the current folder
    EXPECT_EQ(eval("EXEC$('./e.txt')"), "''");     // a folder of its own
}

// ---- Procedures through the run hook ----

struct RunSeen {
    std::string entry, file;
    u16 flags = 0;
    std::vector<std::string> params;
};
RunSeen seen;
u16 run_answer = 0;

u16 fake_run(Str entry, Str file, u16 flags) {
    seen = RunSeen{text(entry), text(file), flags, {}};
    for (u16 i = 0; i < param_depth(); i++) {
        TmpScope scope;
        Value v;
        param_read(i, v);
        seen.params.push_back(v.is_str ? text(v.str) : text(num_text(v.num)));
    }
    if (run_answer) return run_answer;
    store_push(LIST_RESULTS, S("from the procedure"));
    return 0;
}

TEST_F(FnFiles, Procedures) {
    EXPECT_EQ(eval("EXEC$('main')"), "<148>");
    EXPECT_EQ(text(error_detail()).rfind("EXEC$()", 0), 0u) << text(error_detail());
    EXPECT_EQ(eval("EXEC$('e.txt';1)"), "<148>");  // with parameters: a procedure
    hook_set(HOOK_RUNPRC, reinterpret_cast<AnyFn>(fake_run));
    ASSERT_EQ(param_push(val_str(S("caller's"))), 0);
    EXPECT_EQ(eval("EXEC$('main,lib.prc';2*3)"), "'from the procedure'");
    EXPECT_EQ(seen.entry, "main");
    EXPECT_EQ(seen.file, "lib.prc");
    EXPECT_EQ(seen.flags, RUN_LOCAL | RUN_KEEP_RESULT);
    EXPECT_EQ(seen.params, (std::vector<std::string>{"caller's", "6.00"}));
    EXPECT_EQ(store_count(LIST_RESULTS), 0);
    EXPECT_EQ(stack_depth(), 1);
    EXPECT_EQ(eval("EXEC$('other')"), "'from the procedure'");
    EXPECT_EQ(seen.params.size(), 1u);
    run_answer = E_FILENOTFOUND;
    EXPECT_EQ(eval("EXEC$('gone')"), "<164>");
    EXPECT_EQ(stack_depth(), 1);
    run_answer = 0;
    hook_set(HOOK_RUNPRC, nullptr);
    param_cut(0);
}

// ---- Data files ----

TEST_F(FnFiles, DataFileFunctionsWithoutTheDataLayer) {
    ASSERT_EQ(struct_define(1, S("sales"), S("data")), 0);
    struct Case {
        const char* expression;
        const char* name;
    } cases[] = {
        {"FILEFIND('k')", "FILEFIND"},
        {"FILEREL(1;2;3)", "FILEREL"},
        {"FILELOCATE('TOP')", "FILELOCATE"},
        {"KEY$()", "KEY$"},
        {"IER()", "IER"},
        {"FN#FLEN('sales')", "FN#FLEN"},
        {"FILESEL('sales')", "FILESEL"},
        {"SORT$('sales')", "SORT$"},
    };
    for (const auto& c : cases) {
        error_detail_clear();
        EXPECT_EQ(eval(c.expression), "<148>") << c.expression;
        EXPECT_EQ(text(error_detail()).rfind(c.name, 0), 0u) << text(error_detail());
        EXPECT_EQ(stack_depth(), 0);
    }
    // Argument errors come first.
    expect_all({{"FILEFIND('k';1;'x')", "<128>"},
                {"FILEREL('a';2;3)", "<128>"},
                {"FILELOCATE(1)", "<128>"}});
}

struct DataSeen {
    std::vector<std::string> calls;
};
DataSeen data_seen;
u16 data_answer = 0;

std::string join(std::initializer_list<std::string> parts) {
    std::string r;
    for (const auto& p : parts) r += (r.empty() ? "" : ",") + p;
    return r;
}

u16 d_find(u16 file, Str key, u16 index, u16 flags) {
    data_seen.calls.push_back(join(
        {"find", std::to_string(file), text(key), std::to_string(index), std::to_string(flags)}));
    return data_answer;
}
u16 d_relation(u16 file, u16 relation, u16 index, u16 flags, Str rest) {
    data_seen.calls.push_back(join({"rel", std::to_string(file), std::to_string(relation),
                                    std::to_string(index), std::to_string(flags), text(rest)}));
    return data_answer;
}
u16 d_locate(u16 file, u16 verb) {
    data_seen.calls.push_back(join({"locate", std::to_string(file), std::to_string(verb)}));
    return data_answer;
}
u16 d_key(u16 file, u16 index, u16 image, u16 length, Str* out) {
    data_seen.calls.push_back(join({"key", std::to_string(file), std::to_string(index),
                                    std::to_string(image), std::to_string(length)}));
    *out = S("K001");
    return data_answer;
}
u16 d_status(u16 file) {
    data_seen.calls.push_back(join({"status", std::to_string(file)}));
    return data_answer;
}
u16 d_count(u16 file, i64* records) {
    data_seen.calls.push_back(join({"count", std::to_string(file)}));
    *records = 42;
    return data_answer;
}
u16 d_open_set(Str flags) {
    std::string s;
    for (u16 i = 0; i < flags.n; i++)
        s += std::to_string(flags.at(i)) + (i + 1 < flags.n ? "." : "");
    data_seen.calls.push_back(join({"set", s}));
    return data_answer;
}

class FnData : public FnFiles {
protected:
    void SetUp() override {
        FnFiles::SetUp();
        data_seen = {};
        data_answer = 0;
        DataFileCalls calls;
        calls.find = d_find;
        calls.relation = d_relation;
        calls.locate = d_locate;
        calls.key = d_key;
        calls.status = d_status;
        calls.count = d_count;
        calls.open_set = d_open_set;
        datafile_calls_set(&calls);
        ASSERT_EQ(struct_define(1, S("sales"), S("data")), 0);
        ASSERT_EQ(struct_define(2, S("items"), S("data")), 0);
        ASSERT_EQ(struct_define(3, S("stock"), S("data")), 0);
        sysint_set(SV_CURFIL, 2);
    }
    std::vector<std::string>& calls() { return data_seen.calls; }
};

TEST_F(FnData, ArgumentsReachTheDataLayer) {
    expect_all({
        {"FILEFIND('k';'sales';2;4)", "0.00"},
        {"FILEFIND(12)", "0.00"},
        {"FILELOCATE('next';3)", "0.00"},
        {"FILELOCATE('del')", "0.00"},
        {"FILELOCATE('what')", "0.00"},
        {"FILEREL(1;2;3;4;A=1;B=2)", "0.00"},
        {"FILEREL(0;1;1)", "0.00"},
        {"KEY$(1;0;2;5)", "'K001'"},
        {"IER('STOCK')", "0.00"},
        {"FN#FLEN('items')", "42.00"},
    });
    EXPECT_EQ(calls(),
              (std::vector<std::string>{"find,1,k,2,4", "find,2,12.00,0,0", "locate,3,3858",
                                        "locate,2,1602", "locate,2,255", "rel,1,2,3,4,A=1;B=2",
                                        "rel,2,1,1,0,", "key,1,0,2,5", "status,3", "count,2"}));
    expect_all({
        {"FILEFIND('k';'nosuch')", "<151>"},
        {"FILEFIND('k';31)", "<151>"},
        {"FILEFIND('k';1;70000)", "<168>"},
    });
    sysint_set(SV_CURFIL, 0);
    EXPECT_EQ(eval("KEY$()"), "''");  // no data file
    data_answer = 2;
    EXPECT_EQ(eval("FILELOCATE('NXT')"), "2.00");
    data_answer = E_SQLERROR;
    EXPECT_EQ(eval("FILELOCATE('NXT')"), "<162>");
    EXPECT_EQ(eval("KEY$(1)"), "<162>");
}

TEST_F(FnData, OpenSets) {
    EXPECT_EQ(eval("FILESEL('sales;2,stock')"), "0.00");
    EXPECT_EQ(eval("FILESEL('items')"), "0.00");
    EXPECT_EQ(eval("FILESEL('3;4,1,')"), "0.00");
    EXPECT_EQ(eval("FILESEL('')"), "0.00");
    EXPECT_EQ(eval("FILESEL('sales,stock;2')"), "0.00");  // the last item's own flags and 8
    EXPECT_EQ(calls(), (std::vector<std::string>{"set,2.0.9", "set,0.9.0", "set,9.0.4", "set,0.0.0",
                                                 "set,1.0.10"}));
    EXPECT_EQ(store_count(LIST_OPEN_SETS), 5);
    EXPECT_EQ(eval("FILESEL('RESTORE')"), "0.00");
    calls().clear();
    EXPECT_EQ(eval("FILESEL('RESTORE');FILESEL('restore')"), "0.00");
    EXPECT_EQ(calls(), (std::vector<std::string>{"set,9.0.4", "set,0.9.0"}));
    expect_all({
        {"FILESEL('sales,nosuch;1')", "<166>"},
        {"FILESEL('sales;x')", "<147>"},
        {"FILESEL('sales;300')", "<147>"},
        {"FILESEL('RESTORE');FILESEL('RESTORE')", "<141>"},
    });
    EXPECT_NE(text(error_detail()).find("RESTORE"), std::string::npos);
    EXPECT_EQ(store_count(LIST_OPEN_SETS), 1);
}

}  // namespace
