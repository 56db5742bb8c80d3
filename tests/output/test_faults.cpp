// A full disk under what the output layer writes: a file device, a PDF, a chart saved in each
// of its formats and the text the screen device hands to the OUTPUT file. The disk is
// filled by a file-size limit of the process (RLIMIT_FSIZE, with SIGXFSZ ignored, so a
// write past it fails as on a full disk) or by /dev/full. Each case must end with 131 or
// 130 naming the file, never report success, and leave either the whole old file or none:
// never a cut one.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "device_support.h"
#include "output/chart_internal.h"
#include "runtime/error.h"

using namespace vx::out;
using namespace vx::rt;
namespace fs = std::filesystem;
using vx::test::text;

namespace {

constexpr rlim_t FULL_AFTER = 16;  // bytes a file may hold before the disk is "full"

// Lowers the process's file-size limit while it lives.
class DiskFull {
public:
    explicit DiskFull(rlim_t bytes = FULL_AFTER) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &r) == 0;
    }
    ~DiskFull() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, old_handler_);
    }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    sighandler_t old_handler_ = SIG_DFL;
    bool ok_ = false;
};

class DiskFullTest : public vx::test::DeviceTest {
protected:
    DiskFullTest() : DeviceTest("full") {}
    fs::path at(const char* name) const { return dir_.path() / name; }
    // The names in the scratch folder, but the ones every test has.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_.path())) {
            std::string n = e.path().filename().string();
            if (n != "keep.txt") out.push_back(n);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    static std::string report() { return std::string(4000, 'x') + "\r\n"; }
};

TEST_F(DiskFullTest, AFileDeviceReportsTheFailureAndLeavesNoCutFile) {
    Device d;
    {
        DiskFull full;
        ASSERT_TRUE(full.ok());
        EXPECT_EQ(print("listado.txt", {report(), report()}, &d), E_FILEIO);
    }
    EXPECT_EQ(text(error_detail()), "listado.txt");
    EXPECT_EQ(error_code(), E_FILEIO);
    EXPECT_FALSE(fs::exists(at("listado.txt")));
    // The failure is also seen by a writer that goes on to the end without looking.
    {
        DiskFull full;
        ASSERT_EQ(dev_open(d, S("listado.txt"), S("t")), 0);
        dev_write(d, str_view(report().data(), u16(report().size())));
        EXPECT_EQ(dev_finish(d), E_FILEIO);
        EXPECT_EQ(dev_close(d), E_FILEIO);
    }
    EXPECT_FALSE(fs::exists(at("listado.txt")));
}

TEST_F(DiskFullTest, AGrowingFileKeepsWhatItHeldBefore) {
    write("diario.log", "antes\r\n");
    {
        DiskFull full;
        EXPECT_EQ(print("diario.log", {report()}), E_FILEIO);
    }
    EXPECT_EQ(read("diario.log").substr(0, 7), "antes\r\n");
}

TEST_F(DiskFullTest, ADeviceNodeThatRefusesWritesIsAnError) {
    set_string("LPT1$", "/dev/full");
    EXPECT_EQ(print("LPT1", {report()}), E_FILEIO);
    EXPECT_EQ(text(error_detail()), "/dev/full");
    EXPECT_TRUE(fs::exists("/dev/full"));  // never deleted
}

TEST_F(DiskFullTest, APdfThatCannotBeSavedLeavesTheOldFileWhole) {
    write("informe.pdf", "old pdf");
    {
        DiskFull full;
        EXPECT_EQ(print("informe.pdf", {"Linea\r\n"}), E_FILEIO);
    }
    EXPECT_EQ(text(error_detail()), "informe.pdf");
    EXPECT_EQ(read("informe.pdf"), "old pdf");
    EXPECT_EQ(leftovers(), std::vector<std::string>{"informe.pdf"});
    // And a new one is written whole when there is room.
    ASSERT_EQ(print("informe.pdf", {"Linea\r\n"}), 0);
    EXPECT_EQ(read("informe.pdf").substr(0, 5), "%PDF-");
    EXPECT_NE(read("informe.pdf").find("%%EOF"), std::string::npos);
}

TEST_F(DiskFullTest, AChartSavedInAnyFormatFailsWholly) {
    array("V#", {3, 1, 4, 1, 5, 9, 2, 6});
    ChartDesc desc = describe("V#", 0);
    const struct {
        const char* name;
        ChartFormat format;
    } cases[] = {
        {"c.png", ChartFormat::Png}, {"c.bmp", ChartFormat::Bmp}, {"c.svg", ChartFormat::Svg},
        {"c.pdf", ChartFormat::Pdf}, {"c.csv", ChartFormat::Csv},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(at(c.name));
        // A new file: none is left behind.
        {
            DiskFull full;
            EXPECT_EQ(chart_write(desc, 400, 300, str_from_cstr(c.name), c.format), E_FILEIO);
        }
        EXPECT_EQ(text(error_detail()), c.name);
        EXPECT_TRUE(leftovers().empty()) << leftovers().front();
        // An old file: it stays as it was.
        write(c.name, "old");
        {
            DiskFull full;
            EXPECT_EQ(chart_write(desc, 400, 300, str_from_cstr(c.name), c.format), E_FILEIO);
        }
        EXPECT_EQ(read(c.name), "old");
        EXPECT_EQ(leftovers(), std::vector<std::string>{c.name});
        // With room it is written whole.
        ASSERT_EQ(chart_write(desc, 400, 300, str_from_cstr(c.name), c.format), 0);
        EXPECT_GT(fs::file_size(at(c.name)), FULL_AFTER);
        fs::remove(at(c.name));
    }
}

TEST_F(DiskFullTest, TheScreenDeviceReportsAnOutputFileThatRefusesItsText) {
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    write("out.txt", std::string(100, '-'));  // what the run wrote before: the disk is full now
    Device d;
    ASSERT_EQ(dev_open(d, S("CON"), S("t")), 0);
    ASSERT_EQ(dev_write(d, S("Linea\r\n")), 0);
    {
        DiskFull full;
        EXPECT_EQ(dev_finish(d), E_DISKIO);
    }
    EXPECT_EQ(text(error_detail()), "out.txt");
    EXPECT_EQ(dev_close(d), 0);
}

}  // namespace
