// With LANGUAGE=ru (run with LANG=C.UTF-8) the window speaks Russian and the
// Russian help file is chosen.
#include "src/ui/about_page.h"
#include "src/ui/app.h"
#include "src/ui/info_page.h"
#include "src/ui/main_window.h"
#include "src/ui/pixtex.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// Set before GTK and gettext start, as the user's session would.
const bool russian_session = [] {
    setenv("LANG", "C.UTF-8", 1);
    setenv("LANGUAGE", "ru", 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    return true;
}();

class RussianWindowTest : public testing::Test {
protected:
    void SetUp() override { build_main_window(); }
    void TearDown() override { destroy_main_window(); }
    TestSandbox sandbox;
};

// The longest lines the info page shows at once still fit a 1024-pixel screen.
TEST_F(RussianWindowTest, WindowWithItsLongestLinesFitsA1024PixelScreen)
{
    const char* const longest = "Не удаётся открыть COM12 (/dev/serial/by-id/usb-u-blox_AG_-_www.u-blox.com_u-blox_7"
                                "_-_GPS_GNSS_Receiver-if00): доступ запрещён. Вступите в его группу dialout: sudo "
                                "usermod -aG dialout $USER, затем выйдите из системы и войдите снова.\nСлужба времени "
                                "clockkeeper не запущена: часы не будут установлены.";
    for (GtkWidget* label : {info_widgets.status, info_widgets.result, info_widgets.offset}) {
        gtk_label_set_text(GTK_LABEL(label), longest);
        gtk_widget_show(label);
    }
    GtkRequisition natural{};
    gtk_widget_size_request(main_window, &natural);
    EXPECT_LE(natural.width, 1024);
    std::printf("natural width of the Russian main window: %d pixels\n", natural.width);
}

TEST_F(RussianWindowTest, EveryStateFitsA1024x768ScreenWithNothingCut)
{
    for (const std::string& problem : window_fit_problems())
        ADD_FAILURE() << problem;
}

TEST_F(RussianWindowTest, MenusTabsAndButtonsAreTranslated)
{
    const char* const options[] = {" GPS инфо  ", " Настройка GPS  ", " Параметры  ", " О программе  "};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(options[i], menu_item_text(menu_items(0).at(i)));
    EXPECT_EQ(" Выход  ", menu_item_text(menu_items(0).at(5)));
    EXPECT_EQ(" Содержание  ", menu_item_text(menu_items(1).at(0)));
    EXPECT_EQ(" Сайт Satclock  ", menu_item_text(menu_items(1).at(2)));

    GtkNotebook* notebook = GTK_NOTEBOOK(main_notebook);
    GtkWidget* tab = gtk_notebook_get_tab_label(notebook, gtk_notebook_get_nth_page(notebook, 3));
    EXPECT_STREQ("О программе", gtk_label_get_text(GTK_LABEL(MYGTK_PIXTEX(tab)->label)));

    std::vector<std::string> buttons;
    for (GtkWidget* button : find_widgets(main_window, GTK_TYPE_BUTTON))
        for (GtkWidget* pixtex : find_widgets(button, MYGTK_TYPE_PIXTEX))
            buttons.push_back(gtk_label_get_text(GTK_LABEL(MYGTK_PIXTEX(pixtex)->label)));
    EXPECT_EQ((std::vector<std::string>{"Подвести часы ПК сейчас!", "Справка", "Закрыть"}), buttons);
}

TEST_F(RussianWindowTest, InfoPageSpeaksAsTheHelpPageDoes)
{
    // Missing settings: auto update with the "On Startup" interval.
    for (int tick = 0; tick < 10; ++tick)
        info_refresh_tick(nullptr);
    EXPECT_STREQ("Последняя коррекция: Никогда", gtk_label_get_label(GTK_LABEL(info_widgets.last_update)));
    EXPECT_STREQ("Следующая коррекция: При следующем запуске", gtk_label_get_label(GTK_LABEL(info_widgets.next_update)));
    gchar* interval = gtk_combo_box_get_active_text(GTK_COMBO_BOX(info_widgets.schedule));
    EXPECT_STREQ("При запуске", interval);
    g_free(interval);
    gps_info_tick(nullptr);
    EXPECT_STREQ("Режим GPS: <span foreground=\"red\" weight=\"bold\">Нет сигнала GPS</span>",
                 gtk_label_get_label(GTK_LABEL(info_widgets.mode)));
}

TEST_F(RussianWindowTest, AboutPageCreditsTheTranslatorOfTheCatalogue)
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(about_text_view));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    EXPECT_NE(nullptr, std::strstr(text, "\n Эл. почта: satclock@example.org\n\n Перевод:   Satclock team "
                                         "<satclock@example.org>\n\n Разработано с использованием библиотеки GTK+ v."))
        << text;
    g_free(text);
}

TEST_F(RussianWindowTest, RussianHelpFileIsChosen)
{
    EXPECT_STREQ("../share/help/ru/satclock.html", help_file_path);
}

}  // namespace
