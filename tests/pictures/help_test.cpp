// The help pages in the build tree: readable UTF-8 pages whose pictures and
// in-page links all resolve, with nothing fetched from outside the page folder.
#include "tests/support/test_env.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

constexpr const char* kLanguages[] = {"en", "ru"};

std::string help_folder(const std::string& lang)
{
    return build_dir() + "/share/help/" + lang;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> attribute_values(const std::string& html, const std::string& attribute)
{
    const std::regex pattern("\\s" + attribute + "=\"([^\"]*)\"", std::regex::icase);
    std::set<std::string> values;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), pattern);
         it != std::sregex_iterator(); ++it)
        values.insert((*it)[1].str());
    return values;
}

bool is_file(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

TEST(help, PagesAreUtf8WithTheirLanguageDeclared)
{
    for (const char* lang : kLanguages) {
        SCOPED_TRACE(lang);
        const std::string html = read_file(help_folder(lang) + "/satclock.html");
        ASSERT_FALSE(html.empty());
        EXPECT_TRUE(g_utf8_validate(html.data(), static_cast<gssize>(html.size()), nullptr));
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_NE(html.find(std::string("<html lang=\"") + lang + "\">"), std::string::npos);
    }
}

TEST(help, PicturesResolveInsideThePageFolder)
{
    for (const char* lang : kLanguages) {
        SCOPED_TRACE(lang);
        const std::string html = read_file(help_folder(lang) + "/satclock.html");
        const std::set<std::string> sources = attribute_values(html, "src");
        EXPECT_FALSE(sources.empty());
        for (const std::string& src : sources) {
            SCOPED_TRACE(src);
            EXPECT_EQ(src.find(':'), std::string::npos);
            EXPECT_EQ(src.find(".."), std::string::npos);
            EXPECT_NE(src.front(), '/');
            EXPECT_TRUE(is_file(help_folder(lang) + "/" + src));
        }
    }
}

TEST(help, InPageLinksReachTheirSections)
{
    for (const char* lang : kLanguages) {
        SCOPED_TRACE(lang);
        const std::string html = read_file(help_folder(lang) + "/satclock.html");
        const std::set<std::string> ids = attribute_values(html, "id");
        for (const std::string& href : attribute_values(html, "href")) {
            if (href.empty() || href.front() != '#')
                continue;
            EXPECT_TRUE(ids.count(href.substr(1))) << href;
        }
    }
}

TEST(help, NoScriptsAndNoOutsideResources)
{
    for (const char* lang : kLanguages) {
        SCOPED_TRACE(lang);
        const std::string html = read_file(help_folder(lang) + "/satclock.html");
        EXPECT_EQ(html.find("<script"), std::string::npos);
        EXPECT_EQ(html.find("<link"), std::string::npos);
        EXPECT_EQ(html.find("@import"), std::string::npos);
        EXPECT_EQ(html.find("url("), std::string::npos);
    }
}

// Both languages carry the same sections, so a link into one works in the other.
TEST(help, BothLanguagesHaveTheSameSections)
{
    const std::set<std::string> en = attribute_values(read_file(help_folder("en") + "/satclock.html"), "id");
    const std::set<std::string> ru = attribute_values(read_file(help_folder("ru") + "/satclock.html"), "id");
    EXPECT_FALSE(en.empty());
    EXPECT_EQ(en, ru);
}

} // namespace
