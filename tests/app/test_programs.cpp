// The programs as a shell sees them: command lines, exit codes, messages and files left.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/fixtures.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int code;
    std::string err;
};

// Runs a program of the build in the test's folder with the given arguments (shell syntax).
class Programs : public ::testing::Test {
protected:
    Outcome run(const std::string& program, const std::string& args) {
        std::string errfile = (dir() / "stderr.txt").string();
        std::string cmd = "cd '" + dir().string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY " +
                          std::string(VX_BIN_DIR) + "/" + program + " " + args + " 2>'" + errfile +
                          "' </dev/null";
        int status = std::system(cmd.c_str());
        Outcome o{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read("stderr.txt")};
        return o;
    }
    std::string read(const char* name) { return vx::test::slurp(dir() / name); }
    void write(const char* name, const std::string& text) {
        std::ofstream(dir() / name, std::ios::binary) << text;
    }
    const fs::path& dir() const { return scratch_.path(); }
    // The folder of the shipped files beside the programs of the build.
    static std::string shared() { return fs::weakly_canonical(fs::path(VX_BIN_DIR) / ".." / "share" / "varnox").string(); }
    // The login file of the test server (its port comes from PGPORT); the host as written.
    std::string login_file() {
        const char* host = std::getenv("PGHOST");
        std::string h = host && *host ? host : "127.0.0.1";
        write("sqlparams.dat", "sqlhost='" + h + "'\r\ndatabase='postgres'\r\nuser='postgres'\r\n");
        return h;
    }
    vx::test::ScratchDir scratch_{"prog"};
};

}  // namespace

TEST_F(Programs, NothingToRunEndsWith163) {
    Outcome o = run("vxrun", "");
    EXPECT_EQ(o.code, 163);
    EXPECT_NE(o.err.find("163"), std::string::npos) << o.err;
}

TEST_F(Programs, StartupReportWritesLogAndEndsWith121) {
    Outcome o = run("vxrun", "/TRACE=273");
    EXPECT_EQ(o.code, 121);
    EXPECT_EQ(o.err, "");
    std::string log = read("log.txt");
    EXPECT_EQ(log.substr(0, log.find("\r\n")), "0,ES");
}

TEST_F(Programs, OddSpacingAndDashedKeys) {
    write("log.txt", "old contents\r\n");
    Outcome o = run("varnox", "'  --APNAME=abc'   '   --TRACE=273  '");
    EXPECT_EQ(o.code, 121);
    EXPECT_EQ(read("log.txt"), "0,ES\r\n");   // started afresh
    o = run("vxrun", "-trace=273");
    EXPECT_EQ(o.code, 121);
}

TEST_F(Programs, TaskTypeNobodyServesFails) {
    write("lines.txt", "MantMain x\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt'");
    EXPECT_EQ(o.code, 163);
    EXPECT_NE(o.err.find("Proceso no definido"), std::string::npos) << o.err;
}

TEST_F(Programs, MissingInputFileIsReportedWithItsName) {
    Outcome o = run("vxrun", "/BATCH /INPUT=nofile.txt");
    EXPECT_EQ(o.code, 164);
    EXPECT_NE(o.err.find("NOFILE.TXT"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(dir() / "NOFILE.TXT"));
}

TEST_F(Programs, BatchAboutBoxAndErrorGoToTheOutputFile) {
    Outcome o = run("vxrun", "/BATCH /TRACE=257 \"/OUTPUT='out.txt'\"");
    EXPECT_EQ(o.code, 163);
    EXPECT_EQ(o.err, "");
    std::string out = read("out.txt");
    // The About box: description and id (both empty here), language, data folder, version,
    // and the number of decimals.
    EXPECT_EQ(out.substr(0, out.find("[Acerca de] Version")),
              "[Acerca de]\r\n[Acerca de]\r\n[Acerca de] ES\r\n[Acerca de] " +
                  std::string(VX_BIN_DIR) + "\r\n");
    // Then the error box of the run that had nothing to do, as the last line.
    std::string tail = "[Acerca de] 2\r\n[Alerta de Mensaje Fatal #163] Error de Datos: ";
    std::size_t at = out.find(tail);
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find("\r\n", at + tail.size()), out.size() - 2) << out;
}

TEST_F(Programs, ExpEvalExitCodes) {
    struct Case { const char* args; int code; } cases[] = {
        {"'/RUN=ExpEval (1+2'", 129},
        {"'/RUN=ExpEval A$=5'", 128},
        {"'/RUN=ExpEval 1+1'", 0},
        {"'/RUN=\"ExpEval A#=1\"'", 0},
        {"'/RUN=expeval 1'", 163},
    };
    for (const auto& c : cases) EXPECT_EQ(run("vxrun", c.args).code, c.code) << c.args;
}

TEST_F(Programs, BatchInputLinesRunThenTheProgramEnds) {
    // The INPUT lines run in order and share their variables; no menu runs afterwards.
    write("lines.txt", "ExpEval A#=2\r\nExpEval B#=A#*3\r\nExpEval C$='done'\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt'");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.err, "");
    write("bad.txt", "ExpEval 1\r\nExpEval (2\r\nExpEval 3\r\n");
    o = run("vxrun", "/BATCH /INPUT='bad.txt'");
    EXPECT_EQ(o.code, 129);
}

TEST_F(Programs, BatchLinesWriteAFileThroughBuiltInFunctions) {
    write("lines.txt",
          "ExpEval WRITE('out.txt';4;FN$TRIM(2+3*4)+.lf$)\r\n"
          "ExpEval WRITE('out.txt';4;FN$MIDS('ABCDEF';2;3)+.lf$)\r\n"
          "ExpEval WRITE('out.txt';4;FN$DATE('20170805';2)+.lf$)\r\n"
          "ExpEval WRITE('p.dat';-2;'HOST=db1:USER=ana');WRITE('p.dat';-2;'USER=eva')\r\n"
          "ExpEval WRITE('copy.txt';2;READ$('out.txt')+READ$('p.dat'))\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt'");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(read("out.txt"), "14.00\r\nBCD\r\n05-08-2017\r\n");
    EXPECT_EQ(read("copy.txt"), "14.00\r\nBCD\r\n05-08-2017\r\nHOST=db1\r\nUSER=eva\r\n");
    // A failing line ends the run with its code; the lines before it have written.
    write("bad.txt", "ExpEval WRITE('b.txt';2;'x')\r\nExpEval FN$TRIM('x';'BAD')\r\nExpEval WRITE('b.txt';4;'y')\r\n");
    o = run("vxrun", "/BATCH /INPUT='bad.txt'");
    EXPECT_EQ(o.code, 147);
    EXPECT_EQ(read("b.txt"), "x");
}

TEST_F(Programs, BatchAcceptRunTakesItsAnswerLine) {
    // The form of the task reads the line after the task line; the next task sees the value.
    write("acc.par", "ACBOUND$=\"'Nombre:':'A20':N$,'Ciudad:':'A20':C$\":WINNAME$=Datos:ACCEPT_PRC%=5\r\n");
    write("lines.txt",
          "AcceptRun acc.par\r\n"
          "Ana,'Lugo, Galicia'\r\n"
          "ExpEval WRITE('out.txt';2;N$+'/'+C$+'/'+_ACCEPT$(2))\r\n"
          "AcceptRun login.par\r\n"
          "admin,'se cre to'\r\n"
          "ExpEval WRITE('key.txt';2;U$+'/'+K$)\r\n"
          "AcceptRun acc.par\r\n"
          "\\ESC\r\n");
    write("login.par", "ACBOUND$=\"'Usuario:':'A10':U$,'Clave:':'P10':K$\":WINNAME$=Login:ACCEPT_PRC%=5\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt' \"/OUTPUT='log.txt'\"");
    EXPECT_EQ(o.code, 0) << "a cancelled form (122) is no failure of the program: " << o.err;
    EXPECT_EQ(read("out.txt"), "Ana/Lugo, Galicia/Lugo, Galicia");
    std::string log = read("log.txt");
    EXPECT_NE(log.find("[Datos] Ana,'Lugo, Galicia'\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("[Datos] \\ESC\r\n"), std::string::npos) << log;
    EXPECT_EQ(read("key.txt"), "admin/se cre to");
    EXPECT_NE(log.find("[Login] admin,'********'\r\n"), std::string::npos) << "a password is never written out: " << log;
    EXPECT_EQ(log.find("cre"), std::string::npos) << log;
}

TEST_F(Programs, OwnMenuFileIsRunWhenThereIsNoStartKey) {
    // Offscreen and without BATCH, the menu window asks its closing question in writing and
    // the program ends normally; without the file there is nothing to run.
    write("MENU.PMT", "Ayuda\r\n\tAcerca de,Help About\r\n");
    Outcome o = run("vxrun", "");
    EXPECT_EQ(o.code, 0) << o.err;
    std::filesystem::remove(dir() / "MENU.PMT");
    EXPECT_EQ(run("vxrun", "").code, 163);
}

TEST_F(Programs, ViewerWithoutALoginEndsWithTheCancelledForm) {
    Outcome o = run("varnox", "");
    EXPECT_EQ(o.code, 122) << o.err;
    EXPECT_NE(o.err.find("[Acceso a Datos]"), std::string::npos) << "the login form asked: " << o.err;
    EXPECT_EQ(o.err.find("162"), std::string::npos) << "no parameter file is no server error: " << o.err;

    // A refused login says why before the form asks again.
    const char* host = std::getenv("PGHOST");
    write("sqlparams.dat", std::string("sqlhost='") + (host ? host : "127.0.0.1") + "'\r\ndatabase='postgres'\r\nuser='nadie'\r\n");
    o = run("varnox", "");
    EXPECT_EQ(o.code, 122) << o.err;
    size_t why = o.err.find("nadie"), form = o.err.find("[Acceso a Datos]");
    EXPECT_NE(why, std::string::npos) << o.err;
    EXPECT_LT(why, form) << o.err;
}

TEST_F(Programs, ViewerLogsInReadsItsParametersRunsItsDefaultMenuAndRemovesIt) {
    std::string host = login_file();
    fs::path data = dir() / host / "postgres" / "data";
    fs::create_directories(data);
    std::ofstream(data / ("PARINI." + host + ".DAT"), std::ios::binary)
        << "WRITE('param.txt';2;'leido')\r\n";
    Outcome o = run("varnox", "");
    EXPECT_EQ(o.code, 0) << o.err;
    fs::path work = dir() / host / "postgres" / "datas";
    EXPECT_TRUE(fs::is_directory(work)) << "the working folder of host and database";
    EXPECT_EQ(vx::test::slurp(work / "param.txt"), "leido") << "the parameter file was evaluated there";
    for (const auto& e : fs::recursive_directory_iterator(dir()))
        EXPECT_NE(e.path().extension(), ".PMT") << "the temporary menu file is gone: " << e.path();
}

TEST_F(Programs, ViewerLoginFormIsAnsweredFromTheInputFile) {
    // The stored login is refused: the form asks, and the first line of INPUT answers it;
    // the lines after it are the run's task lines. INPUT and OUTPUT are named from the folder
    // the program starts in, although the viewer then works in host/postgres/datas.
    const char* env_host = std::getenv("PGHOST");
    std::string host = env_host && *env_host ? env_host : "127.0.0.1";
    write("sqlparams.dat", "sqlhost='" + host + "'\r\ndatabase='postgres'\r\nuser='nadie'\r\n");
    write("in.txt", host + ",postgres,postgres,,N\r\nHelp About\r\n");
    Outcome o = run("varnox", "/BATCH /INPUT=in.txt \"/OUTPUT='o.txt'\"");
    EXPECT_EQ(o.code, 0) << o.err << read("o.txt");
    std::string out = read("o.txt");
    size_t login = out.find("[Acceso a Datos] " + host + ",postgres,postgres,'********',N\r\n");
    EXPECT_NE(login, std::string::npos) << out;
    EXPECT_GT(out.find("[Acerca de] Visor gr"), login) << "then the task line ran: " << out;
    EXPECT_FALSE(fs::exists(dir() / host / "postgres" / "datas" / "o.txt")) << "one OUTPUT file";

    // Without a line for it the form is cancelled and the program ends with 122.
    write("in.txt", "");
    o = run("varnox", "/BATCH /INPUT=in.txt");
    EXPECT_EQ(o.code, 122) << o.err;
    // An INPUT file that is not there ends the start-up, naming it.
    o = run("varnox", "/BATCH /INPUT=nada.txt");
    EXPECT_EQ(o.code, 164) << o.err;
    EXPECT_NE(o.err.find("NADA.TXT"), std::string::npos) << o.err;
}

TEST_F(Programs, FailingLanguageVariablesEndTheStartUp) {
    std::string host = login_file();
    fs::path data = dir() / host / "postgres" / "data";
    fs::create_directories(data);
    std::ofstream(data / "VXLANGVARS.DAT", std::ios::binary) << "M$=0005\r\nM#=0019\r\n";
    Outcome o = run("varnox", "/BATCH \"/RUN='Help About'\"");
    EXPECT_EQ(o.code, 147) << o.err;
    EXPECT_NE(o.err.find("VXLANGVARS.DAT: M#=0019"), std::string::npos)
        << "names the file and the line: " << o.err;
    EXPECT_EQ(o.err.find("[Acerca de]"), std::string::npos) << "nothing runs: " << o.err;
}

TEST_F(Programs, ProcedureRunsFromExecBeforeAnyOtherProcedure) {
    write("sub.prc", "LOCALVARS P#\r\nX#=P#+1\r\nEND\r\n");
    write("in.txt", "ExpEval WRITE('r.txt';2;EXEC$(',sub.prc';41))\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT=in.txt");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(read("r.txt"), "42.00");
}

TEST_F(Programs, AFailingProcedureIsReportedOnce) {
    write("bad.prc", "A#=1\r\nPRINT A#\r\n");
    Outcome o = run("vxrun", "/BATCH \"/RUN='PrcExec bad.prc'\" \"/OUTPUT='o.txt'\"");
    EXPECT_EQ(o.code, 148) << o.err;
    EXPECT_EQ(read("o.txt"),
              "[Alerta de Mensaje Fatal #148] Error FEATUREREMOVED(ExecRunTime): PRINT\r\n"
              "[Alerta de Mensaje Fatal #148] Line: 2 (+ remmarks) in bad.prc:\r\n"
              "[Alerta de Mensaje Fatal #148] PRINT A#\r\n");
    EXPECT_EQ(o.err, "");
    // A failing expression names its operand once, though it is also the rest of the text.
    write("bad.prc", "X$=SORT$('b,a';1)\r\n");
    fs::remove(dir() / "o.txt");
    o = run("vxrun", "/BATCH \"/RUN='PrcExec bad.prc'\" \"/OUTPUT='o.txt'\"");
    EXPECT_EQ(o.code, 148) << o.err;
    EXPECT_EQ(read("o.txt"),
              "[Alerta de Mensaje Fatal #148] Error FEATUREREMOVED(ExpExec): SORT$\r\n"
              "[Alerta de Mensaje Fatal #148] SORT$('b,a';1)\r\n"
              "[Alerta de Mensaje Fatal #148] Line: 1 (+ remmarks) in bad.prc:\r\n"
              "[Alerta de Mensaje Fatal #148]  X$=SORT$('b,a';1)\r\n");
    // From an INPUT line, and from a procedure that calls itself until the runs nest too deep.
    write("bad.prc", "A#=1\r\nPRINT A#\r\n");
    write("in.txt", "PrcExec bad.prc\r\n");
    fs::remove(dir() / "o.txt");
    o = run("vxrun", "/BATCH /INPUT=in.txt \"/OUTPUT='o.txt'\"");
    EXPECT_EQ(o.code, 148) << o.err;
    std::string out = read("o.txt");
    EXPECT_EQ(out.find("Line: 2"), out.rfind("Line: 2")) << out;
    write("rec.prc", "DEF_FN r\r\nCALL r,rec.prc\r\n");
    o = run("vxrun", "/BATCH \"/RUN='PrcExec rec.prc,r'\"");
    EXPECT_EQ(o.code, 133) << o.err;
    EXPECT_NE(o.err.find("PRCSTCKERROR(ExecRunTime): rec.prc: more than 24 procedures"),
              std::string::npos) << o.err;
}

TEST_F(Programs, ViewerTasksReportAndHelp) {
    login_file();
    Outcome o = run("varnox", "/BATCH '/RUN=Report a,b,c'");
    EXPECT_EQ(o.code, 163) << o.err;
    o = run("varnox", "/BATCH '/RUN=Report nada.ppn'");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_NE(o.err.find("Datos no Encontrados"), std::string::npos) << o.err;
    o = run("varnox", "/BATCH '/RUN=Help About'");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_NE(o.err.find("Visor gr"), std::string::npos) << "the About box shows the description: " << o.err;
    // Help: the address set with HELPURL, else the local page in the language in use.
    o = run("varnox", "/BATCH \"/RUN='Help'\"");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_NE(o.err.find("[P\xC3\xA1ginas de Ayuda] " + shared() + "/help/index_es.html"), std::string::npos) << o.err;
    o = run("varnox", "/BATCH \"/RUN='Help'\" /HELPURL=https://intranet.example/ayuda");
    EXPECT_NE(o.err.find("] https://intranet.example/ayuda"), std::string::npos) << o.err;
    o = run("varnox", "/BATCH \"/RUN='Help'\" /LANG=EN");
    EXPECT_NE(o.err.find("[Help Pages] " + shared() + "/help/index_en.html"), std::string::npos) << o.err;
    // Creating a chart and cancelling its first form ends quietly.
    write("lines.txt", "Report\r\n\\ESC\r\n");
    o = run("varnox", "/BATCH '/INPUT=" + (dir() / "lines.txt").string() + "'");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.err.find("#"), std::string::npos) << "no error box: " << o.err;
    o = run("varnox", "/BATCH '/RUN=report x'");
    EXPECT_EQ(o.code, 163) << "an unknown task type is no success: " << o.err;
}

namespace {

// A database of its own on the test server for one program test, made and dropped with psql.
class ChartDatabase {
public:
    ChartDatabase() : name_("vx_progchart_" + std::to_string(::getpid())) {
        ok_ = psql("postgres", "-c \"DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)\"") &&
              psql("postgres",
                   "-c \"CREATE DATABASE " + name_ + " ENCODING 'UTF8' TEMPLATE template0\"");
    }
    ~ChartDatabase() {
        psql("postgres", "-c \"DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)\"");
    }
    bool exec(const std::string& sql) { return ok_ && psql(name_, "-c \"" + sql + "\""); }
    bool load(const std::string& file) { return ok_ && psql(name_, "-f '" + file + "'"); }
    const std::string& name() const { return name_; }

private:
    static bool psql(const std::string& db, const std::string& what) {
        std::string cmd = "psql -q -v ON_ERROR_STOP=1 -d '" + db + "' " + what + " >/dev/null 2>&1";
        return std::system(cmd.c_str()) == 0;
    }
    std::string name_;
    bool ok_ = false;
};

constexpr const char* CHART_TABLE =
    "CREATE TABLE ventas (periodo char(6) PRIMARY KEY, mes integer NOT NULL, importe numeric(8,2) NOT NULL);"
    "INSERT INTO ventas SELECT '2025' || lpad(m::text, 2, '0'), m, 100 * m FROM generate_series(1, 6) m;";

constexpr const char* CHART_FILE =
    " 1 FD$=\"'Ventas','Total'\"\r\n"
    " 1 OPEN$=ventas\r\n"
    " 1 ACBOUND$=\"'Desde:':'A6','Hasta:':'A6'\"\r\n"
    " 1 RESET$=\"V#(5);'1,2,3,4,5,6'\"\r\n"
    " 1 RD_EXP$=\"V#(mes{ventas}-1)=V#(mes{ventas}-1)+importe{ventas}\"\r\n"
    " 1 ASSIGN$=V#\r\n"
    " 5 OPEN$=ventas\r\n";   // no title: a part of another chart, not offered

}  // namespace

TEST_F(Programs, ViewerReportChoosesAndRunsChartsUntilCancelled) {
    ChartDatabase db;
    ASSERT_TRUE(db.exec(CHART_TABLE)) << "the test server (PGHOST, PGPORT) and psql";
    const char* host = std::getenv("PGHOST");
    std::string h = host && *host ? host : "127.0.0.1";
    write("sqlparams.dat", "sqlhost='" + h + "'\r\ndatabase='" + db.name() + "'\r\nuser='postgres'\r\n");
    fs::create_directories(dir() / h / db.name() / "data");
    std::ofstream(dir() / h / db.name() / "data" / "VXreport.ppn", std::ios::binary) << CHART_FILE;
    std::string png = (dir() / "ventas.png").string();
    std::string empty_png = (dir() / "vacio.png").string();
    write("in.txt", "Report %APNAME%report.ppn\r\n"
                    "Ventas\r\n202501,202506\r\n" + png + "\r\n"   // by its title, all six months
                    "1\r\n209901,209912\r\n" + empty_png + "\r\n"   // no records: a chart of zeros
                    "2\r\n");                                         // no such item: ends
    Outcome o = run("varnox", "/BATCH /INPUT=in.txt");   // the name is the start folder's
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_NE(o.err.find("[Selection de Informe] Ventas"), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find("No hay datos"), std::string::npos) << "no records is no error: " << o.err;
    for (const char* name : {"ventas.png", "vacio.png"}) {
        std::string image = read(name);
        ASSERT_GT(image.size(), 1000u) << name << ": " << o.err;
        EXPECT_EQ(image.substr(1, 3), "PNG") << name;
    }

    // Without a file name, or with a second item, the configuration forms are asked; the end
    // of the input cancels the first, which ends the task quietly.
    o = run("varnox", "/BATCH \"/RUN='Report'\"");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.err.find("#"), std::string::npos) << "no error box: " << o.err;
    o = run("varnox", "/BATCH '/RUN=Report %APNAME%report.ppn,Edit'");
    EXPECT_EQ(o.code, 0) << o.err;
}

// The answers with which a person makes the charts of demo/VXgenerado.ppn over the demo
// database: a single-line chart of orders per month, two of monthly sales kept out of menus,
// and a multi-line chart that combines them.
constexpr const char* DEMO_ANSWERS =
    "Report\r\n"
    "'Pedidos por mes',N,N\r\n"
    "pedidos\r\n"
    "N,S,S,S\r\n"
    "\"FN#VALN(fecha{pedidos};'M')\",1,\"'Ene,Feb,Mar,Abr,May,Jun,Jul,Ago,Sep,Oct,Nov,Dic'\",,\r\n"
    "Report\r\n"
    "'Ventas del Norte',N,S\r\n"
    "ventas_mensuales\r\n"
    "N,S,N,S,S\r\n"
    "mes{ventas_mensuales},importe{ventas_mensuales},\"'Ene,Feb,Mar,Abr,May,Jun,Jul,Ago,Sep,Oct,"
    "Nov,Dic'\","
    "zona{ventas_mensuales}=='NO',\r\n"
    "Report\r\n"
    "'Ventas del Sur',N,S\r\n"
    "ventas_mensuales\r\n"
    "N,S,N,S,S\r\n"
    "mes{ventas_mensuales},importe{ventas_mensuales},\"'Ene,Feb,Mar,Abr,May,Jun,Jul,Ago,Sep,Oct,"
    "Nov,Dic'\","
    "zona{ventas_mensuales}=='SU',\r\n"
    "Report\r\n"
    "'Norte y Sur',S,N\r\n"
    "ventas_mensuales\r\n"
    "\\ENTER\r\n"
    "'Ventas del Norte,Ventas del Sur'\r\n";

TEST_F(Programs, ViewerCreatesEditsAndRunsChartsWithoutTouchingAFile) {
    ChartDatabase db;
    ASSERT_TRUE(db.load(VX_SOURCE_DIR "/demo/demo.sql"))
        << "the test server (PGHOST, PGPORT) and psql";
    const char* host = std::getenv("PGHOST");
    std::string h = host && *host ? host : "127.0.0.1";
    write("sqlparams.dat",
          "sqlhost='" + h + "'\r\ndatabase='" + db.name() + "'\r\nuser='postgres'\r\n");
    fs::path data = dir() / h / db.name() / "data";
    std::string pedidos = (dir() / "pedidos.png").string(), ambas = (dir() / "ambas.png").string();
    // From nothing: the forms' answers, then the charts run from the menu's file.
    write("in.txt", std::string(DEMO_ANSWERS) +
                        "Report %APNAME%report.ppn\r\n"
                        "1\r\n" +
                        pedidos +
                        "\r\n"
                        "2\r\n" +
                        ambas +
                        "\r\n"
                        "\\ESC\r\n");
    Outcome o = run("varnox", "/BATCH /INPUT=in.txt \"/OUTPUT='out.txt'\"");
    ASSERT_EQ(o.code, 0) << o.err << read("out.txt");
    std::string written = vx::test::slurp(data / "VXreport.ppn");
    EXPECT_EQ(written, vx::test::slurp(VX_SOURCE_DIR "/demo/VXgenerado.ppn"))
        << "the example of the demo is what the forms write";
    std::string out = read("out.txt");
    EXPECT_NE(out.find("[Pedidos por mes] " + pedidos), std::string::npos) << out;
    EXPECT_NE(out.find("[Norte y Sur] " + ambas), std::string::npos)
        << "the parts are not offered: " << out;
    EXPECT_EQ(out.find(" #1"), std::string::npos) << "no error box: " << out;
    for (const std::string& png : {pedidos, ambas}) {
        std::string image = vx::test::slurp(png);
        ASSERT_GT(image.size(), 1000u) << png;
        EXPECT_EQ(image.substr(1, 3), "PNG") << png;
    }

    // Edited with every form confirmed as shown: the file stays as it was. Then the first
    // chart is kept out of menus: the run offers the combined one alone.
    write("in.txt",
          "Report %APNAME%report.ppn,Edit\r\n"
          "Ventas del Sur\r\n\\ENTER\r\nventas_mensuales\r\n\\ENTER\r\n\\ENTER\r\n"
          "1\r\n'Pedidos por mes',N,S\r\npedidos\r\n\\ENTER\r\n\\ENTER\r\n"
          "\\ESC\r\n"
          "Report %APNAME%report.ppn\r\n"
          "1\r\n\r\n"
          "\\ESC\r\n");
    o = run("varnox", "/BATCH /INPUT=in.txt \"/OUTPUT='out2.txt'\"");
    ASSERT_EQ(o.code, 0) << o.err << read("out2.txt");
    out = read("out2.txt");
    EXPECT_NE(out.find("[Selection de Informe] 1\r\n[Norte y Sur]\r\n"), std::string::npos) << out;
    std::string edited = vx::test::slurp(data / "VXreport.ppn");
    std::string hidden = written;
    hidden.replace(hidden.find(" 1 DOCSETS$=3"), 13, " 1 DOCSETS$=11");
    EXPECT_EQ(edited, hidden) << "only the flag changed";
}

// ---- Usage, version, language ----

TEST_F(Programs, HelpPrintsTheUsageAndEndsWith0) {
    for (const char* args : {"--help", "-h", "'/?'", "-HELP", "/h"}) {
        for (const char* program : {"varnox", "vxrun"}) {
            std::string out = (dir() / "out.txt").string();
            Outcome o = run(program, std::string(args) + " >'" + out + "'");
            EXPECT_EQ(o.code, 0) << program << " " << args;
            std::string usage = read("out.txt");
            EXPECT_EQ(usage.rfind(std::string(program) + " - ", 0), 0u) << usage;
            EXPECT_NE(usage.find("Uso: " + std::string(program)), std::string::npos) << usage;
            EXPECT_NE(usage.find("\"/RUN='Help About'\""), std::string::npos) << "the quoting rule: " << usage;
            EXPECT_NE(usage.find("Esc"), std::string::npos) << "the keys: " << usage;
            EXPECT_NE(usage.find("163"), std::string::npos) << "the exit codes: " << usage;
            EXPECT_EQ(o.err, "");
        }
    }
    Outcome o = run("varnox", "--help --lang=en >out.txt");
    EXPECT_EQ(o.code, 0);
    std::string usage = read("out.txt");
    EXPECT_NE(usage.find("Usage: varnox"), std::string::npos) << usage;
    EXPECT_NE(usage.find("sqlhost=HOST[:PORT]"), std::string::npos) << usage;
    o = run("vxrun", "--help >out.txt");
    EXPECT_EQ(read("out.txt").find("sqlhost"), std::string::npos) << "vxrun logs in nowhere";
    o = run("varnox", "--version >out.txt");
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(read("out.txt").rfind("varnox 0.", 0), 0u) << read("out.txt");
    EXPECT_FALSE(fs::exists(dir() / "sqlparams.dat")) << "nothing started";
}

TEST_F(Programs, TheLanguageKeyGivesEnglishMessages) {
    Outcome o = run("vxrun", "/BATCH /LANG=EN");
    EXPECT_EQ(o.code, 163);
    EXPECT_NE(o.err.find("[Fatal Error Alert #163] Error in the data:"), std::string::npos) << o.err;
    o = run("vxrun", "/BATCH /TRACE=257 /LANG=EN");
    EXPECT_NE(o.err.find("[About] EN\r\n"), std::string::npos) << o.err;
    o = run("vxrun", "/BATCH");
    EXPECT_NE(o.err.find("[Alerta de Mensaje Fatal #163] Error de Datos:"), std::string::npos) << o.err;
}

TEST_F(Programs, BatchReportTaskPrintsToTheChosenDeviceAndTheScreen) {
    // The default handler runs Report: the device selection reads the line after the task;
    // a report on the screen is written to the OUTPUT file.
    write("hola.tpl", "01001Hola|##\x17 '',2+3\r\n");
    write("lines.txt", "Report hola.tpl\r\nsalida.txt /LP:0\r\nReport hola.tpl\r\nCON /LP:0\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt' \"/OUTPUT='log.txt'\"");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(read("salida.txt"), "Hola  5\r\n");
    std::string log = read("log.txt");
    EXPECT_NE(log.find("] salida.txt /LP:0\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] CON /LP:0\r\nHola  5\r\n"), std::string::npos) << log;
    write("lines.txt", "Report falta.tpl\r\nsalida.txt\r\n");
    EXPECT_EQ(run("vxrun", "/BATCH /INPUT='lines.txt'").code, 164);
}

TEST_F(Programs, BatchReportLoadsItsProcedureForTheRun) {
    // The column calls an entry point of the procedure named after the template; without
    // the procedure the same call has nothing to run.
    write("lib.prc", "END\nDEF_FN GRITO\nLOCALVARS S$\nS$+\"!\"\nEND\n");
    write("grito.tpl", "01001\\    \\\x17 EXEC$(\"GRITO\";\"hola\")\r\n");
    write("lines.txt", "Report grito.tpl;lib.prc\r\ngrito.txt /LP:0\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt'");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(read("grito.txt"), "hola! \r\n");
    write("lines.txt", "Report grito.tpl\r\nsinprc.txt /LP:0\r\n");
    EXPECT_NE(run("vxrun", "/BATCH /INPUT='lines.txt'").code, 0);
}

TEST_F(Programs, BatchReportWithoutADataFileTakesInputLinesAsRecords) {
    // Each line after the device is a record until ATEND$ holds; the task lines go on after.
    write("entrada.tpl",
          "01001Registros\r\n02003\\      \\\x19 _$(30) /ATEND$=\"_$(30)=='FIN'\"\r\n"
          "03001Fin\x18 ''\r\n");
    write("lines.txt",
          "Report entrada.tpl\r\nreg.txt /LP:0\r\nuno\r\ndos\r\nFIN\r\n"
          "Report entrada.tpl\r\nreg2.txt /LP:0\r\ntres\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt'");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(read("reg.txt"), "Registros\r\n  uno     \r\n  dos     \r\nFin\r\n");
    EXPECT_EQ(read("reg2.txt"), "Registros\r\n  tres    \r\nFin\r\n") << "the file's end ends it";
}

TEST_F(Programs, AReportEndingOnTheFirstLineOfAPageEndsThatLineAndCompletesThePage) {
    // Pages of two lines: the third record is alone on the second page.
    write("par.tpl", "01001\\    \\\x19 _$(30) /ATEND$=\"_$(30)=='FIN'\"\r\n");
    write("lines.txt", "Report par.tpl\r\ntres.txt /LP:2\r\nr1\r\nr2\r\nr3\r\nFIN\r\n"
                       "Report par.tpl\r\ndos.txt /LP:2\r\nr1\r\nr2\r\nFIN\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt'");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(read("tres.txt"), "r1    \r\nr2    \r\nr3    \r\n\r\n");
    EXPECT_EQ(read("dos.txt"), "r1    \r\nr2    \r\n");
}

TEST_F(Programs, AListingLongerThanTheLineCounterKeepsEveryRecordOnALineOfItsOwn) {
    // A device without pages counts its lines in 16 bits; the listing goes on past 65,535.
    constexpr int RECORDS = 70000;
    write("largo.tpl", "01001Listado\r\n02001\\      \\\x19 _$(30) /ATEND$=\"_$(30)=='FIN'\"\r\n");
    std::string lines = "Report largo.tpl\r\nlargo.txt /LP:0\r\n";
    std::string expected = "Listado\r\n";
    for (int i = 1; i <= RECORDS; i++) {
        std::string record = "r" + std::to_string(i);
        lines += record + "\r\n";
        expected += record + std::string(8 - record.size(), ' ') + "\r\n";
    }
    write("lines.txt", lines + "FIN\r\n");
    Outcome o = run("vxrun", "/BATCH /INPUT='lines.txt'");
    EXPECT_EQ(o.code, 0) << o.err;
    std::string got = read("largo.txt");
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "first difference at byte " << std::distance(
        got.begin(), std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first);
}

// ---- Unreadable INPUT and OUTPUT files ----

TEST_F(Programs, AnInputFolderEndsTheStartWith164) {
    fs::create_directory(dir() / "lines");
    Outcome o = run("vxrun", "/BATCH \"/INPUT='lines'\"");
    EXPECT_EQ(o.code, 164);
    EXPECT_NE(o.err.find("#164] Error Fichero no encontrado(Streams): "), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("/lines\r\n"), std::string::npos) << o.err;
}

TEST_F(Programs, AnOutputFileThatRefusesItsLinesLeavesThemOnStandardError) {
    Outcome o = run("vxrun", "/BATCH /OUTPUT=/dev/full");
    EXPECT_EQ(o.code, 163);
    EXPECT_NE(o.err.find("#163]"), std::string::npos) << o.err;
    // A full disk under a file of its own: the box is not lost either.
    write("out.txt", std::string(2048, '-'));
    std::string cmd = "cd '" + dir().string() + "' && (ulimit -f 1; trap '' XFSZ; exec " +
                      std::string(VX_BIN_DIR) + "/vxrun /BATCH \"/OUTPUT='out.txt'\") 2>err.txt </dev/null";
    int status = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 163);
    EXPECT_NE(read("err.txt").find("#163]"), std::string::npos) << read("err.txt");
    EXPECT_EQ(read("out.txt"), std::string(2048, '-'));
}
