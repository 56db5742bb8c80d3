// Writing to files and printer ports, byte for byte: wrapping at the width, the counters and
// their publication, paging (also past the page counter's ceiling), positioning, the character
// tables and printer codes, the reset sequence and the end code, files deleted first or kept,
// "unixprn.txt", the port variable and device nodes that are never deleted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device_support.h"

using namespace vx::out;
using namespace vx::rt;
using vx::test::text;

namespace {

class DeviceWrite : public vx::test::DeviceTest {
protected:
    static Str s(const std::string& t) { return str_view(t.data(), u16(t.size())); }
};

TEST_F(DeviceWrite, HundredCharactersOnEightyColumnsWrapOnce) {
    std::string hundred;
    for (int i = 0; i < 100; i++) hundred += char('a' + i % 26);
    Device d;
    ASSERT_EQ(print("out.txt", {hundred}, &d), 0);
    EXPECT_EQ(read("out.txt"), hundred.substr(0, 80) + "\r\n" + hundred.substr(80));
    EXPECT_EQ(d.line, 2);
    EXPECT_EQ(d.col, 21);
}

TEST_F(DeviceWrite, WrappingCountsFromTheCurrentColumnAndEachLineOfTheText) {
    ASSERT_EQ(print("out.txt /WD:10", {"12345", "abcdefgh\r\nABCDEFGHIJKL"}), 0);
    EXPECT_EQ(read("out.txt"), "12345abcde\r\nfgh\r\nABCDEFGHIJ\r\nKL");
}

TEST_F(DeviceWrite, ATextThatFillsTheWidthBreaksTheLineOnce) {
    ASSERT_EQ(print("out.txt /WD:4", {"abcd", "ef"}), 0);
    EXPECT_EQ(read("out.txt"), "abcd\r\nef");
    ASSERT_EQ(print("out.txt /WD:0", {std::string(300, 'x')}), 0);
    EXPECT_EQ(read("out.txt"), std::string(300, 'x'));
}

TEST_F(DeviceWrite, CountersArePublishedAfterEachWriteAndPagesTurnAtTheirLength) {
    Device d;
    ASSERT_EQ(dev_open(d, S("out.txt /LP:3 /WD:20"), S("t")), 0);
    EXPECT_EQ(sysint_get(SV_DEVLIN), 1);
    EXPECT_EQ(sysint_get(SV_DEVPOS), 1);
    EXPECT_EQ(sysint_get(SV_DEVPAG), 1);
    EXPECT_EQ(sysint_get(SV_DEVHIG), 3);
    EXPECT_EQ(sysint_get(SV_DEVWID), 20);
    const struct {
        const char* write;
        i16 line, col, page;
    } steps[] = {
        {"abc", 1, 4, 1}, {"\r\n", 2, 1, 1}, {"x\r\ny\r\n", 1, 1, 2}, {"\r", 1, 2, 2}, {"\n", 1, 3, 2},
        {"\r\n\r\n\r\n", 1, 1, 3},
    };
    for (const auto& st : steps) {
        ASSERT_EQ(dev_write(d, str_from_cstr(st.write)), 0);
        EXPECT_EQ(sysint_get(SV_DEVLIN), st.line) << st.write;
        EXPECT_EQ(sysint_get(SV_DEVPOS), st.col) << st.write;
        EXPECT_EQ(sysint_get(SV_DEVPAG), st.page) << st.write;
    }
    EXPECT_EQ(dev_close(d), 0);
}

TEST_F(DeviceWrite, SizeReadBackFromTheSystemVariables) {
    Device d;
    ASSERT_EQ(dev_open(d, S("out.txt"), S("t")), 0);
    sysint_set(SV_DEVHIG, 40);
    sysint_set(SV_DEVWID, 5);
    dev_size_from_vars(d);
    EXPECT_EQ(d.lines, 40);
    ASSERT_EQ(dev_write(d, S("abcdefg")), 0);
    dev_close(d);
    EXPECT_EQ(read("out.txt"), "abcde\r\nfg");
}

TEST_F(DeviceWrite, PositioningWritesLineBreaksThenBlanks) {
    Device d;
    ASSERT_EQ(dev_open(d, S("out.txt /LP:6"), S("t")), 0);
    ASSERT_EQ(dev_position(d, 3, 5), 0);
    ASSERT_EQ(dev_write(d, S("x")), 0);
    ASSERT_EQ(dev_position(d, 3, 3), 0);   // the column is passed already: nothing
    ASSERT_EQ(dev_position(d, 2, 2), 0);   // above: on the next page
    EXPECT_EQ(d.page, 2);
    EXPECT_EQ(d.line, 2);
    ASSERT_EQ(dev_position(d, 8, 1), 0);   // beyond the page: line 2 of the page after
    EXPECT_EQ(d.page, 3);
    EXPECT_EQ(d.line, 2);
    ASSERT_EQ(dev_position(d, 2, 0), 0);   // the same line, column 0: nothing
    EXPECT_EQ(d.page, 3);
    dev_close(d);
    auto breaks = [](int n) {
        std::string s;
        while (n--) s += "\r\n";
        return s;
    };
    EXPECT_EQ(read("out.txt"), breaks(2) + "    x" + breaks(5) + " " + breaks(6));
}

TEST_F(DeviceWrite, PositioningWithoutPagesCannotGoBack) {
    Device d;
    ASSERT_EQ(dev_open(d, S("out.txt /LP:0"), S("t")), 0);
    ASSERT_EQ(dev_position(d, 4, 1), 0);
    ASSERT_EQ(dev_position(d, 2, 3), 0);
    EXPECT_EQ(d.line, 4);
    EXPECT_EQ(d.col, 3);
    dev_close(d);
    EXPECT_EQ(read("out.txt"), "\r\n\r\n\r\n  ");
}

TEST_F(DeviceWrite, PagesBeyondTheCountersCeilingStillTurnOnce) {
    // The page counter stops at 65,535; going back to line 1 is still one page further on.
    constexpr int PAGES = 70000;
    Device d;
    ASSERT_EQ(dev_open(d, S("out.txt /LP:2"), S("t")), 0);
    for (int p = 0; p < PAGES; p++) {
        ASSERT_EQ(dev_position(d, 1, 1), 0);
        ASSERT_EQ(dev_write(d, S("a")), 0);
        ASSERT_EQ(dev_position(d, 2, 1), 0);
        ASSERT_EQ(dev_write(d, S("b")), 0);
    }
    EXPECT_EQ(d.page, 0xFFFF);
    dev_close(d);
    std::string expected = "a\r\nb";
    for (int p = 1; p < PAGES; p++) expected += "\r\na\r\nb";
    EXPECT_TRUE(read("out.txt") == expected) << "a file of " << read("out.txt").size() << " bytes";
}

TEST_F(DeviceWrite, CharacterTablesOnAFileAndOnAPrinter) {
    write_config("x", {record({"<0F>", "<12>", "<0E>", "<14>", "<10>", "<11>", "<1C>", "<1D>", "<1E>", "<1F>"}, 80, 72)});
    const std::string sample = "\xE1\x0F\xBA\xD1\xF1\xE9\xED\xF3\xFA\x0E\x12\x14\x10\x11\x1C\x1D\x1E\x1F!";
    ASSERT_EQ(print("plain.txt", {sample}), 0);
    EXPECT_EQ(read("plain.txt"), "\xE1 \xBA\xD1\xF1\xE9\xED\xF3\xFA  !");
    write("LPT1", "old");
    ASSERT_EQ(print("LPT1", {sample}), 0);
    std::string reset = "<12><14><11><1D><1F>";
    EXPECT_EQ(read("LPT1"), reset + "\xA0<0F>\xA7\xA5\xA4\x82\xA1\xA2\xA3<0E><12><14><10><11><1C><1D><1E><1F>!" + reset);
}

TEST_F(DeviceWrite, FinishingAPrinterSendsItsEndCode) {
    write_config("x", {record({"", "\x1b@"}, 80, 72)});
    Device d;
    ASSERT_EQ(dev_open(d, S("LPT1"), S("t")), 0);
    ASSERT_EQ(dev_write(d, S("abc")), 0);
    ASSERT_EQ(dev_finish(d), 0);
    ASSERT_EQ(dev_close(d), 0);
    EXPECT_EQ(read("LPT1"), "\x1b@abc\x1b@\x1b@");
}

TEST_F(DeviceWrite, PlainFilesAreWrittenAfreshUnlessLogOrOut) {
    write("a.txt", "old ");
    write("a.log", "old ");
    write("a.OUT", "old ");
    for (const char* name : {"a.txt", "a.log", "a.OUT"}) ASSERT_EQ(print(name, {"new"}), 0);
    EXPECT_EQ(read("a.txt"), "new");
    EXPECT_EQ(read("a.log"), "old new");
    EXPECT_EQ(read("a.OUT"), "old new");
}

TEST_F(DeviceWrite, PortNamesAndPrintToFileModeWriteUnixprn) {
    ASSERT_EQ(print("lp0", {"uno"}), 0);
    EXPECT_EQ(read("unixprn.txt"), "uno");
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "lp0"));
    command_line("vxrun /MODE=PRNTOFILE");
    ASSERT_EQ(print("LPT1", {"dos"}), 0);
    EXPECT_EQ(read("unixprn.txt"), "dos");
    ASSERT_EQ(print("COM1:9600,N,8,1", {"tres"}), 0);
    EXPECT_EQ(read("unixprn.txt"), "tres");
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "LPT1"));
}

TEST_F(DeviceWrite, ThePortVariableNamesTheFile) {
    set_string("LPT3$", (dir_.path() / "printer.out").string());
    ASSERT_EQ(print("LPT3", {"hola"}), 0);
    EXPECT_EQ(read("printer.out"), "hola");
    set_string("LPT3$", "");
    ASSERT_EQ(print("LPT3", {"otra"}), 0);
    EXPECT_EQ(read("LPT3"), "otra");
}

TEST_F(DeviceWrite, ADeviceNodeIsWrittenToAndNeverDeleted) {
    std::string fifo = (dir_.path() / "node").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string link = (dir_.path() / "link").string();
    ASSERT_EQ(::symlink(fifo.c_str(), link.c_str()), 0);
    set_string("LPT1$", link);
    ASSERT_EQ(print("LPT1", {"bytes"}), 0);
    char buf[16] = {};
    EXPECT_EQ(::read(reader, buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "bytes");
    ::close(reader);
    struct stat st;
    EXPECT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(DeviceWrite, AFileThatCannotBeWrittenNamesItself) {
    Device d;
    EXPECT_EQ(dev_open(d, S("no/such/folder/x.txt"), S("t")), E_FILEIO);
    EXPECT_EQ(d.error, E_FILEIO);
    EXPECT_FALSE(d.open);
    EXPECT_EQ(text(error_detail()), "no/such/folder/x.txt");
    EXPECT_EQ(error_module(), M_DEVICES);
    EXPECT_EQ(dev_write(d, S("x")), E_FILENOTINIT);
    EXPECT_EQ(dev_close(d), 0);
}

TEST_F(DeviceWrite, ASecondOpenOfTheSameRecordClosesTheFirst) {
    Device d;
    ASSERT_EQ(dev_open(d, S("one.txt"), S("t")), 0);
    ASSERT_EQ(dev_write(d, S("1")), 0);
    ASSERT_EQ(dev_open(d, S("two.txt"), S("t")), 0);
    ASSERT_EQ(dev_write(d, S("2")), 0);
    dev_close(d);
    EXPECT_EQ(read("one.txt"), "1");
    EXPECT_EQ(read("two.txt"), "2");
}

}  // namespace
