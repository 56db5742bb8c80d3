// Raw jobs through a print service of the test's own: a private CUPS scheduler on a socket
// in a scratch folder, with queues whose backend writes each job into a file. A queue named
// like a device takes the device's output once system printers are enabled; a queue named
// like a printer port gets the printer codes; the default queue serves an empty name.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "device_support.h"
#include "output/report.h"
#include "runtime/env.h"
#include "platform/spooler.h"

using namespace vx::out;
using namespace vx::rt;
namespace fs = std::filesystem;

namespace {

constexpr const char* CUPSD = "/usr/sbin/cupsd";
constexpr const char* LPADMIN = "/usr/sbin/lpadmin";
constexpr const char* CUPS_DAEMON_DIR = "/usr/lib/cups/daemon";

// The scheduler and its files, shared by the tests of this file.
struct PrivateCups {
    fs::path root;
    pid_t pid = -1;

    fs::path socket() const { return root / "cups.sock"; }
    fs::path output(const std::string& queue) const { return root / "out" / (queue + ".prn"); }

    bool start() {
        root = fs::temp_directory_path() / ("vx_cups_" + std::to_string(::getpid()));
        fs::remove_all(root);
        for (const char* d : {"state", "cache", "spool", "tmp", "out", "bin/backend"}) fs::create_directories(root / d);
        fs::permissions(root / "out", fs::perms::all);
        fs::create_directory_symlink(CUPS_DAEMON_DIR, root / "bin/daemon");
        std::ofstream(root / "bin/backend/capture")
            << "#!/bin/sh\n[ $# -eq 0 ] && { echo 'direct capture \"Unknown\" \"Capture\"'; exit 0; }\n"
               "out=\"${DEVICE_URI#capture:}\"\nif [ -n \"$6\" ]; then cat \"$6\"; else cat; fi > \"$out.part\"\n"
               "mv \"$out.part\" \"$out\"\n";
        fs::permissions(root / "bin/backend/capture", fs::perms::owner_all | fs::perms::group_read |
                                                          fs::perms::group_exec | fs::perms::others_read |
                                                          fs::perms::others_exec);
        std::ofstream(root / "cupsd.conf") << "Listen " << socket().string()
                                           << "\nLogLevel warn\nBrowsing No\nWebInterface No\n"
                                              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                              "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                                              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                                              "</Policy>\n";
        std::ofstream files(root / "cups-files.conf");
        files << "ServerRoot " << root.string() << "\nStateDir " << (root / "state").string() << "\nCacheDir "
              << (root / "cache").string() << "\nRequestRoot " << (root / "spool").string() << "\nTempDir "
              << (root / "tmp").string() << "\nServerBin " << (root / "bin").string()
              << "\nDataDir /usr/share/cups\nErrorLog " << (root / "error_log").string()
              << "\nAccessLog " << (root / "access_log").string() << "\nPageLog " << (root / "page_log").string()
              << "\nSandboxing Relaxed\n";
        files.close();
        pid = ::fork();
        if (pid == 0) {
            std::string conf = (root / "cupsd.conf").string(), fconf = (root / "cups-files.conf").string();
            ::execl(CUPSD, CUPSD, "-f", "-c", conf.c_str(), "-s", fconf.c_str(), (char*)nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !fs::exists(socket()); i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return pid > 0 && fs::exists(socket());
    }
    bool add_queue(const std::string& name, bool as_default = false) {
        std::string cmd = "CUPS_SERVER='" + socket().string() + "' " + LPADMIN + " -p " + name + " -E -v capture:" +
                          output(name).string() + " 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) return false;
        if (!as_default) return true;
        cmd = "CUPS_SERVER='" + socket().string() + "' " + LPADMIN + " -d " + name + " 2>/dev/null";
        return std::system(cmd.c_str()) == 0;
    }
    void stop() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        pid = -1;
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

PrivateCups cups;
bool cups_ready = false;

class DeviceSpool : public vx::test::DeviceTest {
protected:
    static void SetUpTestSuite() {
        cups_ready = cups.start() && cups.add_queue("Raw1") && cups.add_queue("LPT2") && cups.add_queue("Dflt", true);
    }
    static void TearDownTestSuite() { cups.stop(); }
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(cups_ready) << "the private print service did not start (cups-daemon, cups-client)";
        ::setenv("CUPS_SERVER", cups.socket().c_str(), 1);
    }
    // The job's bytes once the backend has written them.
    static std::string job_output(const std::string& queue) {
        fs::path out = cups.output(queue);
        for (int i = 0; i < 250 && !fs::exists(out); i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::string bytes = vx::test::slurp(out);
        fs::remove(out);
        return bytes;
    }
};

TEST_F(DeviceSpool, AQueueTakesTheRawBytesOfADevice) {
    EXPECT_EQ(device_kind(S("Raw1")), DEV_FILE | DEV_ALWAYS);  // not before system printers
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    EXPECT_TRUE(vx::os::spool_printer_exists("Raw1"));
    EXPECT_EQ(device_kind(S("Raw1")), DEV_SPOOL | DEV_ALWAYS);
    EXPECT_EQ(device_kind(S("Nope")), DEV_FILE | DEV_ALWAYS);
    Device d;
    ASSERT_EQ(print("Raw1 /WD:10", {"Linea \xE1\x0F uno\r\n", "0123456789abc\r\n"}, &d), 0);
    EXPECT_EQ(d.kind, DEV_SPOOL | DEV_ALWAYS);
    EXPECT_EQ(job_output("Raw1"), "Linea \xE1  u\r\nno\r\n0123456789\r\nabc\r\n");
    EXPECT_FALSE(fs::exists(dir_.path() / "Raw1"));
}

TEST_F(DeviceSpool, APrinterPortQueueGetsThePrinterCodes) {
    write_config("x", {record({}, 80, 72), record({"<C>", "<N>", "", "", "", "", "", "", "", "<R>"}, 80, 72)});
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    Device d;
    ASSERT_EQ(dev_open(d, S("LPT2"), S("Listado")), 0);
    EXPECT_EQ(d.kind, DEV_SPOOL | DEV_PORT | DEV_PRINTER | DEV_ALWAYS);
    ASSERT_EQ(dev_write(d, S("\x0F" "a\xF1o")), 0);
    ASSERT_EQ(dev_finish(d), 0);
    ASSERT_EQ(dev_close(d), 0);
    EXPECT_EQ(job_output("LPT2"), "<N><R><C>a\xA4o<N><N><R>");
}

TEST_F(DeviceSpool, AReportPrintsToAPrinterQueue) {
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    std::ofstream("cola.tpl", std::ios::binary) << "01001Hola\r\n02003mundo\r\n";
    ASSERT_EQ(env_set(ENV_DATA, S(".")), 0);
    ReportRequest q;
    q.name = "cola.tpl";
    q.device = "Raw1";
    ASSERT_EQ(report_run(q), 0) << vx::test::text(error_detail());
    std::string job = job_output("Raw1");
    EXPECT_EQ(job.substr(0, 15), "Hola\r\n  mundo\r\n") << job;
    EXPECT_FALSE(fs::exists(dir_.path() / "Raw1")) << "the queue, not a file of that name";
}

TEST_F(DeviceSpool, TheDefaultQueueServesAnEmptyName) {
    Device d;
    d.name = "";
    ASSERT_EQ(backend_spool().open(d, S("t")), 0);
    ASSERT_EQ(backend_spool().emit(d, "por defecto", 11), 0);
    ASSERT_EQ(backend_spool().close(d), 0);
    EXPECT_EQ(job_output("Dflt"), "por defecto");
    d.name = "Missing";
    EXPECT_EQ(backend_spool().open(d, S("t")), E_DATA);
}

}  // namespace

TEST_F(DeviceSpool, AJobGivenUpNeverPrints) {
    sysint_or(SV_SYSCOMPAT, SYSCOMPAT_SYSTEM_PRINTERS);
    Device d;
    ASSERT_EQ(dev_open(d, S("Raw1"), S("Cortado")), 0);
    ASSERT_EQ(dev_write(d, S("medio informe\r\n")), 0);
    EXPECT_EQ(dev_discard(d), 0);
    // The queue goes on with the next job, and only that one reaches the printer.
    ASSERT_EQ(print("Raw1", {"entero\r\n"}, &d), 0);
    EXPECT_EQ(job_output("Raw1"), "entero\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(cups.output("Raw1"))) << "nothing printed after the whole job";
}
