// The language rule that picks the help file.
#include "src/ui/app.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Language, RussianSpeakingLanguagesGetTheRussianHelp)
{
    const char* const russian[] = {"ru", "uk", "be", "lt", "kk", "ky", "uz"};
    const char* const english[] = {"en", "pl", "de", "C", "", "rus", "r", "RU"};
    for (const char* language : russian)
        EXPECT_STREQ("../share/help/ru/satclock.html", help_file_for_language(language)) << language;
    for (const char* language : english)
        EXPECT_STREQ("../share/help/en/satclock.html", help_file_for_language(language)) << language;
}

// Sets the four variables for one case and puts the old values back.
class LocaleEnv {
public:
    LocaleEnv(const char* language, const char* all, const char* messages, const char* lang)
    {
        const char* values[] = {language, all, messages, lang};
        for (int i = 0; i < 4; ++i) {
            const char* old = std::getenv(names[i]);
            saved_[i] = old ? old : "";
            had_[i] = old != nullptr;
            if (values[i])
                setenv(names[i], values[i], 1);
            else
                unsetenv(names[i]);
        }
    }
    ~LocaleEnv()
    {
        for (int i = 0; i < 4; ++i) {
            if (had_[i])
                setenv(names[i], saved_[i].c_str(), 1);
            else
                unsetenv(names[i]);
        }
    }

private:
    static constexpr const char* names[4] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::string saved_[4];
    bool had_[4] = {};
};

TEST(Language, MessageLanguageComesFromTheFirstVariableSet)
{
    struct Case {
        const char *language, *all, *messages, *lang, *expected;
    } const cases[] = {
        {"ru:en", "en_US.UTF-8", nullptr, nullptr, "ru"},
        {"", "uk_UA.UTF-8", "en_GB.UTF-8", nullptr, "uk"},
        {nullptr, nullptr, "be_BY@latin", "en_US.UTF-8", "be"},
        {nullptr, nullptr, nullptr, "kk_KZ.UTF-8", "kk"},
        {nullptr, nullptr, nullptr, "C.UTF-8", "C"},
        {"de", nullptr, nullptr, "ru_RU.UTF-8", "de"},
        {nullptr, nullptr, nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        LocaleEnv env(c.language, c.all, c.messages, c.lang);
        gchar* language = app_message_language();
        EXPECT_STREQ(c.expected, language);
        g_free(language);
    }
}

}  // namespace
