// PDF devices checked with poppler's tools: the text lines, new pages every 72 lines, the
// font sizes chosen by control characters, the pending line written at close, the header
// image rules (missing: 164; the installed default makes it work; unreadable: 131), a file
// that cannot be saved (131 naming it), separator lines with a report's own image, the
// choice of the page image, and the 8 document slots.
#include <cstdio>
#include <fstream>
#include <regex>

#include "device_support.h"
#include "runtime/env.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;
namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
    return out;
}

class DevicePdf : public vx::test::DeviceTest {
protected:
    std::string pdf_text(const std::string& name, const char* options = "-layout") {
        return run("pdftotext " + std::string(options) + " '" + (dir_.path() / name).string() + "' -");
    }
    int pages(const std::string& name) {
        std::smatch m;
        std::string info = run("pdfinfo '" + (dir_.path() / name).string() + "'");
        return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
    }
    // Heights of the words of a page as pdftotext measures them, by word.
    std::map<std::string, double> word_heights(const std::string& name) {
        std::map<std::string, double> out;
        std::string html = pdf_text(name, "-bbox");
        std::regex word("yMin=\"([0-9.]+)\"[^>]*yMax=\"([0-9.]+)\">([^<]+)</word>");
        for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it)
            out[(*it)[3]] = std::stod((*it)[2]) - std::stod((*it)[1]);
        return out;
    }
    static std::vector<std::string> lines_of(const std::string& t) {
        std::vector<std::string> out;
        std::string line;
        for (char c : t) {
            if (c == '\n' || c == '\f') {
                out.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty()) out.push_back(line);
        return out;
    }
    static std::string trim(std::string s) {
        s.erase(0, s.find_first_not_of(' '));
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    }
};

TEST_F(DevicePdf, LinesPiecesAndTheLineLeftOpenAtClose) {
    ASSERT_EQ(print("informe.pdf", {"Primera linea\r\n", "Segunda ", "en ", "trozos\r\n", "\r\n", "Ni\xF1o y caf\xE9\r\n",
                                    "sin fin de linea"}),
              0);
    std::vector<std::string> got;
    for (const std::string& l : lines_of(pdf_text("informe.pdf"))) got.push_back(trim(l));
    std::vector<std::string> want = {"Primera linea", "Segunda en trozos", "", "Niño y café", "sin fin de linea"};
    ASSERT_GE(got.size(), want.size());
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + long(want.size())), want);
    EXPECT_EQ(pages("informe.pdf"), 1);
}

TEST_F(DevicePdf, SeventyTwoLinesMakeAPage) {
    Device d;
    ASSERT_EQ(dev_open(d, S("paginas.pdf"), S("t")), 0);
    EXPECT_EQ(d.lines, 72);
    for (int i = 1; i <= 150; i++) {
        std::string line = "linea " + std::to_string(i) + "\r\n";
        ASSERT_EQ(dev_write(d, str_view(line.data(), u16(line.size()))), 0);
    }
    ASSERT_EQ(dev_close(d), 0);
    EXPECT_EQ(pages("paginas.pdf"), 3);
    std::string t = pdf_text("paginas.pdf", "-f 2 -l 2 -layout");
    std::vector<std::string> second = lines_of(t);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(trim(second.front()), "linea 73");
    EXPECT_NE(t.find("linea 144"), std::string::npos);
    EXPECT_EQ(t.find("linea 145"), std::string::npos);
}

TEST_F(DevicePdf, ControlCharactersChooseTheSizeOfWhatFollows) {
    ASSERT_EQ(print("sizes.pdf /WD:0", {"Normal\r\n", "\x0E" "Grande\r\n", "Sigue\x0F\r\n", "Chica\r\n",
                                        "\x12" "Normalb\r\n", "\x14" "Normalc\r\n"}),
              0);
    std::map<std::string, double> h = word_heights("sizes.pdf");
    ASSERT_TRUE(h.count("Normal") && h.count("Grande") && h.count("Sigue") && h.count("Chica"));
    double ten = h["Normal"];
    EXPECT_NEAR(h["Grande"] / ten, 1.4, 0.05);
    EXPECT_NEAR(h["Sigue"] / ten, 1.4, 0.05);  // the size changes after the line it ends
    EXPECT_NEAR(h["Chica"] / ten, 0.6, 0.05);
    EXPECT_NEAR(h["Normalb"] / ten, 1.0, 0.05);
    EXPECT_NEAR(h["Normalc"] / ten, 1.0, 0.05);
    std::string t = pdf_text("sizes.pdf");
    EXPECT_EQ(t.find('\x0E'), std::string::npos);
    EXPECT_EQ(t.find('\x0F'), std::string::npos);
}

TEST_F(DevicePdf, WithoutAnyHeaderImageNoPdfIsMade) {
    pdf_install_folders_set("");
    Device d;
    EXPECT_EQ(dev_open(d, S("x.pdf"), S("t")), E_FILENOTFOUND);
    EXPECT_EQ(text(error_detail()), PDF_HEADER_IMAGE);
    EXPECT_FALSE(d.open);
    EXPECT_FALSE(fs::exists(dir_.path() / "x.pdf"));
}

TEST_F(DevicePdf, TheInstalledDefaultImageMakesAFreshFolderWork) {
    Str found = pdf_header_path();
    ASSERT_TRUE(found.n) << "the build copies pdf_header.png beside the programs";
    EXPECT_EQ(fs::path(text(found)).filename(), PDF_HEADER_IMAGE);
    ASSERT_EQ(print("x.pdf", {"hola\r\n"}), 0);
    EXPECT_EQ(pages("x.pdf"), 1);
    // An installation keeps it in ../share/varnox beside the program.
    fs::create_directories(dir_.path() / "prefix/bin");
    fs::create_directories(dir_.path() / "prefix/share/varnox");
    fs::copy_file(text(found), dir_.path() / "prefix/share/varnox" / PDF_HEADER_IMAGE);
    std::string folders = (dir_.path() / "prefix/bin").string() + "," +
                          (dir_.path() / "prefix/bin/../share/varnox").string();
    pdf_install_folders_set(folders.c_str());
    EXPECT_EQ(fs::canonical(text(pdf_header_path())), fs::canonical(dir_.path() / "prefix/share/varnox" / PDF_HEADER_IMAGE));
}

TEST_F(DevicePdf, AnImageThatIsNoPngIsAFileError) {
    write(PDF_HEADER_IMAGE, "not a png");
    Device d;
    EXPECT_EQ(dev_open(d, S("x.pdf"), S("t")), E_FILEIO);
    EXPECT_EQ(text(error_detail()), PDF_HEADER_IMAGE);
}

TEST_F(DevicePdf, AFileThatCannotBeSavedIsAnErrorNamingIt) {
    Device d;
    ASSERT_EQ(dev_open(d, S("no/such/folder/x.pdf"), S("t")), 0);
    ASSERT_EQ(dev_write(d, S("texto\r\n")), 0);
    EXPECT_EQ(dev_close(d), E_FILEIO);
    EXPECT_EQ(text(error_detail()), "no/such/folder/x.pdf");
    EXPECT_EQ(error_code(), E_FILEIO);
}

TEST_F(DevicePdf, SeparatorLinesGoWhileAReportsOwnImageIsUsed) {
    std::string header = text(pdf_header_path());
    ASSERT_FALSE(header.empty());
    ASSERT_EQ(print("plain.pdf", {"====", "\r\n", "Texto\r\n", "= = =\r\n"}), 0);
    std::string t = pdf_text("plain.pdf");
    EXPECT_NE(t.find("===="), std::string::npos);
    EXPECT_NE(t.find("= = ="), std::string::npos);

    fs::copy_file(header, dir_.path() / "pdf_ventas.png");
    ASSERT_EQ(pdf_choose_image(S("informes/ventas.pdc")), 0);
    EXPECT_EQ(text(store_get(DEVICE_LIST, PDF_IMAGE_ENTRY)), "pdf_ventas.png");
    ASSERT_EQ(print("own.pdf", {"====", "\r\n", "Texto\r\n", "= = =", "\r\n", "a=b\r\n"}), 0);
    t = pdf_text("own.pdf");
    EXPECT_EQ(t.find("=="), std::string::npos);
    EXPECT_EQ(t.find("= ="), std::string::npos);
    EXPECT_NE(t.find("Texto"), std::string::npos);
    EXPECT_NE(t.find("a=b"), std::string::npos);
    EXPECT_EQ(text(store_get(DEVICE_LIST, PDF_IMAGE_ENTRY)), "");  // emptied at close
}

TEST_F(DevicePdf, ThePageImageOfAReport) {
    std::string header = text(pdf_header_path());
    auto image = [&](const char* name) { fs::copy_file(header, dir_.path() / name); };
    auto chosen = [&](const char* report) {
        EXPECT_EQ(pdf_choose_image(str_from_cstr(report)), 0);
        return text(store_get(DEVICE_LIST, PDF_IMAGE_ENTRY));
    };
    ASSERT_EQ(env_set(ENV_DB, S("localhost,'ventas',u,p")), 0);
    EXPECT_EQ(chosen("dir/resumen.pdc"), "");
    image("pdf_r@sum@n.png");
    image("pdf_z@.png");
    EXPECT_EQ(chosen("dir/resumen.pdc"), "pdf_r@sum@n.png");
    EXPECT_EQ(chosen("RESUMEN"), "pdf_r@sum@n.png");   // letters in any case
    EXPECT_EQ(chosen("resumenes.pdc"), "");            // a mask fits names of its length
    image("pdf_resumen.png");
    EXPECT_EQ(chosen("dir/resumen.pdc"), "pdf_resumen.png");
    image("pdf_ventas_resumen.png");
    EXPECT_EQ(chosen("dir/resumen.pdc"), "pdf_ventas_resumen.png");
    EXPECT_EQ(chosen("za.x"), "pdf_z@.png");
}

TEST_F(DevicePdf, AShownPdfOpensInThePdfReaderOnceSaved) {
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    Device d;
    ASSERT_EQ(dev_open(d, S("visto.pdf /VW:S"), S("t")), 0);
    ASSERT_EQ(dev_write(d, S("x\r\n")), 0);
    ASSERT_EQ(dev_finish(d), 0);
    EXPECT_EQ(read("out.txt"), "");  // not a plain file: nothing shown at finish
    ASSERT_EQ(dev_close(d), 0);
    EXPECT_EQ(read("out.txt"), "[Mostrar] visto.pdf\r\n");
    EXPECT_EQ(pages("visto.pdf"), 1);
}

TEST_F(DevicePdf, EightDocumentsAtOnce) {
    std::vector<Device> docs(PDF_SLOTS);
    for (u16 i = 0; i < PDF_SLOTS; i++) {
        std::string name = "d" + std::to_string(i) + ".pdf";
        ASSERT_EQ(dev_open(docs[i], str_view(name.data(), u16(name.size())), S("t")), 0);
        EXPECT_EQ(docs[i].handle, i);
    }
    Device ninth;
    EXPECT_EQ(dev_open(ninth, S("d9.pdf"), S("t")), E_OUTOFMEMORY);
    ASSERT_EQ(dev_close(docs[3]), 0);
    EXPECT_EQ(dev_open(ninth, S("d9.pdf"), S("t")), 0);
    EXPECT_EQ(ninth.handle, 3);
    dev_close(ninth);
    for (Device& d : docs) dev_close(d);
    EXPECT_EQ(pages("d7.pdf"), 1);
}

TEST_F(DevicePdf, WithoutPagesTextStillStaysOnThePage) {
    Device d;
    ASSERT_EQ(dev_open(d, S("long.pdf /LP:0"), S("t")), 0);
    for (int i = 1; i <= 100; i++) {
        std::string line = "fila " + std::to_string(i) + "\r\n";
        ASSERT_EQ(dev_write(d, str_view(line.data(), u16(line.size()))), 0);
    }
    ASSERT_EQ(dev_close(d), 0);
    EXPECT_EQ(pages("long.pdf"), 2);
    EXPECT_NE(pdf_text("long.pdf").find("fila 100"), std::string::npos);
}

}  // namespace
