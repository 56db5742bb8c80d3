// Listing reports against the test server, each compared byte for byte with the text device's
// output kept beside its template in tests/output/reports: plain, relative and conditional
// lines with masks, a listing with a total, groups with heads, feet and a grand total, pages
// with the head repeated and cut by CONTINUE%, two copies, :INCLUDE and :DYNAMIC_LINE. Also
// the limits form and the device selection answered from INPUT lines, an empty range, a
// missing template, ATEND$, a report to PDF read back with pdftotext and a server lost in
// the middle of a report.
// VX_UPDATE_REPORTS=1 writes the expected files anew (to be read and checked by eye).
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/datafile_support.h"
#include "data/sql.h"
#include "expr/members.h"
#include "expr/vars.h"
#include "input_lines.h"
#include "output/device.h"
#include "output/pdf.h"
#include "output/report.h"
#include "platform/gui.h"
#include "platform/qt_access.h"
#include "runtime/loop.h"
#include "runtime/msg.h"
#include "runtime/store.h"
#include "screens/install.h"
#include "screens/progress.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;
namespace dt = vx::data;
namespace fs = std::filesystem;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE ventas (zona char(2) NOT NULL, periodo char(6) NOT NULL, mes integer NOT NULL,"
    "  importe numeric(10,2) NOT NULL, PRIMARY KEY (zona, periodo));"
    "INSERT INTO ventas SELECT 'NO', '2025' || lpad(m::text, 2, '0'), m, m * 10 FROM "
    "generate_series(1, 12) m;"
    "INSERT INTO ventas VALUES ('SU', '202501', 1, 1.25), ('SU', '202502', 2, 2.5);";

constexpr const char* DEFINITIONS =
    " 1 DOCNAME$=lineas.tpl\n"
    " 1 DEVICE$=\"lineas.txt,LP:20,WD:60\"\n"
    " 2 DOCNAME$=listado.tpl\n"
    " 2 OPEN$=ventas\n"
    " 2 LIMITS$=\"'NO202501','NO202504'\"\n"
    " 2 DEVICE$=\"listado.txt,LP:15\"\n"
    " 3 DOCNAME$=grupos.tpl\n"
    " 3 OPEN$=ventas\n"
    " 3 LIMITS$=\"'NO202510','SU202512'\"\n"
    " 3 DEVICE$=\"grupos.txt,LP:20\"\n"
    " 4 DOCNAME$=paginas.tpl\n"
    " 4 OPEN$=ventas\n"
    " 4 DEVICE$=\"paginas.txt,LP:12\"\n"
    " 5 DOCNAME$=listado.tpl\n"
    " 5 OPEN$=ventas\n"
    " 5 LIMITS$=\"'NO202501','NO202502'\"\n"
    " 5 COUNTER$=1\n"
    " 5 DEVICE$=\"copias.txt,LP:10\"\n"
    " 6 DOCNAME$=directivas.tpl\n"
    " 6 DEVICE$=\"directivas.txt,LP:8\"\n"
    // The limits asked, the device chosen.
    " 7 DOCNAME$=listado.tpl\n"
    " 7 OPEN$=ventas\n"
    " 7 INDEX%=1\n"
    " 7 ACBOUND$=\"'Desde:':'A8','Hasta:':'A8','Mes:':'N2':mes{}>=\"\n"
    " 7 PROG_MODE$=NONE\n"
    // A template that is not there; a start condition; ATEND$ without records.
    " 8 DOCNAME$=falta.tpl\n"
    " 8 DEVICE$=previo.txt\n"
    " 9 DOCNAME$=listado.tpl\n"
    " 9 OPEN$=ventas\n"
    " 9 USR_COND$=\"N>5\"\n"
    " 9 DEVICE$=inicio.txt\n"
    "10 DOCNAME$=bucle.tpl\n"
    "10 DEVICE$=\"bucle.txt,LP:0\"\n"
    // Auxiliary records: their members first, the definition's after them.
    "11 DOCNAME$=copia.tpl\n"
    "11 DEVICE$=\"aux1.txt,LP:0\"\n"
    "11 COUNTER$=2\n"
    "11 AUXLOAD$=\"aux.dat;1,aux3.dat;3\"\n"
    "12 DOCNAME$=copia.tpl\n"
    "12 DEVICE$=\"aux2.txt,LP:0\"\n"
    "12 COUNTER$=1\n"
    "12 AUXLOAD$=aux.dat;2\n"
    // Members read with the prefix of _AUX by the task, without it during the run.
    "13 P.DOCNAME$=copia.tpl\n"
    "13 P.DEVICE$=\"prefijo.txt,LP:0\"\n"
    "13 COUNTER$=1\n"
    "13 P.COUNTER$=3\n"
    // The whole run repeated.
    "14 DOCNAME$=vuelta.tpl\n"
    "14 DEVICE$=\"vueltas.txt,LP:0\"\n"
    "14 EOT_EXP$=\"(R=R+1)<3\"\n"
    // Every record of the table, to a listing that was printed before.
    "15 DOCNAME$=cortado.tpl\n"
    "15 OPEN$=ventas\n"
    "15 DEVICE$=\"cortado.txt,LP:0\"\n";

class Report : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        DataFileTest::SetUp();
        ASSERT_TRUE(vx::platform::gui_init());
        vx::scr::screens_reset();
        vx::platform::gui_force_interactive(false);
        vx::expr::eval_install();
        setup_tables(TABLES);
        for (const auto& f : fs::directory_iterator(VX_REPORT_FIXTURES))
            if (f.path().extension() != ".txt" || f.path().filename() == "dinamicas.txt")
                fs::copy_file(f.path(), f.path().filename(), fs::copy_options::overwrite_existing);
        std::ofstream("informes.ppn", std::ios::binary) << DEFINITIONS;
        ASSERT_EQ(env_set(ENV_DATA, S(".")), 0);
        pdf_install_folders_set(nullptr);
        report_window_set(nullptr);
    }
    void TearDown() override {
        devices_release();
        vx::scr::screens_reset();
        DataFileTest::TearDown();
    }
    static u16 task(const std::string& args, const std::string& lines = "") {
        u16 rc = 999;
        vx::test::with_input_lines(
            lines, [&] { rc = report_task(str_view(args.data(), u16(args.size()))); });
        return rc;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The device's output against the expected file of the fixtures.
    static void expect_output(const std::string& name) {
        std::string got = read(name);
        std::string expected_path = std::string(VX_REPORT_FIXTURES) + "/" + name;
        const char* update = std::getenv("VX_UPDATE_REPORTS");
        if (update && *update == '1') std::ofstream(expected_path, std::ios::binary) << got;
        EXPECT_EQ(got, read(expected_path)) << name;
    }
    static ReportRequest request(const std::string& name, const std::string& device) {
        ReportRequest q;
        q.name = name;
        q.device = device;
        return q;
    }
    // The PDF's text as pdftotext lays it out.
    static std::string pdf_text(const std::string& pdf) {
        std::string got, command = "pdftotext -layout " + pdf + " -";
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buf[4096];
            for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) got.append(buf, n);
            ::pclose(p);
        }
        return got;
    }
    static void set_number(const char* name, int v) {
        ASSERT_EQ(
            vx::expr::var_assign(str_from_cstr(name), vx::expr::val_num(v * vx::expr::scale())), 0);
    }
};

}  // namespace

TEST_F(Report, PlainRelativeAndConditionalLinesWithMasks) {
    set_number("N", 1);
    EXPECT_EQ(task("informes.ppn,1"), 0) << text(error_detail());
    expect_output("lineas.txt");
    EXPECT_EQ(vx::expr::parm_depth(), 0);
    EXPECT_EQ(store_count(TEMPLATE_LIST), 0) << "the template lines are gone after the run";
}

TEST_F(Report, ListingWithATotal) {
    EXPECT_EQ(task("informes.ppn,2"), 0) << text(error_detail());
    expect_output("listado.txt");
    EXPECT_EQ(eval("_#(3)"), eval("100")) << "10 + 20 + 30 + 40";
    EXPECT_FALSE(dt::datafile_is_open(file("ventas"))) << "the open set is undone";
}

TEST_F(Report, GroupsWithHeadsFeetAndAGrandTotal) {
    EXPECT_EQ(task("informes.ppn,3"), 0) << text(error_detail());
    expect_output("grupos.txt");
    EXPECT_EQ(eval("_#(11)"), eval("333.75"));
}

TEST_F(Report, PagesRepeatTheHeadCutByContinue) {
    EXPECT_EQ(task("informes.ppn,4"), 0) << text(error_detail());
    expect_output("paginas.txt");
}

TEST_F(Report, TwoCopiesEachStartingTheirTotalsFromZero) {
    EXPECT_EQ(task("informes.ppn,5"), 0) << text(error_detail());
    expect_output("copias.txt");
    EXPECT_EQ(eval("_#(3)"), eval("30"));
}

TEST_F(Report, IncludedAndDynamicLines) {
    set_number("N", 1);
    EXPECT_EQ(task("informes.ppn,6"), 0) << text(error_detail());
    expect_output("directivas.txt");
}

TEST_F(Report, LimitsFormAskedAgainAfterEachReportAndDeviceChosen) {
    // Two ranges, each to its own device; the third form is cancelled.
    std::string lines =
        "NO202501,NO202512,11\nuno.txt /LP:0\nNO202503,NO202503,0\ndos.txt /LP:0\n\\ESC\n";
    EXPECT_EQ(task("informes.ppn,7", lines), 0) << text(error_detail());
    std::string uno = read("uno.txt"), dos = read("dos.txt");
    EXPECT_NE(uno.find("NO   202511        110.00"), std::string::npos) << uno;
    EXPECT_NE(uno.find("NO   202512        120.00"), std::string::npos) << uno;
    EXPECT_EQ(uno.find("202510"), std::string::npos) << "the form's condition mes >= 11";
    EXPECT_NE(dos.find("NO   202503         30.00"), std::string::npos) << dos;
    EXPECT_EQ(dos.find("202504"), std::string::npos) << dos;
    // The device selection cancelled: no report, no error.
    EXPECT_EQ(task("informes.ppn,7", "NO202501,NO202512,1\n\\ESC\n\\ESC\n"), 0);
}

TEST_F(Report, EmptyRangeAndFalseStartConditionPrintNothing) {
    std::ofstream("OUT.txt");
    ASSERT_EQ(env_set(ENV_CMDLINE, S("vxrun /OUTPUT='OUT.txt'")), 0);
    EXPECT_EQ(task("informes.ppn,7", "XX000000,XX999999,0\n\\ESC\n"), 0)
        << "127 is shown, the task goes on";
    EXPECT_NE(read("OUT.txt").find("#127]"), std::string::npos) << read("OUT.txt");
    set_number("N", 1);
    EXPECT_EQ(task("informes.ppn,9"), 0);
    EXPECT_FALSE(fs::exists("inicio.txt"));
    set_number("N", 6);
    EXPECT_EQ(task("informes.ppn,9"), 0);
    EXPECT_TRUE(fs::exists("inicio.txt"));
}

TEST_F(Report, MissingTemplateLeavesThePreviousOutputAlone) {
    std::ofstream("previo.txt") << "informe de ayer";
    EXPECT_EQ(task("informes.ppn,8"), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), "falta.tpl");
    EXPECT_EQ(read("previo.txt"), "informe de ayer");
    EXPECT_EQ(task("informes.ppn,99"), E_NODATA);
    for (const char* bad : {"informes.ppn", "informes.ppn,x", "a,b,c,d", ""})
        EXPECT_EQ(task(bad), E_SYNTAX) << bad;
    EXPECT_EQ(vx::expr::parm_depth(), 0);
}

TEST_F(Report, WithoutRecordsTheDetailRepeatsUntilAtEnd) {
    std::ofstream("bucle.tpl", std::ios::binary)
        << "01001\\  \\|##\x19 'n.',I /ATEND$=\"(I=I+1)>3\"\r\n02001fin\x18 ''\r\n";
    EXPECT_EQ(task("informes.ppn,10"), 0) << text(error_detail());
    EXPECT_EQ(read("bucle.txt"), "n.    1\r\nn.    2\r\nn.    3\r\nfin\r\n");
}

TEST_F(Report, AnEndlessRunWithoutRecordsEndsWithTheLoopBudget) {
    // ATEND$ never holds: each pass of the detail block counts against the budget of the
    // languages' loops instead of running a million passes that nobody can stop.
    std::ofstream("sinfin.tpl", std::ios::binary) << "01001x\x19 /ATEND$=1==2\r\n";
    vx::rt::loop_budget_set(50);
    u16 rc = report_run(request("sinfin.tpl", "sinfin.txt /LP:0"));
    vx::rt::loop_budget_set(0);
    EXPECT_EQ(rc, 0) << "ended as a cancelled run ends";
    std::string got = read("sinfin.txt");
    std::size_t lines = std::count(got.begin(), got.end(), '\n');
    EXPECT_GE(lines, 1u);
    EXPECT_LE(lines, 51u) << "the run stopped when the budget was spent";
}

TEST_F(Report, TotalsBeyondTheAccumulatorsFail) {
    std::ofstream("malo.tpl", std::ios::binary) << "01001##\x17 5 /TOTALBASE%=300\r\n";
    ReportRequest q = request("malo.tpl", "malo.txt");
    EXPECT_EQ(report_run(q), E_DIMSTRUC);
}

TEST_F(Report, ListingToPdfReadsBack) {
    ReportRequest q = request("listado.tpl", "listado.pdf /LP:40");
    q.from = "NO202501";
    q.to = "NO202503";
    ASSERT_EQ(dt::datafile_select(S("ventas")), 0);
    sysint_set(SV_CURFIL, i16(file("ventas")));
    ASSERT_EQ(report_run(q), 0) << text(error_detail());
    std::string got = pdf_text("listado.pdf");
    // pdftotext spaces the columns by their measured positions: compared with single blanks.
    std::string words;
    for (char c : got)
        if (c != ' ' || (!words.empty() && words.back() != ' ')) words.push_back(c);
    for (const char* want : {"Ventas Pg. 1", "NO 202501 10.00", "NO 202503 30.00", "60.00"})
        EXPECT_NE(words.find(want), std::string::npos) << want << "\n" << got;
    EXPECT_EQ(got.find("202504"), std::string::npos);
}

// ---- Parameter records, copies, repeated runs ----

TEST_F(Report, AuxiliaryRecordsComeFirstAndTheDefinitionFillsIn) {
    std::ofstream("copia.tpl", std::ios::binary) << "01001Copia|##\x17 '',_AUX+7\r\n";
    // Code 1 in kind 1 (columns 1-2); code 3 in kind 3 (columns 1-4) is joined to it.
    std::ofstream("aux.dat", std::ios::binary) << " 1 COUNTER$=1\r\n 2 TITLE$=Otro\r\n";
    std::ofstream("aux3.dat", std::ios::binary) << "   3 PROG_MODE$=NONE\r\n";
    EXPECT_EQ(task("informes.ppn,11"), 0) << text(error_detail());
    EXPECT_EQ(read("aux1.txt"), "Copia  7\r\nCopia  7\r\n")
        << "COUNTER$ of the auxiliary file before the definition's";
    EXPECT_EQ(task("informes.ppn,12"), 0) << text(error_detail());
    EXPECT_EQ(read("aux2.txt"), "Copia  7\r\nCopia  7\r\n")
        << "COUNTER$ of the definition where the auxiliary record has none";
    EXPECT_EQ(vx::expr::parm_depth(), 0) << "the auxiliary record is gone";
    std::ofstream("informes2.ppn", std::ios::binary)
        << " 1 AUXLOAD$=falta.dat;1\n 1 DOCNAME$=copia.tpl\n";
    EXPECT_EQ(task("informes2.ppn,1"), E_FILENOTFOUND);
    EXPECT_EQ(vx::expr::parm_depth(), 0);
}

TEST_F(Report, AuxIsZeroDuringTheRunAndRestoredAfterIt) {
    std::ofstream("copia.tpl", std::ios::binary) << "01001Copia|##\x17 '',_AUX+7\r\n";
    ASSERT_EQ(env_set(vx::expr::ENV_STRUCT_PREFIXES, S("P")), 0);
    sysint_set(SV_AUX, 1);
    EXPECT_EQ(task("informes.ppn,13"), 0) << text(error_detail());
    EXPECT_EQ(read("prefijo.txt"), "Copia  7\r\nCopia  7\r\n")
        << "two copies: COUNTER$ read without the prefix, _AUX 0 in the columns";
    EXPECT_EQ(sysint_get(SV_AUX), 1);
}

TEST_F(Report, TheWholeRunRepeatsWhileEotExpHolds) {
    std::ofstream("vuelta.tpl", std::ios::binary) << "01001Vuelta|##\x17 '',R+10\r\n";
    set_number("R", 0);
    EXPECT_EQ(task("informes.ppn,14"), 0) << text(error_detail());
    EXPECT_EQ(read("vueltas.txt"), "Vuelta 10\r\nVuelta 11\r\nVuelta 12\r\n");
}

TEST_F(Report, ThreeColumnsAddToTheirBaseAndEachCopyStartsFromZero) {
    std::ofstream("tres.tpl", std::ios::binary) << "01001##|##|##\x17 1,2,3 /TOTALBASE%=3\r\n";
    ReportRequest q = request("tres.tpl", "tres.txt /LP:0");
    ASSERT_EQ(vx::expr::parm_push(S("COUNTER$=1")), 0);
    ASSERT_EQ(report_run(q), 0) << text(error_detail());
    EXPECT_EQ(read("tres.txt"), " 1  2  3\r\n 1  2  3\r\n");
    for (const char* e : {"_#(2)", "_#(6)"}) EXPECT_EQ(eval(e), eval("0")) << e;
    EXPECT_EQ(eval("_#(3)"), eval("1"));
    EXPECT_EQ(eval("_#(4)"), eval("2"));
    EXPECT_EQ(eval("_#(5)"), eval("3"));
    // Bit 1 of _AUXSTAT: the copies add to what the accumulators hold.
    sysint_set(SV_AUXSTAT, i16(sysint_get(SV_AUXSTAT) | AUXSTAT_KEEP_TOTALS));
    ASSERT_EQ(report_run(q), 0) << text(error_detail());
    EXPECT_EQ(eval("_#(5)"), eval("9"));
    vx::expr::parm_pop();
}

TEST_F(Report, PdfPageImageChosenForTheReport) {
    std::ofstream("resumen.tpl", std::ios::binary)
        << "01001Resumen|Pg.|###\x17 '','',_DEVPAG\r\n"
           "02001==========\r\n"
           "03001\\  \\|####,###.##\x19 zona{ventas},importe{ventas}\r\n";
    ASSERT_EQ(dt::datafile_select(S("ventas")), 0);
    sysint_set(SV_CURFIL, i16(file("ventas")));
    ReportRequest q = request("resumen.tpl", "");
    q.from = "NO202501";
    q.to = "NO202502";
    auto printed = [&](const std::string& name) {
        q.device = name + " /LP:40";
        EXPECT_EQ(report_run(q), 0) << text(error_detail());
        return pdf_text(name);
    };
    std::string plain = printed("sin.pdf");
    EXPECT_NE(plain.find("=========="), std::string::npos) << "the default image: kept\n" << plain;
    Str header = pdf_header_path();
    ASSERT_TRUE(header.n);
    fs::copy_file(std::string(header.p, header.n), "pdf_resumen.png");
    ASSERT_EQ(store_set(DEVICE_LIST, PDF_IMAGE_ENTRY, S("anterior.png")), 0);
    std::string own = printed("con.pdf");
    EXPECT_EQ(own.find("=========="), std::string::npos) << "the report's image: dropped\n" << own;
    EXPECT_NE(own.find("20.00"), std::string::npos) << own;
    EXPECT_EQ(text(store_get(DEVICE_LIST, PDF_IMAGE_ENTRY)), "anterior.png")
        << "the entry is given back as it was";
}

TEST_F(Report, BadDirectivesEndTheRunBeforeTheDeviceOpens) {
    ReportRequest q = request("raro.tpl", "mal.txt /LP:0");
    std::ofstream("raro.tpl", std::ios::binary) << "01001Antes\r\n     :INCLUIR otra.inc\r\n";
    EXPECT_EQ(report_run(q), E_SYNTAX);
    EXPECT_EQ(text(error_detail()), "     :INCLUIR otra.inc");
    // A file that includes itself stops at the nesting limit instead of looping.
    std::ofstream("bucle.inc", std::ios::binary) << "01001x\r\n     :INCLUDE bucle.inc\r\n";
    q.name = "bucle.inc";
    EXPECT_EQ(report_run(q), E_DATAOUTBOUND);
    std::ofstream("falta.tpl", std::ios::binary) << "     :DYNAMIC_LINE nada.txt\r\n";
    q.name = "falta.tpl";
    EXPECT_EQ(report_run(q), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), "nada.txt");
    EXPECT_FALSE(fs::exists("mal.txt"));
    EXPECT_EQ(store_count(TEMPLATE_LIST), 0);
}

TEST_F(Report, ProgressModeNoneNeitherStepsNorClosesTheWindow) {
    ASSERT_EQ(dt::datafile_select(S("ventas")), 0);
    sysint_set(SV_CURFIL, i16(file("ventas")));
    ReportRequest q = request("listado.tpl", "modo.txt /LP:0");
    q.from = "NO202501";
    q.to = "NO202502";
    // A window already open whose Cancel was pressed.
    ASSERT_EQ(vx::scr::progress_open(0, 0), 0);
    QTest::mouseClick(
        vx::platform::control_widget(vx::scr::progress_view().window, vx::scr::PROGRESS_CANCEL_ID),
        Qt::LeftButton);
    ASSERT_EQ(vx::expr::parm_push(S("PROG_MODE$=NONE")), 0);
    EXPECT_EQ(report_run(q), 0) << text(error_detail());
    vx::expr::parm_pop();
    EXPECT_NE(read("modo.txt").find("Total               30.00"), std::string::npos)
        << "every record printed\n"
        << read("modo.txt");
    EXPECT_NE(vx::scr::progress_view().window, 0u) << "NONE leaves the window alone";
    // With a progress display of its own the run closes its window when it ends.
    vx::scr::progress_close();
    for (const char* mode : {"PROG_MODE$=PROGRESS", "PROG_MODE$=Listando"}) {
        ASSERT_EQ(vx::expr::parm_push(str_from_cstr(mode)), 0);
        EXPECT_EQ(report_run(q), 0) << text(error_detail());
        vx::expr::parm_pop();
        EXPECT_EQ(vx::scr::progress_view().window, 0u) << mode;
    }
}

TEST_F(Report, WithoutATemplateNameTheRunFailsWithItsMessage) {
    EXPECT_EQ(report_run(request("", "nada.txt")), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), text(msg_text_id(10)));
    EXPECT_FALSE(fs::exists("nada.txt"));
}

// ---- The server lost in the middle of a report ----

namespace {

// Reading _CORTE after `cut_after` records ends the report's server process, as an operator
// would from another session; the scan meets the lost connection at its next chunk.
u32 cut_after = 0;
std::string cut_pid;

u16 cut_hook(u16 mode, Str name, Str, Str* answer) {
    if (mode != vx::expr::VAR_HOOK_READ || text(name) != "_CORTE") return E_DATA;
    if (cut_after && --cut_after == 0)
        vx::test::ScratchDb::get().admin("SELECT pg_terminate_backend(" + cut_pid + ", 5000)");
    *answer = str_copy(S("0"));
    return 0;
}

class ReportServerLost : public Report {
protected:
    void SetUp() override {
        Report::SetUp();
        // Three thousand records more: several chunks, so that the scan goes back to the
        // server after the cut.
        ASSERT_EQ(db("INSERT INTO ventas SELECT 'ZZ', lpad(n::text, 6, '0'), 1, n FROM "
                     "generate_series(1, 3000) n"),
                  "");
        std::ofstream("cortado.tpl", std::ios::binary)
            << "01001\\  \\|\\      \\|#\x19 zona{ventas},periodo{ventas},_CORTE\r\n";
        vx::expr::var_hook_register(cut_hook);
    }
    void TearDown() override {
        vx::expr::var_hook_register(nullptr);
        cut_after = 0;
        Report::TearDown();
    }
    // The server of the current connection is lost after that many records.
    static void lose_server_after(u32 records) {
        TmpScope scope;
        ASSERT_EQ(dt::sql_exec(S("SELECT pg_backend_pid()")), 0);
        cut_pid = text(dt::sql_value(0, 0));
        cut_after = records;
    }
    // The run failed as a lost server fails, and left nothing of itself behind.
    static void expect_lost(u16 rc) {
        EXPECT_EQ(cut_after, 0u) << "the server was lost while the report ran";
        EXPECT_EQ(rc, E_SQLERROR);
        std::string detail = text(error_detail());
        EXPECT_NE(detail.find("server closed the connection"), std::string::npos) << detail;
        EXPECT_EQ(vx::scr::progress_view().window, 0u) << "the progress window is closed";
        EXPECT_EQ(vx::expr::parm_depth(), 0);
        EXPECT_EQ(store_count(TEMPLATE_LIST), 0);
        error_detail_clear();
    }
};

}  // namespace

TEST_F(ReportServerLost, NoCutListingIsLeftAndTheNextRunIsWhole) {
    std::ofstream("cortado.txt", std::ios::binary) << "informe de ayer";
    lose_server_after(100);
    expect_lost(task("informes.ppn,15"));
    EXPECT_FALSE(fs::exists("cortado.txt")) << "a cut listing would pass for a whole one";
    EXPECT_FALSE(dt::datafile_is_open(file("ventas"))) << "the open set is undone";
    // The connection is back: the same report runs whole.
    EXPECT_EQ(task("informes.ppn,15"), 0) << text(error_detail());
    std::string got = read("cortado.txt");
    EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 3014);
    EXPECT_NE(got.find("ZZ   003000   0\r\n"), std::string::npos);
}

TEST_F(ReportServerLost, APdfPrintedBeforeStaysAsItWas) {
    ASSERT_EQ(dt::datafile_select(S("ventas")), 0);
    sysint_set(SV_CURFIL, i16(file("ventas")));
    ASSERT_EQ(report_run(request("cortado.tpl", "cortado.pdf /LP:60")), 0) << text(error_detail());
    const std::string before = read("cortado.pdf");
    ASSERT_NE(pdf_text("cortado.pdf").find("003000"), std::string::npos);
    lose_server_after(700);
    expect_lost(report_run(request("cortado.tpl", "cortado.pdf /LP:60")));
    EXPECT_EQ(read("cortado.pdf"), before);
}
