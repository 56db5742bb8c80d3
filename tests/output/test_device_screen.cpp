// The screen device's private collection file and its showing (the registered report
// window, or the OUTPUT file without one), plain files shown in a viewer (the argument
// vector the viewer gets, the BATCH answer, a program that cannot start), and the spooler
// when no print service answers.
#include <sys/stat.h>

#include <fstream>

#include "device_support.h"
#include "platform/spooler.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;
namespace fs = std::filesystem;

namespace {

class DeviceScreen : public vx::test::DeviceTest {
protected:
    static inline std::string shown_path, shown_text;
    static u16 report_window(Str file) {
        shown_path = text(file);
        shown_text = vx::test::slurp(shown_path);
        return 0;
    }
    // A viewer that writes each argument it gets on a line of args.txt.
    std::string fake_viewer() {
        std::string script = (dir_.path() / "viewer.sh").string();
        std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '"
                              << (dir_.path() / "args.txt").string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }
    std::string wait_for_args() {
        for (int i = 0; i < 200 && !fs::exists(dir_.path() / "args.txt"); i++) ::usleep(10000);
        ::usleep(20000);  // the script may still be writing
        return read("args.txt");
    }
};

TEST_F(DeviceScreen, TextIsCollectedInAPrivateFileShownAtFinishAndRemovedAtClose) {
    report_window_set(report_window);
    Device d;
    ASSERT_EQ(dev_open(d, S("CON /WD:10"), S("t")), 0);
    EXPECT_EQ(fs::path(d.path).parent_path(), dir_.path());  // TEMP
    struct stat st;
    ASSERT_EQ(::stat(d.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(dev_write(d, S("Total \xE1\x0F\x14:\r\n123456789012")), 0);
    ASSERT_EQ(dev_finish(d), 0);
    EXPECT_EQ(shown_path, d.path);
    EXPECT_EQ(shown_text, "Total \xE1 :\r\n1234567890\r\n12");
    ASSERT_EQ(dev_close(d), 0);
    EXPECT_FALSE(fs::exists(d.path));
}

TEST_F(DeviceScreen, WithoutAReportWindowTheTextGoesToTheOutputFile) {
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    write("out.txt", "before\r\n");
    ASSERT_EQ(print("", {"linea 1\r\nlinea 2\r\n"}), 0);  // never finished: nothing shown
    Device d;
    ASSERT_EQ(dev_open(d, S(""), S("t")), 0);
    ASSERT_EQ(dev_write(d, S("linea 1\r\nlinea 2\r\n")), 0);
    ASSERT_EQ(dev_finish(d), 0);
    ASSERT_EQ(dev_close(d), 0);
    EXPECT_EQ(read("out.txt"), "before\r\nlinea 1\r\nlinea 2\r\n");
}

TEST_F(DeviceScreen, NoCollectionFileWithoutATempFolder) {
    ::setenv("TEMP", (dir_.path() / "missing").c_str(), 1);
    Device d;
    EXPECT_EQ(dev_open(d, S("CON"), S("t")), E_DISKIO);
    EXPECT_FALSE(d.open);
}

TEST_F(DeviceScreen, AShownPlainFileReachesTheViewerAsOneArgument) {
    set_string("VIEWER1$", fake_viewer() + " --flag");
    std::string name = "a b;touch x $(id)'q.txt";
    Device d;
    ASSERT_EQ(dev_open(d, str_view(name.data(), u16(name.size())), S("t")), 0);
    d.show = 1;
    ASSERT_EQ(dev_write(d, S("x")), 0);
    ASSERT_EQ(dev_finish(d), 0);
    ASSERT_EQ(dev_close(d), 0);
    EXPECT_EQ(wait_for_args(), "[--flag]\n[" + name + "]\n");
    EXPECT_FALSE(fs::exists(dir_.path() / "x"));
}

TEST_F(DeviceScreen, PrinterPortsAndUnshownFilesOpenNoViewer) {
    set_string("VIEWER1$", fake_viewer());
    Device d;
    ASSERT_EQ(dev_open(d, S("LPT1 /VW:S"), S("t")), 0);
    ASSERT_EQ(dev_finish(d), 0);
    dev_close(d);
    ASSERT_EQ(dev_open(d, S("a.txt /VW:N"), S("t")), 0);
    ASSERT_EQ(dev_finish(d), 0);
    dev_close(d);
    ::usleep(100000);
    EXPECT_FALSE(fs::exists(dir_.path() / "args.txt"));
}

TEST_F(DeviceScreen, ViewersThatCannotStart) {
    set_string("VIEWER3$", "/no/such/program");
    EXPECT_EQ(viewer_open(3, S("a.pdf")), VIEWER_FAILED);
    EXPECT_EQ(text(error_detail()), "/no/such/program");
    EXPECT_EQ(viewer_open(0, S("a.pdf")), VIEWER_FAILED);
    EXPECT_EQ(viewer_open(6, S("a.pdf")), VIEWER_FAILED);
    EXPECT_EQ(viewer_open(1, S("")), VIEWER_FAILED);
}

TEST_F(DeviceScreen, InBatchTheViewerIsOnlyNamed) {
    command_line("vxrun /BATCH /OUTPUT='out.txt'");
    set_string("VIEWER2$", fake_viewer());
    EXPECT_EQ(viewer_open(2, S("/tmp/informe.txt")), 0);
    EXPECT_EQ(read("out.txt"), "[Mostrar] /tmp/informe.txt\r\n");
}

TEST_F(DeviceScreen, SpoolerWithoutAPrintService) {
    Device d;
    d.name = "";
    EXPECT_EQ(backend_spool().open(d, S("t")), E_INTERNAL);  // no default queue
    d.name = "Laser";
    EXPECT_EQ(backend_spool().open(d, S("t")), E_DATA);      // no such queue
    EXPECT_EQ(text(error_detail()), "Laser");
    d.name = "bad/name";
    EXPECT_EQ(backend_spool().open(d, S("t")), E_DATA);
    EXPECT_FALSE(vx::os::spool_printer_exists("Laser"));
}

}  // namespace
