// The texts a chart gives out: its figures as CSV (parsed back, in both decimal forms,
// quoted where needed, two columns per series for x-y charts), file names made of titles,
// formats by extension, the style chosen on the command line or in a parameter file, and the
// limits of the limits form that was answered for the definition loaded.
#include <sstream>

#include "chart_support.h"
#include "expr/members.h"
#include "input_lines.h"
#include "runtime/env.h"
#include "runtime/sysvars.h"
#include "screens/accept.h"

using namespace vx::out;
using namespace vx::rt;

namespace {

class ChartText : public vx::test::ChartTest {};

// CSV lines into fields: the separator splits outside double quotes; "" is a quote.
std::vector<std::vector<std::string>> parse_csv(const std::string& text, char sep) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') rows.back().back() += text[++i];
            else if (c == '"') quoted = false;
            else rows.back().back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == sep) {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            i++;
            rows.emplace_back(1);
        } else {
            rows.back().back() += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
    return rows;
}

double number_of(std::string s, char decimal) {
    for (char& c : s)
        if (c == decimal) c = '.';
    return std::stod(s);
}

}  // namespace

TEST_F(ChartText, CsvHoldsTheFiguresInEitherDecimalForm) {
    array("N#", {1234.5, -16113.84, 0});
    array("S#", {10, 20});
    ChartDesc d = describe("N#,S#", 0, "", "Norte,'Sur; \"bajo\"'", "Ene,'Feb, 2025',Mar", 3);
    for (char decimal : {'.', ','}) {
        char sep = decimal == ',' ? ';' : ',';
        std::string csv = chart_csv(d, decimal);
        EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
        auto rows = parse_csv(csv, sep);
        ASSERT_EQ(rows.size(), 4u) << csv;
        EXPECT_EQ(rows[0], (std::vector<std::string>{"", "Norte", "Sur; \"bajo\""}));
        EXPECT_EQ(rows[1][0], "Ene");
        EXPECT_EQ(rows[2][0], "Feb, 2025");
        EXPECT_DOUBLE_EQ(number_of(rows[1][1], decimal), 1234.5);
        EXPECT_DOUBLE_EQ(number_of(rows[2][1], decimal), -16113.84);
        EXPECT_DOUBLE_EQ(number_of(rows[3][1], decimal), 0);
        EXPECT_DOUBLE_EQ(number_of(rows[2][2], decimal), 20);
        EXPECT_EQ(rows[3][2], "") << "a series shorter than the chart leaves its cell empty";
        EXPECT_EQ(rows[1][1].find(decimal == ',' ? '.' : ','), std::string::npos) << "no thousands separator";
    }
}

TEST_F(ChartText, CsvOfTwoElementsPerPointHasXAndYColumns) {
    u16 dims[2] = {1, 1};
    ASSERT_EQ(vx::expr::array_declare(S("XY#"), vx::expr::ARRAY_NUM, dims, 2, 0), 0);
    const double v[2][2] = {{5, 1.5}, {7, 3}};
    for (i64 i = 0; i < 2; i++)
        for (i64 j = 0; j < 2; j++) {
            i64 subs[2] = {i, j};
            ASSERT_EQ(vx::expr::array_assign(S("XY#"), subs, 2, vx::expr::val_num(i64(v[i][j] * 100))), 0);
        }
    ChartDesc d = describe("XY#", CHART_XY, "", "Curva");
    auto rows = parse_csv(chart_csv(d, '.'), ',');
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"", "Curva x", "Curva"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"", "1.50", "5.00"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"", "3.00", "7.00"}));
}

TEST_F(ChartText, FileNamesComeFromTheTitleMadeSafe) {
    ChartDesc d;
    struct Case {
        std::string title, stem;
    };
    const Case cases[] = {
        {"Ventas mensuales 2025", "Ventas mensuales 2025"},
        {"~/ Visor | 08-12-26 | a:b", "~_ Visor _ 08-12-26 _ a_b"},
        {"  ..Ventas\x09 \"2025\"?  ", "Ventas_ _2025__"},
        {"Informe de Compa\xF1\xED" "a", "Informe de Compa\xF1\xED" "a"},
        {"", "grafico"},
        {"../..", "_"},
        {" ... ", "grafico"},
    };
    for (const Case& c : cases) {
        d.title = c.title;
        EXPECT_EQ(chart_file_stem(d), c.stem) << c.title;
    }
    d.title = std::string(200, 'x');
    EXPECT_EQ(chart_file_stem(d).size(), 80u);
}

TEST_F(ChartText, FormatsFollowTheExtensionAndSupplyIt) {
    struct Case {
        const char* path;
        bool known;
        ChartFormat format;
    };
    const Case cases[] = {
        {"a.png", true, ChartFormat::Png}, {"A.BMP", true, ChartFormat::Bmp},
        {"x/y.Svg", true, ChartFormat::Svg}, {"y.pdf", true, ChartFormat::Pdf},
        {"z.CSV", true, ChartFormat::Csv}, {"grafico", false, ChartFormat::Png},
        {"grafico.img", false, ChartFormat::Png}, {".png", false, ChartFormat::Png},
    };
    for (const Case& c : cases) {
        ChartFormat f = ChartFormat::Png;
        EXPECT_EQ(chart_format_of(str_from_cstr(c.path), &f), c.known) << c.path;
        EXPECT_EQ(f, c.format) << c.path;
    }
    EXPECT_EQ(chart_path_with_ext("grafico", ChartFormat::Pdf), "grafico.pdf");
    EXPECT_EQ(chart_path_with_ext("grafico.PDF", ChartFormat::Pdf), "grafico.PDF");
    EXPECT_EQ(chart_path_with_ext("grafico.png", ChartFormat::Svg), "grafico.png.svg") << "the filter decides";
    EXPECT_EQ(chart_path_with_ext("datos", ChartFormat::CsvPoint), "datos.csv");
    // The save dialog's filters in format order, PNG first.
    EXPECT_EQ(vx::test::text(chart_save_filters()),
              "PNG (*.png),*.png,BMP (*.bmp),*.bmp,SVG (*.svg),*.svg,PDF (*.pdf),*.pdf,"
              "CSV (*.csv),*.csv,CSV con punto decimal (*.csv),*.csv");
}

TEST_F(ChartText, TheStyleComesFromTheCommandLineElseAParameterFile) {
    EXPECT_EQ(chart_style_setting(), ChartStyle::Classic) << "by default";
    command_line("prog /CHARTSTYLE=MODERN");
    EXPECT_EQ(chart_style_setting(), ChartStyle::Modern);
    command_line("prog /chartstyle=moderno");
    EXPECT_EQ(chart_style_setting(), ChartStyle::Modern);
    command_line("prog /CHARTSTYLE=otro");
    EXPECT_EQ(chart_style_setting(), ChartStyle::Classic) << "an unknown name";
    // A parameter file's line CHARTSTYLE$='MODERN' is an assignment of the variable.
    command_line("prog");
    vx::expr::Value v;
    ASSERT_LT(vx::expr::expr_eval(S("CHARTSTYLE$='Modern'"), v), FIRST_ERROR);
    EXPECT_EQ(chart_style_setting(), ChartStyle::Modern);
    command_line("prog /CHARTSTYLE=CLASICO");
    EXPECT_EQ(chart_style_setting(), ChartStyle::Classic) << "the command line comes first";
}

TEST_F(ChartText, LimitsAreThoseOfTheFormAnsweredForTheDefinition) {
    const char* fields = "'Desde periodo:':'A6','Hasta periodo:':'A6','{2,3}Zona:':'A2':ZONA$";
    std::string record = std::string("ACBOUND$=\"") + fields + "\"";
    ASSERT_EQ(vx::expr::parm_push(str_from_cstr(record.c_str())), 0);
    EXPECT_EQ(chart_limits_text(), "") << "no form answered yet";
    command_line("prog /BATCH");
    vx::test::with_input_lines("202501,202512,ES\n202501,,\n", [&] {
        vx::scr::AcceptResult r;
        ASSERT_EQ(vx::scr::accept_run(S("Limites"), str_from_cstr(fields), vx::scr::ACC_COLLECT, &r), 0);
        EXPECT_EQ(chart_limits_text(), "Desde periodo: 202501, Hasta periodo: 202512, Zona: ES");
        // Empty values are left out.
        ASSERT_EQ(vx::scr::accept_run(S("Limites"), str_from_cstr(fields), vx::scr::ACC_COLLECT, &r), 0);
        EXPECT_EQ(chart_limits_text(), "Desde periodo: 202501");
    });
    vx::expr::parm_pop();
    EXPECT_EQ(chart_limits_text(), "") << "another definition (none) is loaded now";
    ASSERT_EQ(vx::expr::parm_push(S("ACBOUND$=\"'Otro:':'A6'\"")), 0);
    EXPECT_EQ(chart_limits_text(), "") << "the form answered was not this definition's";
    vx::expr::parm_pop();
}
