// The message template holds every text the program shows, and the Russian
// catalogue translates every one of them (nothing untranslated or fuzzy).
#include "tests/support/test_env.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

struct Output {
    int status;
    std::string text;
};

Output run(const std::string& command)
{
    Output out{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 512> chunk;
    while (size_t n = fread(chunk.data(), 1, chunk.size(), pipe))
        out.text.append(chunk.data(), n);
    out.status = pclose(pipe);
    return out;
}

std::string shell_quoted(const std::string& path) { return "'" + path + "'"; }

class Catalogues : public testing::Test {
protected:
    std::string po(const std::string& name) const { return sources() + "/po/" + name; }
    static std::string sources() { return SATCLOCK_TEST_SOURCE_DIR; }
    TestSandbox sandbox;
};

TEST_F(Catalogues, TemplateMatchesTheTextsOfTheSources)
{
    std::string fresh = sandbox.path("fresh.pot");
    Output extract = run("sh " + shell_quoted(po("extract.sh")) + " " + shell_quoted(sources()) + " " + shell_quoted(fresh));
    ASSERT_EQ(0, extract.status) << extract.text;
    // Each direction: a text missing from the template, and a stale one left in it.
    Output missing = run("msgcmp --use-untranslated " + shell_quoted(po("satclock.pot")) + " " + shell_quoted(fresh));
    EXPECT_EQ(0, missing.status) << "texts missing from po/satclock.pot (run the target satclock_pot):\n"
                                 << missing.text;
    Output stale = run("msgcmp --use-untranslated " + shell_quoted(fresh) + " " + shell_quoted(po("satclock.pot")));
    EXPECT_EQ(0, stale.status) << "texts in po/satclock.pot no longer in the sources:\n" << stale.text;
}

TEST_F(Catalogues, RussianTranslatesEveryTextOfTheTemplate)
{
    Output compare = run("msgcmp " + shell_quoted(po("ru.po")) + " " + shell_quoted(po("satclock.pot")));
    EXPECT_EQ(0, compare.status) << compare.text;
    Output stats = run("msgfmt --check --statistics -o /dev/null " + shell_quoted(po("ru.po")));
    EXPECT_EQ(0, stats.status) << stats.text;
    EXPECT_EQ(std::string::npos, stats.text.find("untranslated")) << stats.text;
    EXPECT_EQ(std::string::npos, stats.text.find("fuzzy")) << stats.text;
}

TEST_F(Catalogues, RussianHeaderNamesTheTranslatorAndUtf8)
{
    std::string header = run("msgfmt --check -o /dev/null " + shell_quoted(po("ru.po"))).text;
    EXPECT_TRUE(header.empty()) << header;
    FILE* file = fopen(po("ru.po").c_str(), "r");
    ASSERT_NE(nullptr, file);
    std::string text;
    std::array<char, 4096> chunk;
    while (size_t n = fread(chunk.data(), 1, chunk.size(), file))
        text.append(chunk.data(), n);
    fclose(file);
    EXPECT_NE(std::string::npos, text.find("\"Last-Translator: "));
    EXPECT_NE(std::string::npos, text.find("charset=UTF-8"));
}

}  // namespace
