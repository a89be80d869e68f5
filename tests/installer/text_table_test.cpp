// The English/Russian text table: lookups and the completeness of the table.
#include "common/install_text.h"

#include <cstring>
#include <glib.h>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

class TextTable : public ::testing::Test {
protected:
    void TearDown() override { select_text_catalogue(false); }
};

TEST_F(TextTable, EnglishGivesTheKeyItself)
{
    select_text_catalogue(false);
    const char* key = "Finish";
    EXPECT_EQ(translate_text(key), key);
    EXPECT_EQ(text_catalogue_entries(), 0u);
}

TEST_F(TextTable, RussianGivesThePartnerOfAnExactKeyOnly)
{
    select_text_catalogue(true);
    EXPECT_STREQ(translate_text("&Next>"), "Да&лее>");
    EXPECT_STREQ(translate_text("Install complete."), "Копирование файлов\r\nзавершено.");
    EXPECT_STREQ(translate_text("Satclock %s Help"), "Помощь для Satclock %s");
    EXPECT_STRNE(translate_text(kLicenseAgreementText), kLicenseAgreementText);
    // Case and a trailing blank make another key.
    EXPECT_STREQ(translate_text("finish"), "finish");
    EXPECT_STREQ(translate_text("Free space on a disk"), "Free space on a disk");
    EXPECT_STREQ(translate_text("Free space on a disk "), "Свободное место на диске ");
    EXPECT_EQ(text_catalogue_entries(), 2 * russian_text_table().size());
}

// Every key once, every Russian text valid UTF-8 and different from its key,
// every %s kept.
TEST_F(TextTable, RowsAreUniqueTranslatedAndKeepTheirDirectives)
{
    std::set<std::string> keys;
    for (const TextPair& pair : russian_text_table()) {
        EXPECT_TRUE(keys.insert(pair.english).second) << "twice: " << pair.english;
        EXPECT_STRNE(pair.english, pair.russian);
        EXPECT_TRUE(g_utf8_validate(pair.russian, -1, nullptr)) << pair.english;
        EXPECT_EQ(std::string(pair.english).find("%s") != std::string::npos,
                  std::string(pair.russian).find("%s") != std::string::npos)
            << pair.english;
    }
}

}  // namespace
