// The English message file the programs ship with: one text for every message the built-in
// catalog holds, each of the same shape (list items, placeholders, field definitions), all
// of them reachable through the run-time's loading rules; and the choice of the language by
// the LANG key or the VARNOX_LANG variable.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/msgcat.h"
#include "runtime/paths.h"
#include "runtime/startup.h"
#include "support/fixtures.h"
#include "test_msg_support.h"

using namespace vx::rt;
using vx::test::text;

namespace {

const std::filesystem::path ENGLISH_FILE =
    std::filesystem::path(VX_SOURCE_DIR) / "lang" / "KV_LANG_EN.MSJ";

// Identifier and text of each entry of the built-in catalog, walked as the lookup reads it.
std::map<u16, std::string> builtin() {
    std::map<u16, std::string> out;
    for (u16 b = 0; b < MSGCAT_BLOCKS; b++) {
        std::string block = text(msgcat_block(b));
        for (std::size_t at = 0; at < block.size();) {
            u16 id = u16(std::stoi(block.substr(at, 4)));
            TmpScope scope;
            std::string t = text(msg_text_id(id));
            out[id] = t;
            at += 5 + t.size() + 1;
        }
    }
    return out;
}

// The lines of the file: identifier and text ("\n" left as written), in file order.
std::vector<std::pair<u16, std::string>> file_lines(const std::filesystem::path& path) {
    std::vector<std::pair<u16, std::string>> out;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        EXPECT_GE(line.size(), 5u) << line;
        EXPECT_EQ(line[4], ' ') << line;
        out.emplace_back(u16(std::stoi(line.substr(0, 4))), line.substr(5));
    }
    return out;
}

// What a translation must keep: the number of list items (quote-aware, as the run-time
// splits them), and the placeholders in order.
struct Shape {
    u16 items = 0;
    std::string placeholders;
    bool operator==(const Shape&) const = default;
};

Shape shape_of(const std::string& t) {
    TmpScope scope;
    Shape s;
    Str v = str_view(t.data(), u16(t.size()));
    s.items = list_count(v, ',');
    for (std::size_t i = 0; i + 1 < t.size(); i++)
        if (t[i] == '%') s.placeholders += t.substr(i, 2), i++;
    return s;
}

std::ostream& operator<<(std::ostream& o, const Shape& s) {
    return o << s.items << " items " << s.placeholders;
}

class English : public vx::test::MsgFixture {
protected:
    English() : MsgFixture("msgen") {}
};

}  // namespace

TEST_F(English, TheFileHasEveryBuiltInMessageInOrderAndOfTheSameShape) {
    std::map<u16, std::string> spanish = builtin();
    auto lines = file_lines(ENGLISH_FILE);
    std::map<u16, std::string> english;
    u16 last = 0;
    for (const auto& [id, t] : lines) {
        EXPECT_GT(id, last) << "identifiers in ascending order";
        last = id;
        english[id] = t;
        EXPECT_TRUE(spanish.count(id)) << id << " is no built-in message";
    }
    for (const auto& [id, t] : spanish) {
        auto it = english.find(id);
        if (it == english.end()) {
            ADD_FAILURE() << "no English text for message " << id;
            continue;
        }
        std::string en = it->second;
        for (std::size_t at; (at = en.find("\\n")) != std::string::npos;) en.replace(at, 2, "\r\n");
        EXPECT_EQ(shape_of(en), shape_of(t)) << id << ": " << en;
        EXPECT_EQ(en.empty(), t.empty()) << id;
        for (unsigned char c : en)
            EXPECT_TRUE(c >= 0x20 || c == '\t' || c == '\r' || c == '\n') << id;
    }
    EXPECT_EQ(english.size(), spanish.size());
}

TEST_F(English, EveryTextIsReachedThroughTheLoadingRules) {
    std::map<u16, std::string> spanish = builtin();
    std::filesystem::copy_file(ENGLISH_FILE, dir_.path() / "KV_LANG_EN.MSJ");
    ASSERT_EQ(env_set(ENV_LANG, S("EN")), 0);
    msg_shutdown();
    std::map<u16, std::string> english;
    for (const auto& [id, t] : file_lines(ENGLISH_FILE)) english[id] = t;
    for (const auto& [id, t] : spanish) {
        TmpScope scope;
        std::string got = text(msg_text_id(id)), want = english[id];
        for (std::size_t at; (at = want.find("\\n")) != std::string::npos;)
            want.replace(at, 2, "\r\n");
        EXPECT_EQ(got, want) << id;
    }
    TmpScope scope;
    EXPECT_EQ(text(error_name(164)), "File not found");
    EXPECT_EQ(text(error_name(182)), "Undefined") << "a code without a name";
    EXPECT_EQ(text(error_name(300)), "Undefined");
}

TEST_F(English, ErrorNamesComeFromTheirMessage) {
    TmpScope scope;
    EXPECT_EQ(text(error_name(122)), "Cancelado por el usuario");
    EXPECT_EQ(text(error_name(163)), "de Datos");
    EXPECT_EQ(text(error_name(185)), "Soporte Grafico Insuficiente");
    EXPECT_EQ(text(error_name(182)), "Indefinido");
    EXPECT_EQ(text(error_name(121)), "Indefinido");
    EXPECT_EQ(text(error_name(186)), "Indefinido");
}

// ---- The language asked for ----

namespace {

class Language : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.enter();
        ::unsetenv("VARNOX_LANG");
        write("KV_LANG_EN.MSJ", "0005 All done\r\n0011 Yy,Nn\r\n");
        write("KV_LANG_DE.MSJ", "0005 Fertig\r\n");
        runtime_services() = RuntimeServices{};
        msg_install();
    }
    void TearDown() override {
        ::unsetenv("VARNOX_LANG");
        if (runtime_started()) runtime_stop(nullptr, 0);
        runtime_services() = RuntimeServices{};
    }
    void write(const char* name, const std::string& body) {
        std::ofstream(dir_.path() / name, std::ios::binary) << body;
    }
    // Starts the run-time with a command line: the language and the text of message 0005.
    std::pair<std::string, std::string> start(const char* line) {
        EXPECT_EQ(runtime_start(nullptr, str_from_cstr(line), str_empty(), str_empty(), 0, nullptr),
                  0);
        TmpScope scope;
        return {text(env_get(ENV_LANG)), text(msg_text_id(5))};
    }
    vx::test::ScratchDir dir_{"lang"};
};

}  // namespace

TEST_F(Language, TheKeyOrTheVariableChooseLanguageAndFile) {
    struct Case {
        const char* line;
        const char* variable;  // VARNOX_LANG, nullptr for none
        const char* lang;
        const char* done;  // message 0005
    } cases[] = {
        // Nothing asked: the first file of the folder (KV_LANG_DE.MSJ in byte order) serves
        // and the language is Spanish.
        {"prog", nullptr, "ES", "Fertig"},
        {"prog /LANG=en", nullptr, "EN", "All done"},
        {"prog --lang=ES", nullptr, "ES", "Proceso Completado Satisfactoriamente"},  // no ES file
        {"prog", "en_GB.UTF-8", "EN", "All done"},
        {"prog /LANG=es", "en", "ES", "Proceso Completado Satisfactoriamente"},  // the key wins
        {"prog /LANG=XX", nullptr, "ES", "Fertig"},                              // unknown
    };
    for (const Case& c : cases) {
        if (c.variable)
            ::setenv("VARNOX_LANG", c.variable, 1);
        else
            ::unsetenv("VARNOX_LANG");
        auto [lang, done] = start(c.line);
        EXPECT_EQ(lang, c.lang) << c.line;
        EXPECT_EQ(done, c.done) << c.line;
        runtime_stop(nullptr, 0);
    }
}

TEST_F(Language, TheShippedFileIsFoundBesideTheProgram) {
    std::filesystem::remove(dir_.path() / "KV_LANG_EN.MSJ");
    std::filesystem::remove(dir_.path() / "KV_LANG_DE.MSJ");
    auto [lang, done] = start("prog /LANG=EN");
    EXPECT_EQ(done, "Process completed successfully");
    TmpScope scope;
    std::string shared = text(path_shared());
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(shared) / "KV_LANG_EN.MSJ"))
        << shared;
}
