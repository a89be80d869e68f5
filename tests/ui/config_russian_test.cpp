// The bad-data line of the NMEA view in Russian: the three plural forms of
// "byte", in a UTF-8 locale where an invalid sequence is bad data.
#include "src/ui/app.h"
#include "src/ui/nmea_view.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(RussianNmeaView, BadDataLineTakesThePluralFormOfTheCount)
{
    app_set_working_directory();  // the catalogues lie beside the bin folder
    app_choose_language();
    const std::pair<int, const char*> cases[] = {
        {1, "байт"}, {2, "байта"}, {4, "байта"}, {5, "байт"}, {11, "байт"}, {21, "байт"}, {22, "байта"}, {300, "байт"},
    };
    for (const auto& [count, word] : cases) {
        std::string bytes(size_t(count), '\xff');
        gchar* text = nmea_view_text(reinterpret_cast<const uint8_t*>(bytes.data()), count);
        EXPECT_EQ("приняты неверные данные " + std::to_string(count) + " " + word + " (нужно сменить скорость)\n",
                  std::string(text));
        g_free(text);
    }
    gchar* valid = nmea_view_text(reinterpret_cast<const uint8_t*>("\xd0\xb9"), 2);
    EXPECT_STREQ("\xd0\xb9", valid) << "valid UTF-8 is text";
    g_free(valid);
}

}  // namespace
