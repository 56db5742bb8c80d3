// The writer of generated definitions: the line width and the five template lines, the
// columns of the fields chosen, parameter lines, the replacement of one definition in a
// file (the others byte for byte), chart definitions written from the answers of the forms
// and read back for editing; and, against the test server, a chart created from the forms'
// answers and run into a PNG.
#include <sys/stat.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <regex>

#include "chart_server_support.h"
#include "chart_support.h"
#include "expr/members.h"
#include "expr/structs.h"
#include "input_lines.h"
#include "output/report_def.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;
namespace ex = vx::expr;
namespace fs = std::filesystem;

namespace {

// The value of an expression: a number with its decimals, a string in quotes, "<code>".
std::string eval(const std::string& expression) {
    TmpScope scope;
    ex::Value v;
    u16 rc = ex::expr_eval(Str{expression.data(), u16(expression.size())}, v);
    if (rc >= E_CANCELLED) return "<" + std::to_string(rc) + ">";
    return v.is_str ? "'" + text(v.str) + "'" : text(ex::num_text(v.num));
}

std::vector<ReportColumn> widths(std::initializer_list<u16> ws) {
    std::vector<ReportColumn> cols;
    for (u16 w : ws) cols.push_back(ReportColumn{"c", 'A', w, "x"});
    return cols;
}

class ReportDef : public vx::test::ChartTest {
protected:
    void SetUp() override {
        ChartTest::SetUp();
        ASSERT_EQ(ex::struct_define(1, S("ventas"), S("")), 0);
        ASSERT_EQ(ex::struct_add_field(S("zona"), 2, 'A'), 0);
        ASSERT_EQ(ex::struct_add_field(S("periodo"), 6, 'A'), 0);
        ASSERT_EQ(ex::struct_add_field(S("mes"), 3, 'N'), 0);
        ASSERT_EQ(ex::struct_add_field(S("importe"), 10, '2'), 0);
        ASSERT_EQ(ex::struct_add_field(S("dia de alta"), 8, 'D'), 0);
        ASSERT_EQ(ex::struct_define(2, S("otra tabla"), S("")), 0);
        ASSERT_EQ(ex::struct_add_field(S("codigo"), 4, 'A'), 0);
    }
    std::string path(const char* name = "charts.ppn") { return (dir_.path() / name).string(); }
    Str spath(const std::string& p) { return Str{p.data(), u16(p.size())}; }
    u16 replace(const std::string& p, u16 n, const std::vector<std::string>& texts) {
        return report_def_replace(spath(p), n, texts);
    }
    // A single-line chart of the table "ventas" with these answers.
    static ChartDefinition chart(const char* title, const char* answers, u16 flags = 0) {
        ChartDefinition d;
        d.title = title;
        d.flags = u16(DOC_CHART | DOC_GRAPHIC | flags);
        d.table = 1;
        d.table_name = "ventas";
        d.fields = "periodo,importe";
        d.answers = answers;
        return d;
    }
    u16 save(const ChartDefinition& d, u16* n = nullptr) {
        std::string p = path();
        u16 number = 0;
        u16 rc = chart_definition_save(spath(p), d, &number);
        if (n) *n = number;
        return rc;
    }
    std::vector<std::string> lines(u16 n) {
        std::vector<std::string> out;
        std::string p = path();
        EXPECT_EQ(report_def_lines(spath(p), n, &out), 0);
        return out;
    }
    // A member of definition n, read as the chart runner reads it.
    std::string member(u16 n, u16 number) {
        std::string p = path();
        TmpScope scope;
        if (ex::parm_load(spath(p), 1, n, nullptr)) return "<none>";
        std::string v = text(ex::member_value(number));
        ex::parm_pop();
        return v;
    }
};

// As the accept layer leaves them: each value in single quotes, or in double ones when it
// holds a single quote.
constexpr const char* MONTHS =
    "'mes{ventas}','importe{ventas}',\"'Ene,Feb,Mar'\",\"zona{ventas}=='NO'\",''";

}  // namespace

// ---- Template lines ----

TEST_F(ReportDef, LineWidthIsTheSmallestThatHoldsTheColumns) {
    EXPECT_EQ(report_line_width({}), 40);
    EXPECT_EQ(report_line_width(widths({40})), 40);
    EXPECT_EQ(report_line_width(widths({20, 19})), 40) << "one space between two columns";
    EXPECT_EQ(report_line_width(widths({20, 20})), 80);
    EXPECT_EQ(report_line_width(widths({80})), 80);
    EXPECT_EQ(report_line_width(widths({40, 40})), 132);
    EXPECT_EQ(report_line_width(widths({66, 65})), 132);
    EXPECT_EQ(report_line_width(widths({66, 66})), 233);
    EXPECT_EQ(report_line_width(widths({233})), 233);
    EXPECT_EQ(report_line_width(widths({255, 10})), 233) << "no width holds them: the widest";
}

TEST_F(ReportDef, TemplateLinesPlaceThePageTitleColumnsDashesAndDetail) {
    std::vector<ReportColumn> cols = {{"zona", 'A', 2, "zona{ventas}"},
                                      {"importe", '2', 10, "importe{ventas}"},
                                      {"mes", 'N', 3, "mes{ventas}"}};
    std::vector<std::string> t = report_template_lines("Ventas", cols);
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[0], " 1  1Pg.\\  \\\x17 FN$TRIM(_DEVPAG)");
    EXPECT_EQ(t[1], " 3  1" + std::string(17, ' ') + "Ventas") << "centred on 40";
    // Titles cut to their column, numbers aligned right, texts left.
    EXPECT_EQ(t[2], " 6  1zo    importe mes");
    EXPECT_EQ(t[3], " 7  1-- ---------- ---");
    EXPECT_EQ(t[4], " 8  1\\\\|#######.##|###\x19zona{ventas},importe{ventas},mes{ventas}");
    // 80 wide: the title moves to the middle of the longer line.
    t = report_template_lines("Ventas", widths({30, 30}));
    EXPECT_EQ(t[1], " 3  1" + std::string(37, ' ') + "Ventas");
    // No column: a detail line of the marker alone.
    t = report_template_lines(std::string(40, 'T'), {});
    EXPECT_EQ(t[1], " 3  1" + std::string(40, 'T'));
    EXPECT_EQ(t[4], " 8  1\x19");
}

TEST_F(ReportDef, ColumnsAreTheChosenFieldsOfTheFile) {
    std::vector<ReportColumn> c = report_columns(1, "importe, nada,zona,dia de alta");
    ASSERT_EQ(c.size(), 3u) << "a name the file does not have is left out";
    EXPECT_EQ(c[0].title, "importe");
    EXPECT_EQ(c[0].type, '2');
    EXPECT_EQ(c[0].width, 10);
    EXPECT_EQ(c[0].expression, "importe{ventas}");
    EXPECT_EQ(c[1].expression, "zona{ventas}");
    EXPECT_EQ(c[2].expression, "5{ventas}")
        << "a name that cannot stand in a reference: the number";
    c = report_columns(2, "codigo");
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].expression, "codigo{2}");
    EXPECT_TRUE(report_columns(9, "codigo").empty());
}

TEST_F(ReportDef, ParameterLinesQuoteWhatNeedsIt) {
    u16 rc = 99;
    EXPECT_EQ(report_param_line("OPEN$", "ventas", &rc), "OPEN$=ventas");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(report_param_line("ASSIGN$", "V#", &rc), "ASSIGN$=V#");
    EXPECT_EQ(report_param_line("RD_COND$", "a{t}=='NO'", &rc), "RD_COND$=\"a{t}=='NO'\"");
    EXPECT_EQ(report_param_line("RD_COND$", "a{t}==\"NO\"", &rc), "RD_COND$='a{t}==\"NO\"'");
    EXPECT_EQ(report_param_line("RD_COND$", "a && b", &rc), "RD_COND$=\"a && b\"");
    EXPECT_EQ(report_param_line("RD_COND$", "", &rc), "");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(report_param_line("RD_COND$", "'a'==\"b\"", &rc), "");
    EXPECT_EQ(rc, E_DATA) << "both quotes cannot be written";
    EXPECT_EQ(report_param_line("RD_COND$", "a\r\nB$=1", &rc), "");
    EXPECT_EQ(rc, E_DATA) << "a line break would start another line";
    error_clear();
}

TEST_F(ReportDef, GeneratedDefinitionsAreAsWideAsTheirFieldsWithTheTitleCentred) {
    ASSERT_EQ(ex::struct_define(3, S("anchos"), S("")), 0);
    for (auto [name, width] : {std::pair{"a", 40}, {"b", 39}, {"c", 40}, {"d", 50}, {"e", 100}})
        ASSERT_EQ(ex::struct_add_field(str_from_cstr(name), u16(width), 'A'), 0);
    struct Case {
        const char* fields;
        size_t used;  // the columns and the spaces between them
        size_t width;
    } cases[] = {
        {"a", 40, 40},       {"a,b", 80, 80},       {"a,c", 81, 132},
        {"a,c,d", 132, 132}, {"a,c,d,b", 172, 233}, {"a,c,d,e", 233, 233},
    };
    for (const Case& k : cases) {
        ChartDefinition d = chart("Anchos", MONTHS);
        d.table = 3;
        d.table_name = "anchos";
        d.fields = k.fields;
        u16 n = 0;
        std::string p = path(("anchos" + std::to_string(k.width) + k.fields + ".ppn").c_str());
        ASSERT_EQ(chart_definition_save(spath(p), d, &n), 0) << text(error_detail());
        std::vector<std::string> l;
        ASSERT_EQ(report_def_lines(spath(p), n, &l), 0);
        ASSERT_GE(l.size(), 5u);
        std::vector<std::string> t(l.end() - 5, l.end());
        EXPECT_EQ(t[1], " 3  1" + std::string((k.width - 6) / 2, ' ') + "Anchos") << k.fields;
        EXPECT_EQ(t[3].size(), 5 + k.used) << k.fields;
        EXPECT_EQ(t[2].size(), 5 + k.used) << "titles padded to their columns: " << k.fields;
    }
}

// ---- The file ----

TEST_F(ReportDef, ReplacingADefinitionKeepsTheOthersByteForByte) {
    // Three definitions: LF and CR LF endings, a line the run-time reads as number 0, a
    // comment without a number after definition 1, and no line end at the end.
    const std::string one = " 1 FD$=Uno\n 1 OPEN$=ventas\r\n# notas de uno\n";
    const std::string two = " 2 FD$=Dos\r\n 2 RESET$=\"'a,b'\"\r\n";
    const std::string three = " 3 FD$=Tres\r\n 3 ASSIGN$=V#";
    write("charts.ppn", one + two + three);
    ASSERT_EQ(replace(path(), 2, {"FD$=Nuevo", "OPEN$=ventas"}), 0);
    std::string now = read("charts.ppn");
    EXPECT_EQ(now, one + " 2 FD$=Nuevo\r\n 2 OPEN$=ventas\r\n" + three);
    // A new number goes between the numbers around it; the last line gets its line end.
    ASSERT_EQ(replace(path(), 11, {"FD$=Once"}), 0);
    ASSERT_EQ(replace(path(), 5, {"FD$=Cinco"}), 0);
    now = read("charts.ppn");
    EXPECT_EQ(now, one + " 2 FD$=Nuevo\r\n 2 OPEN$=ventas\r\n" + three +
                       "\r\n 5 FD$=Cinco\r\n11 FD$=Once\r\n");
    // Removing a definition: the comment stays where it was.
    ASSERT_EQ(replace(path(), 1, {}), 0);
    EXPECT_EQ(read("charts.ppn").substr(0, 16), "# notas de uno\n ");
    // A file that does not exist yet is made.
    ASSERT_EQ(replace(path("nuevo.ppn"), 7, {"FD$=Siete", " 1  1x"}), 0);
    EXPECT_EQ(read("nuevo.ppn"), " 7 FD$=Siete\r\n 7  1  1x\r\n");
    // Lines of definitions out of order are put in the order of their numbers, each
    // definition's lines keeping their own order.
    write("desorden.ppn", " 3 A=1\r\n 1 B=1\r\n 3 A=2\r\n");
    ASSERT_EQ(replace(path("desorden.ppn"), 2, {"C=1"}), 0);
    EXPECT_EQ(read("desorden.ppn"), " 1 B=1\r\n 2 C=1\r\n 3 A=1\r\n 3 A=2\r\n");
}

TEST_F(ReportDef, AFailedWriteLosesNothing) {
    write("charts.ppn", " 1 FD$=Uno\r\n");
    EXPECT_EQ(replace(path(), 1, {"A=1", "B=2\r\n 2 C=3"}), E_DATA) << "a text with a line break";
    EXPECT_EQ(replace(path(), 0, {"A=1"}), E_DATA);
    EXPECT_EQ(replace(path(), 100, {"A=1"}), E_DATA);
    EXPECT_EQ(read("charts.ppn"), " 1 FD$=Uno\r\n");
    // The name is a folder: nothing can take its place, and no temporary file is left.
    fs::create_directory(dir_.path() / "carpeta.ppn");
    EXPECT_EQ(replace(path("carpeta.ppn"), 1, {"A=1"}), E_FILEIO);
    EXPECT_EQ(text(error_detail()), path("carpeta.ppn"));
    EXPECT_TRUE(fs::is_directory(dir_.path() / "carpeta.ppn"));
    // A folder that does not exist.
    EXPECT_EQ(replace(path("no/hay.ppn"), 1, {"A=1"}), E_FILEIO);
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir_.path())) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1) << "only charts.ppn";
    error_clear();
}

TEST_F(ReportDef, TheFileKeepsItsPermissionsAndNothingIsLeftBeside) {
    write("charts.ppn", " 1 FD$=Uno\r\n");
    ::chmod(path().c_str(), 0640);
    ASSERT_EQ(replace(path(), 2, {"FD$=Dos"}), 0);
    struct stat st {};
    ASSERT_EQ(::stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    mode_t mask = ::umask(022);
    ASSERT_EQ(replace(path("nuevo.ppn"), 1, {"FD$=Uno"}), 0);
    ::umask(mask);
    ASSERT_EQ(::stat(path("nuevo.ppn").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u) << "as any new file";
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir_.path())) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2);
}

TEST_F(ReportDef, NewDefinitionsTakeTheSmallestFreeNumber) {
    u16 n = 0;
    ASSERT_EQ(report_def_free_number(spath(path("nada.ppn")), &n), 0);
    EXPECT_EQ(n, 1) << "a file that does not exist";
    write("charts.ppn", " 1 A=1\r\n 2 A=1\r\n 4 A=1\r\n  A=0\r\n");
    ASSERT_EQ(report_def_free_number(spath(path()), &n), 0);
    EXPECT_EQ(n, 3);
    std::string full;
    for (int k = 1; k <= 99; k++) full += (k < 10 ? " " : "") + std::to_string(k) + " A=1\r\n";
    write("lleno.ppn", full);
    EXPECT_EQ(report_def_free_number(spath(path("lleno.ppn")), &n), E_FILEOUTBOUND);
    error_clear();
}

// ---- Chart definitions ----

TEST_F(ReportDef, ASingleLineChartIsWrittenRunnable) {
    u16 n = 0;
    ASSERT_EQ(save(chart("Ventas por mes", MONTHS), &n), 0) << text(error_detail());
    EXPECT_EQ(n, 1);
    EXPECT_EQ(read("charts.ppn"),
              " 1 FD$=\"'Ventas por mes','Ventas por mes'\"\r\n"
              " 1 DOCSETS$=3\r\n"
              " 1 OPEN$=ventas\r\n"
              " 1 RESET$=\"G1#(4095);FN#ACUM(G1#(VX_I)=0;VX_I;0;4095);'Ene,Feb,Mar'\"\r\n"
              " 1 RD_COND$=\"zona{ventas}=='NO'\"\r\n"
              " 1 RD_EXP$=\"G1#((mes{ventas})-1)=G1#((mes{ventas})-1)+(importe{ventas})\"\r\n"
              " 1 ASSIGN$=G1#\r\n"
              " 1  1  1Pg.\\  \\\x17 FN$TRIM(_DEVPAG)\r\n"
              " 1  3  1             Ventas por mes\r\n"
              " 1  6  1period    importe\r\n"
              " 1  7  1------ ----------\r\n"
              " 1  8  1\\\\\\\\\\\\|#######.##\x19periodo{ventas},importe{ventas}\r\n");
    // What the runner reads of it; the title and the flags as the selection reads them.
    EXPECT_EQ(member(1, 13), "ventas");
    std::vector<ChartEntry> entries;
    ASSERT_EQ(chart_definitions(spath(path()), &entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].title, "Ventas por mes");
    EXPECT_FALSE(entries[0].hidden);
    // The reset evaluated: the labels, and the array made and cleared.
    ASSERT_EQ(ex::parm_load(spath(path()), 1, 1, nullptr), 0);
    std::string reset = text(str_unquote(ex::member_value(97)));
    ex::parm_pop();
    EXPECT_EQ(eval(reset), "'Ene,Feb,Mar'");
    EXPECT_EQ(eval("G1#(3)=5;" + reset + ";G1#(3)"), "0.00") << "run again, it starts from 0";
    EXPECT_EQ(eval("G1#(4095)"), "0.00");
}

TEST_F(ReportDef, TitlesStayWritableAndFlagsAreKept) {
    u16 n = 0;
    ASSERT_EQ(
        save(chart(" D'Este \"2025\", todo ", "'','V#(1)=1','V#(1)','','V#'", DOC_NOT_IN_MENU), &n),
        0);
    EXPECT_EQ(member(n, 51), "\"'D`Este `2025`, todo','D`Este `2025`; todo'\"")
        << "quotes become grave accents, the legend of one series has no comma";
    EXPECT_EQ(member(n, 18), "11");
    std::vector<ChartEntry> entries;
    ASSERT_EQ(chart_definitions(spath(path()), &entries), 0);
    EXPECT_EQ(entries[0].title, "D`Este `2025`, todo");
    EXPECT_TRUE(entries[0].hidden);
}

TEST_F(ReportDef, ChartsReadBackIntoTheAnswersTheyWereWrittenFrom) {
    ChartDefinition d = chart("Ventas", MONTHS, DOC_NOT_IN_MENU);
    u16 n = 0;
    ASSERT_EQ(save(d, &n), 0);
    ChartDefinition back;
    ASSERT_EQ(chart_definition_load(spath(path()), n, &back), 0) << text(error_detail());
    EXPECT_EQ(back.title, "Ventas");
    EXPECT_EQ(back.flags, d.flags);
    EXPECT_EQ(back.table, 1);
    EXPECT_EQ(back.table_name, "ventas");
    EXPECT_EQ(back.fields, "periodo,importe");
    EXPECT_TRUE(back.fields_known);
    EXPECT_EQ(back.answers,
              "'mes{ventas}','importe{ventas}',\"'Ene,Feb,Mar'\",\"zona{ventas}=='NO'\",'G1#'");
    EXPECT_EQ(back.number, n);
    EXPECT_EQ(back.path, path());
    // Written back unchanged, the file is the same.
    std::string before = read("charts.ppn");
    ASSERT_EQ(save(back), 0);
    EXPECT_EQ(read("charts.ppn"), before);
    EXPECT_EQ(chart_definition_load(spath(path()), 9, &back), E_NODATA);
    error_clear();
}

TEST_F(ReportDef, EditingAHandWrittenDefinitionKeepsWhatTheFormsDoNotSet) {
    write("charts.ppn",
          " 1 FD$=\"'Ventas 2025','Todas las zonas'\"\r\n"
          " 1 OPEN$=ventas\r\n"
          " 1 INDEX%=2\r\n"
          " 1 LIMITS$=\"'202501','202512'\"\r\n"
          " 1 RESET$=\"V#(11);V#(0)=0;'Ene,Feb'\"\r\n"
          " 1 RD_EXP$=\"V#(mes{ventas}-1)=V#(mes{ventas}-1)+importe{ventas}\"\r\n"
          " 1 ASSIGN$=V#\r\n"
          " 2 FD$=Otro\r\n");
    ChartDefinition d;
    ASSERT_EQ(chart_definition_load(spath(path()), 1, &d), 0);
    EXPECT_EQ(d.flags, DOC_CHART | DOC_GRAPHIC);
    EXPECT_FALSE(d.fields_known) << "no detail line";
    // No group: the value is the step as written, the reset as written.
    EXPECT_EQ(d.answers,
              "'','V#(mes{ventas}-1)=V#(mes{ventas}-1)+importe{ventas}',\"V#(11);V#(0)=0;'Ene,Feb'"
              "\",'','V#'");
    d.title = "Ventas del a\xF1o";
    ASSERT_EQ(save(d), 0);
    std::vector<std::string> l = lines(1);
    ASSERT_GE(l.size(), 9u);
    EXPECT_EQ(l[0], "FD$=\"'Ventas del a\xF1o','Todas las zonas'\"") << "the legend stays";
    EXPECT_EQ(member(1, 97), "\"V#(11);V#(0)=0;'Ene,Feb'\"");
    EXPECT_EQ(member(1, 108), "\"V#(mes{ventas}-1)=V#(mes{ventas}-1)+importe{ventas}\"");
    EXPECT_EQ(member(1, 94), "2");
    EXPECT_EQ(member(1, 95), "\"'202501','202512'\"");
    EXPECT_EQ(lines(2), std::vector<std::string>{"FD$=Otro"});
}

TEST_F(ReportDef, AMultiLineChartCombinesChartsByNumber) {
    ChartDefinition a =
        chart("Norte", "'mes{ventas}','importe{ventas}',\"'Ene,Feb'\",\"zona{ventas}=='NO'\",'N#'",
              DOC_NOT_IN_MENU);
    ChartDefinition b =
        chart("Sur", "'mes{ventas}','importe{ventas}',\"'Ene,Feb'\",\"zona{ventas}=='SU'\",'S#'",
              DOC_NOT_IN_MENU);
    u16 na = 0, nb = 0, n = 0;
    ASSERT_EQ(save(a, &na), 0);
    ASSERT_EQ(save(b, &nb), 0);
    ChartDefinition m;
    m.title = "Norte y Sur";
    m.flags = DOC_CHART | DOC_GRAPHIC | DOC_MULTILINE;
    m.table = 1;
    m.table_name = "ventas";
    m.answers = "'sur,Norte'";
    ASSERT_EQ(save(m, &n), 0) << text(error_detail());
    EXPECT_EQ(n, 3);
    EXPECT_EQ(member(n, 51), "\"'Norte y Sur','Sur,Norte'\"");
    EXPECT_EQ(member(n, 18), "7");
    EXPECT_EQ(member(n, 55), "ventas");
    EXPECT_EQ(member(n, 5), "\"2,1\"");
    EXPECT_EQ(member(n, 53), "\"S#,N#\"");
    EXPECT_EQ(member(n, 97), member(nb, 97)) << "the labels of the first chart";
    EXPECT_EQ(member(n, 13), "") << "no open set of its own";
    ChartDefinition back;
    ASSERT_EQ(chart_definition_load(spath(path()), n, &back), 0);
    EXPECT_EQ(back.answers, "'Sur,Norte'");
    EXPECT_EQ(back.flags, m.flags);
    // A part edited: the combination follows its variable, labels and title.
    ChartDefinition sur;
    ASSERT_EQ(chart_definition_load(spath(path()), nb, &sur), 0);
    sur.title = "Sur 2025";
    sur.answers = "'mes{ventas}','importe{ventas}',\"'1,2'\",'','SS#'";
    ASSERT_EQ(save(sur), 0) << text(error_detail());
    EXPECT_EQ(member(n, 53), "\"SS#,N#\"");
    EXPECT_EQ(member(n, 97), member(nb, 97));
    EXPECT_EQ(member(n, 51), "\"'Norte y Sur','Sur 2025,Norte'\"");
    // A title that names no chart writes nothing.
    m.answers = "'Norte,Este'";
    EXPECT_EQ(save(m), E_DATA);
    EXPECT_EQ(text(error_detail()), "No existe el grafico: Este");
    EXPECT_EQ(member(4, 51), "<none>");
    error_clear();
}

TEST_F(ReportDef, AnswersAreCheckedAsTheyWillBeWritten) {
    std::string file = path();
    Str p = spath(file);
    EXPECT_EQ(chart_answers_check(false, MONTHS, p, 0), 0);
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','',''", p, 0), 0)
        << "the array named after the chart";
    EXPECT_EQ(chart_answers_check(false, "'','V#(1)=1','A#(1);B#(1)','','A#,B#'", p, 0), 0)
        << "a step fills several";
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','','A#,B#'", p, 0), E_BADDATA)
        << "a group fills one";
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','','1#'", p, 0), E_BADDATA);
    EXPECT_EQ(chart_answers_check(false, "\"g=='a'\",'v==\"b\"','r','','V#'", p, 0), E_DATA)
        << "the step would hold both quotes";
    EXPECT_EQ(chart_answers_check(true, "''", p, 0), E_BADDATA);
    EXPECT_EQ(text(error_detail()), "Falta: Titulos a combinar");
    error_clear();
}

TEST_F(ReportDef, EachChartFillsArraysOfItsOwn) {
    write("charts.ppn",
          " 1 FD$=Mensual\r\n 1 OPEN$=ventas\r\n 1 ASSIGN$=V#\r\n"
          " 2 FD$=Parte\r\n 2 OPEN$=ventas\r\n 2 ASSIGN$=P#\r\n"
          " 3 FD$=Juntos\r\n 3 LOAD$=\"2\"\r\n 3 ASSIGN$=\"P#\"\r\n"
          " 5 OPEN$=ventas\r\n 5 ASSIGN$=G4#\r\n");
    std::string file = path();
    Str p = spath(file);
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','','V#'", p, 0), E_DATA);
    EXPECT_EQ(text(error_detail()), "La variable V# ya la usa el grafico Mensual");
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','','V#'", p, 1), 0) << "its own";
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','','P#'", p, 2), 0)
        << "the combination of it aside";
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','','P#'", p, 1), E_DATA);
    // A new chart takes number 4, whose default array another definition fills already.
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','',''", p, 0), E_DATA);
    EXPECT_EQ(text(error_detail()), "La variable G4# ya la usa el grafico 5");
    EXPECT_EQ(chart_answers_check(false, "'g','v','r','','W#'", p, 0), 0);
    error_clear();
}

TEST_F(ReportDef, EditingDefinitionTwoOfThreeLeavesTheOthersByteForByte) {
    // Definitions 1 and 3 as a person may have left them: LF line ends, blanks at the end,
    // a comment, upper-case keys and a last line without its end.
    const std::string one =
        " 1 FD$='Primero'   \n 1 OPEN$=ventas\n# a mano\n 1 RESET$=\"V#(2);'a,b'\"\n 1 "
        "ASSIGN$=V#\n";
    const std::string three = " 3 FD$=\"'Tercero','T'\"\r\n 3 OPEN$=VENTAS\r\n 3  8  1x\x19y";
    u16 n = 0;
    ASSERT_EQ(save(chart("Segundo", MONTHS), &n), 0);
    ASSERT_EQ(n, 1);
    std::string two = read("charts.ppn");
    two.replace(0, two.size(), std::regex_replace(two, std::regex("(^|\n) 1 "), "$1 2 "));
    write("charts.ppn", one + two + three);

    ChartDefinition d;
    ASSERT_EQ(chart_definition_load(spath(path()), 2, &d), 0) << text(error_detail());
    u16 rc = 999;
    vx::test::with_input_lines(
        "'Segundo cambiado',N,S\nventas\n\\ENTER\n"
        "mes{ventas},importe{ventas},\"'Ene,Feb'\",zona{ventas}=='SU',\n",
        [&] { rc = chart_configure(DOC_EDIT, &d); });
    ASSERT_EQ(rc, 0) << text(error_detail());
    ASSERT_EQ(d.number, 2);
    ASSERT_EQ(chart_definition_save(spath(path()), d, nullptr), 0) << text(error_detail());

    std::string now = read("charts.ppn");
    ASSERT_EQ(now.substr(0, one.size()), one);
    ASSERT_GE(now.size(), three.size());
    EXPECT_EQ(now.substr(now.size() - three.size()), three);
    std::string edited = now.substr(one.size(), now.size() - one.size() - three.size());
    EXPECT_NE(edited, two);
    EXPECT_NE(edited.find(" 2 FD$=\"'Segundo cambiado','Segundo cambiado'\"\r\n"),
              std::string::npos)
        << "the legend follows a title it repeated: " << edited;
    EXPECT_NE(edited.find(" 2 DOCSETS$=11\r\n"), std::string::npos) << edited;
    EXPECT_NE(edited.find("zona{ventas}=='SU'"), std::string::npos) << edited;
    for (size_t at = 0; at < edited.size(); at = edited.find('\n', at) + 1)
        EXPECT_EQ(edited.substr(at, 3), " 2 ") << "every line of it is numbered 2";
}

TEST_F(ReportDef, AStepWithoutGroupGetsItsArraysMadeUnlessItsResetMakesThem) {
    u16 n = 0;
    ASSERT_EQ(
        save(chart("Sin grupo", "'','V#(mes{ventas}-1)=V#(mes{ventas}-1)+1',\"'a,b'\",'','V#,W#'"),
             &n),
        0)
        << text(error_detail());
    EXPECT_EQ(member(n, 97),
              "\"V#(4095);FN#ACUM(V#(VX_I)=0;VX_I;0;4095);"
              "W#(4095);FN#ACUM(W#(VX_I)=0;VX_I;0;4095);'a,b'\"");
    EXPECT_EQ(member(n, 108), "\"V#(mes{ventas}-1)=V#(mes{ventas}-1)+1\"");
    ChartDefinition back;
    ASSERT_EQ(chart_definition_load(spath(path()), n, &back), 0);
    EXPECT_EQ(back.answers, "'','V#(mes{ventas}-1)=V#(mes{ventas}-1)+1',\"'a,b'\",'','V#,W#'");
    // A reset that makes one of them: only the other is made before it.
    back.answers = "'','V#(1)=1',\"W#(2);'a,b'\",'','V#,W#'";
    ASSERT_EQ(save(back), 0);
    EXPECT_EQ(member(n, 97), "\"V#(4095);FN#ACUM(V#(VX_I)=0;VX_I;0;4095);W#(2);'a,b'\"");
}

// ---- From the forms' answers to a picture, against the test server ----

namespace {

constexpr const char* SALES =
    "CREATE TABLE ventas (zona char(2) NOT NULL, periodo char(6) NOT NULL, mes integer NOT NULL,"
    "  importe numeric(10,2) NOT NULL, PRIMARY KEY (zona, periodo));"
    "INSERT INTO ventas SELECT z, '2025' || lpad(m::text, 2, '0'), m, m * (CASE z WHEN 'NO' THEN "
    "10 ELSE 1 END)"
    "  FROM unnest(ARRAY['NO','SU']) z, generate_series(1, 12) m;";

class ReportDefRun : public vx::test::ChartServerTest {
protected:
    void SetUp() override { start(SALES); }
    // The forms answered by the lines, then the definition written: its number, 0 when the
    // forms were cancelled.
    u16 create(const std::string& lines, u16 flags = 0, ChartDefinition* from = nullptr) {
        ChartDefinition def;
        if (from) def = *from;
        def.path = "charts.ppn";
        u16 rc = 999, number = 0;
        vx::test::with_input_lines(lines, [&] { rc = chart_configure(flags, &def); });
        EXPECT_EQ(rc, 0) << text(error_detail());
        if (!def.table) return 0;
        EXPECT_EQ(chart_definition_save(S("charts.ppn"), def, &number), 0) << text(error_detail());
        return number;
    }
    u16 run(u16 number, const std::string& png) {
        u16 rc = 999;
        std::string arg = "charts.ppn," + std::to_string(number);
        vx::test::with_input_lines(png + "\n", [&] { rc = chart_run(str_from_cstr(arg.c_str())); });
        return rc;
    }
    std::vector<std::string> values(const char* array, int n) {
        std::vector<std::string> out;
        for (int k = 0; k < n; k++)
            out.push_back(eval(std::string(array) + "(" + std::to_string(k) + ")"));
        return out;
    }
    static std::vector<std::string> numbers(std::initializer_list<const char*> vs) {
        std::vector<std::string> out;
        for (const char* v : vs) out.push_back(eval(v));
        return out;
    }
};

}  // namespace

TEST_F(ReportDefRun, AChartCreatedFromTheFormsRunsIntoAPicture) {
    // Nothing but answers: the document, the table, every field, the chart.
    u16 n = create(
        "'Ventas del Norte',N,N\n"
        "ventas\n"
        "\\ENTER\n"
        "mes{ventas},importe{ventas},\"'Ene,Feb,Mar,Abr'\",zona{ventas}=='NO',\n");
    ASSERT_EQ(n, 1);
    ASSERT_EQ(run(n, "norte.png"), 0) << text(error_detail());
    EXPECT_EQ(values("G1#", 4), numbers({"10", "20", "30", "40"}));
    QImage img("norte.png", "PNG");
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.pixelColor(1, 1), QColor(128, 128, 128)) << "the gray of chart reports";
    // Run again: the figures start from nothing.
    ASSERT_EQ(run(n, ""), 0);
    EXPECT_EQ(values("G1#", 4), numbers({"10", "20", "30", "40"}));

    // Edited: another zone, the rest confirmed as shown.
    ChartDefinition def;
    ASSERT_EQ(chart_definition_load(S("charts.ppn"), n, &def), 0);
    EXPECT_EQ(
        create("\\ENTER\n1\n\\ENTER\n"
               "mes{ventas},importe{ventas},\"'Ene,Feb,Mar,Abr,May,Jun'\",zona{ventas}=='SU',G1#\n",
               DOC_EDIT, &def),
        n);
    ASSERT_EQ(run(n, "sur.png"), 0) << text(error_detail());
    EXPECT_EQ(values("G1#", 6), numbers({"1", "2", "3", "4", "5", "6"}));
    EXPECT_FALSE(QImage("sur.png", "PNG").isNull());
}

TEST_F(ReportDefRun, AChartWithoutGroupRunsFromItsAnswersAlone) {
    // The step fills the array itself; the labels alone were answered as the reset.
    u16 n = create(
        "'Por mes',N,N\nventas\n\\ENTER\n"
        ",V#(mes{ventas}-1)=V#(mes{ventas}-1)+importe{ventas},\"'1,2,3'\",zona{ventas}=='NO',V#\n");
    ASSERT_EQ(n, 1);
    ASSERT_EQ(run(n, "sin_grupo.png"), 0) << text(error_detail());
    EXPECT_EQ(values("V#", 3), numbers({"10", "20", "30"}));
    ASSERT_EQ(run(n, ""), 0);
    EXPECT_EQ(values("V#", 3), numbers({"10", "20", "30"})) << "cleared before each run";
    EXPECT_FALSE(QImage("sin_grupo.png", "PNG").isNull());
}

TEST_F(ReportDefRun, AMultiLineChartDrawsTheChartsItCombines) {
    ASSERT_EQ(create("Norte,N,S\nventas\n\\ENTER\nmes{ventas},importe{ventas},\"'1,2,3'\",zona{"
                     "ventas}=='NO',N#\n"),
              1);
    ASSERT_EQ(create("Sur,N,S\nventas\n\\ENTER\nmes{ventas},importe{ventas},\"'1,2,3'\",zona{"
                     "ventas}=='SU',S#\n"),
              2);
    ASSERT_EQ(create("Las dos,S,N\nventas\n\\ENTER\n'Norte,Sur'\n"), 3);
    ASSERT_EQ(run(3, "dos.png"), 0) << text(error_detail());
    EXPECT_EQ(values("N#", 3), numbers({"10", "20", "30"}));
    EXPECT_EQ(values("S#", 3), numbers({"1", "2", "3"}));
    EXPECT_FALSE(QImage("dos.png", "PNG").isNull());
    // The parts are kept out of menus, the combination is offered.
    std::vector<ChartEntry> entries;
    ASSERT_EQ(chart_definitions(S("charts.ppn"), &entries), 0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[0].hidden);
    EXPECT_TRUE(entries[1].hidden);
    EXPECT_FALSE(entries[2].hidden);
}
