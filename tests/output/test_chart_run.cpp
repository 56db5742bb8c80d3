// Running chart definitions against the test server, answered from INPUT lines: a
// single-line definition drawn into a PNG, sub-definitions gathered into two series with
// limits asked by the form, the "{}" rule, bad arguments, no records in the limits (a chart
// of zeros), and the listing of the definitions of a file.
#include <QImage>
#include <fstream>

#include "chart_server_support.h"
#include "expr/members.h"
#include "expr/vars.h"
#include "input_lines.h"
#include "output/chart.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;
namespace dt = vx::data;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE ventas (zona char(2) NOT NULL, periodo char(6) NOT NULL, mes integer NOT NULL,"
    "  importe numeric(10,2) NOT NULL, PRIMARY KEY (zona, periodo));"
    "CREATE INDEX ventas_periodo ON ventas (periodo);"
    "INSERT INTO ventas SELECT z, '2025' || lpad(m::text, 2, '0'), m, m * (CASE z WHEN 'NO' THEN 10 ELSE 1 END)"
    "  FROM unnest(ARRAY['NO','SU']) z, generate_series(1, 12) m;";

// Labels 1..4 and the array zeroed, so that a second run starts afresh.
constexpr const char* RESET = "RESET$=\"V#(4);V#(1)=0;V#(2)=0;V#(3)=0;V#(4)=0;'1,2,3,4'\"\n";

constexpr const char* DEFINITIONS =
    // 1: months 1-4 of zone NO, by the primary key.
    " 1 FD$=\"'Ventas del Norte','Norte'\"\n"
    " 1 OPEN$=ventas\n"
    " 1 ASSIGN$=V#\n"
    " 1 LIMITS$=\"'NO202501','NO202504'\"\n"
    " 1 RD_EXP$=\"V#(mes{ventas})=V#(mes{ventas})+importe{ventas}\"\n"
    " 1 {RESET}"
    // 2: two series from sub-definitions 21 and 22, the periods asked by the form.
    " 2 FD$=\"'Norte y Sur','Norte,Sur'\"\n"
    " 2 FILEDEF$=ventas\n"
    " 2 LOAD$=\"21,22,29\"\n"   // 29 does not exist: skipped
    " 2 ACBOUND$=\"'Desde:':'A6','Hasta:':'A6'\"\n"
    " 2 RESET$=\"N#(4);S#(4);'1,2,3,4'\"\n"
    " 2 ASSIGN$=\"N#,S#\"\n"
    "21 OPEN$=ventas\n"
    "21 INDEX%=2\n"
    "21 RD_COND$=\"zona{ventas}=='NO'\"\n"
    "21 RD_EXP$=\"N#(mes{ventas})=N#(mes{ventas})+importe{ventas}\"\n"
    "22 OPEN$=ventas\n"
    "22 INDEX%=2\n"
    "22 RD_COND$=\"zona{ventas}=='SU'\"\n"
    "22 RD_EXP$=\"S#(mes{ventas})=S#(mes{ventas})+importe{ventas}\"\n"
    // 3: limits over the current file, but no file.
    " 3 FD$=Suelto\n"
    " 3 ACBOUND$=\"'Zona:':'A2':zona{}==\"\n"
    // 4: a condition field of the form joined with the definition's own.
    " 4 FD$=\"'Por zona','Zona'\"\n"
    " 4 OPEN$=ventas\n"
    " 4 INDEX%=2\n"
    " 4 ACBOUND$=\"'Desde:':'A6','Hasta:':'A6','Zona:':'A2':zona{}==\"\n"
    " 4 RD_COND$=\"mes{ventas}>1\"\n"
    " 4 ASSIGN$=V#\n"
    " 4 RD_EXP$=\"V#(mes{ventas})=V#(mes{ventas})+importe{ventas}\"\n"
    " 4 {RESET}";

class ChartRun : public vx::test::ChartServerTest {
protected:
    void SetUp() override {
        start(TABLES);
        std::string text = DEFINITIONS;
        for (std::size_t at; (at = text.find("{RESET}")) != std::string::npos;) text.replace(at, 7, RESET);
        std::ofstream("charts.ppn", std::ios::binary) << text;
    }
    u16 run(const char* argument, const std::string& lines) {
        u16 rc = 999;
        vx::test::with_input_lines(lines, [&] { rc = chart_run(str_from_cstr(argument)); });
        return rc;
    }
    static bool dark(const QColor& c) { return c.lightness() < 160; }
    // Columns of the image in which some pixel of the plot's inner band is a line colour
    // (neither the gray background nor black).
    static int coloured_columns(const QImage& img) {
        int n = 0;
        for (int x = 0; x < img.width(); x++)
            for (int y = img.height() / 10; y < img.height() * 9 / 10; y++) {
                QColor c = img.pixelColor(x, y);
                if (c.saturation() > 80) {
                    n++;
                    break;
                }
            }
        return n;
    }
};

}  // namespace

TEST_F(ChartRun, SingleLineDefinitionGathersAndDrawsIntoAPng) {
    EXPECT_EQ(run("charts.ppn,1", "uno.png\n"), 0) << text(error_detail());
    EXPECT_EQ(eval("V#(1)"), eval("10"));
    EXPECT_EQ(eval("V#(4)"), eval("40"));
    EXPECT_EQ(eval("V#(0)"), eval("0"));
    QImage img("uno.png", "PNG");
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.pixelColor(1, 1), QColor(128, 128, 128)) << "gray background";
    EXPECT_GT(coloured_columns(img), img.width() / 2) << "a line across the plot";
    // A second run starts from RESET$ again, and the members are gone afterwards.
    EXPECT_EQ(run(" charts.PPN , 01 ", "\n"), 0);
    EXPECT_EQ(eval("V#(4)"), eval("40"));
    EXPECT_EQ(vx::expr::parm_depth(), 0);
    EXPECT_FALSE(dt::datafile_is_open(file("ventas")));
    // A file open before the run is open again after it.
    ASSERT_EQ(dt::datafile_open(file("ventas"), dt::OPEN_PLAIN), 0);
    EXPECT_EQ(run("charts.ppn,1", "\n"), 0);
    EXPECT_TRUE(dt::datafile_is_open(file("ventas")));
}

TEST_F(ChartRun, SubDefinitionsFillTwoSeriesWithinTheFormsLimits) {
    EXPECT_EQ(run("charts.ppn,2", "202502,202503\ndos.png\n"), 0) << text(error_detail());
    EXPECT_EQ(eval("N#(2)"), eval("20"));
    EXPECT_EQ(eval("N#(3)"), eval("30"));
    EXPECT_EQ(eval("N#(1)"), eval("0"));
    EXPECT_EQ(eval("S#(3)"), eval("3"));
    EXPECT_EQ(eval("S#(4)"), eval("0"));
    EXPECT_FALSE(QImage("dos.png", "PNG").isNull());
    EXPECT_EQ(vx::expr::parm_depth(), 0);
    // Cancelling the form ends the run without a chart.
    EXPECT_EQ(run("charts.ppn,2", "\\ESC\ndos_b.png\n"), E_CANCELLED);
    EXPECT_TRUE(QImage("dos_b.png").isNull());
}

TEST_F(ChartRun, FormConditionIsJoinedWithTheDefinitions) {
    EXPECT_EQ(run("charts.ppn,4", "202501,202504,SU\n\n"), 0) << text(error_detail());
    EXPECT_EQ(eval("V#(1)"), eval("0"));   // mes > 1
    EXPECT_EQ(eval("V#(2)"), eval("2"));   // zone SU only
}

TEST_F(ChartRun, PlaceholderWithoutAFileAndBadArgumentsFail) {
    EXPECT_EQ(run("charts.ppn,3", "NO\n"), E_DATA);
    EXPECT_EQ(text(error_detail()), "No file has been defined and accept use {}. Use FILEDEF$");
    EXPECT_EQ(vx::expr::parm_depth(), 0);
    for (const char* bad : {"charts.ppn", "charts.txt,1", "charts.ppn,1,2", "charts.ppn,x", "charts.ppn,0", ""}) {
        EXPECT_EQ(run(bad, ""), E_SYNTAX) << bad;
        EXPECT_EQ(text(error_detail()), bad);
    }
    EXPECT_EQ(run("charts.ppn,9", ""), E_NODATA);        // no such definition
    EXPECT_EQ(run("missing.ppn,1", ""), E_FILENOTFOUND);
}

TEST_F(ChartRun, NoRecordsInTheLimitsShowAChartOfZeros) {
    EXPECT_EQ(run("charts.ppn,2", "203001,203012\nvacio.png\n"), 0) << text(error_detail());
    for (const char* v : {"N#(1)", "N#(4)", "S#(2)"}) EXPECT_EQ(eval(v), eval("0")) << v;
    QImage img("vacio.png", "PNG");
    ASSERT_FALSE(img.isNull()) << "the chart is shown";
    EXPECT_GT(coloured_columns(img), img.width() / 2) << "a flat line across the plot";
    EXPECT_EQ(vx::expr::parm_depth(), 0);
}

TEST_F(ChartRun, DefinitionsAreListedByNumberWithTheirTitles) {
    std::vector<ChartEntry> list;
    ASSERT_EQ(chart_definitions(S("charts.ppn"), &list), 0);
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[0].number, 1);
    EXPECT_EQ(list[0].title, "Ventas del Norte");
    EXPECT_EQ(list[2].title, "Suelto");
    EXPECT_EQ(list[4].number, 21);
    EXPECT_EQ(list[4].title, "");
    EXPECT_NE(chart_definitions(S("missing.ppn"), &list), 0);
}
