// The uninstaller's window under Xvfb, in the language of the test's
// environment (the suite runs once in English and once in Russian): its
// texts, Cancel, the running-program prompt, a run without a list, and the
// elevated copy's removal of an installation in a temporary root.
#include <gtest/gtest.h>

#include "common/locale_language.h"
#include "platform/process.h"
#include "tests/support/gtk_display.h"
#include "tests/support/test_env.h"
#include "tests/uninstall/installed_tree.h"
#include "uninstall/uninstall_texts.h"
#include "uninstall/uninstall_window.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <fstream>
#include <gtk/gtk.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class GtkEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        if (GTEST_FLAG_GET(list_tests))
            return;
        if (!open_gtk_display()) {
            std::fprintf(stderr, "cannot open the X display: run the GUI tests under xvfb-run\n");
            std::exit(1);
        }
        select_catalogue();
    }
};

const auto* gtk_environment = testing::AddGlobalTestEnvironment(new GtkEnvironment);

bool russian() { return locale_is_russian_speaking(); }
std::string text(const std::string& english, const std::string& russian_text)
{
    return russian() ? russian_text : english;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct SeenMessage {
    std::string title, text;
    GtkMessageType type;
};

// Answers each message box as it comes up, in order, and records it. An
// answer may first change the world (end the running program).
class MessageAnswers {
public:
    struct Answer {
        int response;
        std::function<void()> before = {};
    };
    MessageAnswers(std::initializer_list<Answer> answers) : answers_(answers)
    {
        source_ = g_timeout_add(20, poll, this);
    }
    ~MessageAnswers() { g_source_remove(source_); }
    MessageAnswers(const MessageAnswers&) = delete;
    MessageAnswers& operator=(const MessageAnswers&) = delete;
    const std::vector<SeenMessage>& seen() const { return seen_; }

private:
    static gboolean poll(gpointer self_pointer)
    {
        auto* self = static_cast<MessageAnswers*>(self_pointer);
        GList* windows = gtk_window_list_toplevels();
        for (GList* item = windows; item; item = item->next) {
            GtkWidget* widget = GTK_WIDGET(item->data);
            if (!GTK_IS_MESSAGE_DIALOG(widget) || !GTK_WIDGET_VISIBLE(widget) || self->answers_.empty())
                continue;
            gchar* message = nullptr;
            GtkMessageType type = GTK_MESSAGE_OTHER;
            g_object_get(widget, "text", &message, "message-type", &type, nullptr);
            self->seen_.push_back({gtk_window_get_title(GTK_WINDOW(widget)), message ? message : "", type});
            g_free(message);
            Answer answer = self->answers_.front();
            self->answers_.pop_front();
            if (answer.before)
                answer.before();
            gtk_dialog_response(GTK_DIALOG(widget), answer.response);
            break;
        }
        g_list_free(windows);
        return TRUE;
    }

    std::deque<Answer> answers_;
    std::vector<SeenMessage> seen_;
    guint source_ = 0;
};

// The fixture's name tells the language of the run in the test list.
#ifndef UNINSTALL_WINDOW_FIXTURE
#define UNINSTALL_WINDOW_FIXTURE UninstallWindowTest
#endif
class UNINSTALL_WINDOW_FIXTURE : public ::testing::Test {
protected:
    void SetUp() override { point_seams_into(sandbox); }
    void TearDown() override
    {
        if (uninstall_window().window)
            gtk_widget_destroy(uninstall_window().window);
    }

    std::string caption() const { return text("Uninstall Satclock 1.2.1", "Удаление Satclock 1.2.1"); }
    std::string not_complete() const
    {
        return text("The program is not removed completely!", "Программа удалена не полностью!");
    }

    TestSandbox sandbox;
};

TEST_F(UNINSTALL_WINDOW_FIXTURE, ShowsTheDesignedTitleTextsAndButtons)
{
    create_uninstall_window(sandbox.path("root/opt/Satclock/uninstall"), false);
    const UninstallWindow& w = uninstall_window();
    ASSERT_TRUE(pump_until([&] { return GTK_WIDGET_VISIBLE(w.window); }));
    EXPECT_EQ(caption(), gtk_window_get_title(GTK_WINDOW(w.window)));
    EXPECT_EQ(text("Now Satclock 1.2.1 will be removed from your computer.",
                   "Сейчас программа Satclock 1.2.1 будет удалена с вашего компьютера."),
              gtk_label_get_text(GTK_LABEL(w.text_1001)));
    EXPECT_EQ(text("Click Next if you wish to completely remove Satclock.\n\nClick Cancel if you want to quit "
                   "Uninstall.",
                   "Если Вы действительно хотите деинсталлировать приложение, нажмите кнопку \"Далее\".\n\nДля "
                   "выхода из этой программы нажмите кнопку \"Отмена\"."),
              gtk_label_get_text(GTK_LABEL(w.text_1002)));
    EXPECT_EQ(text("_Next>", "Да_лее>"), gtk_button_get_label(GTK_BUTTON(w.next)));
    EXPECT_EQ(text("C_ancel", "Отмена"), gtk_button_get_label(GTK_BUTTON(w.cancel)));
    EXPECT_NE(nullptr, gtk_button_get_image(GTK_BUTTON(w.next)));
    EXPECT_TRUE(GTK_WIDGET_HAS_DEFAULT(w.next));
}

TEST_F(UNINSTALL_WINDOW_FIXTURE, CancelLeavesAndRemovesNothing)
{
    InstalledTree tree = install_into(sandbox);
    create_uninstall_window(tree.uninstaller, false);
    gtk_button_clicked(GTK_BUTTON(uninstall_window().cancel));
    EXPECT_EQ(nullptr, uninstall_window().window);
    EXPECT_TRUE(exists(tree.list));
    EXPECT_TRUE(exists(tree.unit_file));
}

TEST_F(UNINSTALL_WINDOW_FIXTURE, ThePromptRepeatsWhileSatclockRunsThenARunWithoutListChangesNothing)
{
    std::string program = sandbox.path("root/opt/Satclock/uninstall");
    fs::create_directories(sandbox.path("root/opt/Satclock"));
    pretend_satclock_running(sandbox, true);
    create_uninstall_window(program, false);
    MessageAnswers answers{{GTK_RESPONSE_OK},
                           {GTK_RESPONSE_OK, [&] { pretend_satclock_running(sandbox, false); }},
                           {GTK_RESPONSE_OK},
                           {GTK_RESPONSE_OK}};
    gtk_button_clicked(GTK_BUTTON(uninstall_window().next));

    std::string running = text("There is a running copy of Satclock.\nPlease close all instances of it now, then "
                               "click OK to continue, or Cancel to exit.",
                               "Обнаружена запущенная программа Satclock,\nзакройте запущенную программу и нажмите OK");
    std::string list = sandbox.path("root/opt/Satclock/uninstall.txt");
    std::string cannot_open = text("Can not open file " + list,
                                   "Не найден файл " + list + "\nс информацией для удаления.");
    ASSERT_EQ(4u, answers.seen().size());
    for (const SeenMessage& message : answers.seen())
        EXPECT_EQ(caption(), message.title);
    EXPECT_EQ(running, answers.seen()[0].text);
    EXPECT_EQ(running, answers.seen()[1].text);
    EXPECT_EQ(cannot_open, answers.seen()[2].text);
    EXPECT_EQ(GTK_MESSAGE_ERROR, answers.seen()[2].type);
    EXPECT_EQ(not_complete(), answers.seen()[3].text);
    EXPECT_EQ(GTK_MESSAGE_WARNING, answers.seen()[3].type);
    EXPECT_EQ(nullptr, uninstall_window().window);
    EXPECT_TRUE(files_under(sandbox.path("tmp")).empty()) << "no self-deleting script";
    EXPECT_FALSE(exists(sandbox.path("systemctl/calls"))) << "the service was not asked";
}

TEST_F(UNINSTALL_WINDOW_FIXTURE, CancelAtThePromptKeepsTheWindowOpen)
{
    InstalledTree tree = install_into(sandbox);
    pretend_satclock_running(sandbox, true);
    create_uninstall_window(tree.uninstaller, false);
    MessageAnswers answers{{GTK_RESPONSE_CANCEL}};
    gtk_button_clicked(GTK_BUTTON(uninstall_window().next));
    EXPECT_EQ(1u, answers.seen().size());
    ASSERT_NE(nullptr, uninstall_window().window);
    EXPECT_TRUE(GTK_WIDGET_VISIBLE(uninstall_window().window));
    EXPECT_TRUE(exists(tree.list));
}

TEST_F(UNINSTALL_WINDOW_FIXTURE, TheElevatedCopyRemovesAtOnceAndReportsTheRemovalComplete)
{
    InstalledTree tree = install_into(sandbox);
    MessageAnswers answers{{GTK_RESPONSE_OK}};
    create_uninstall_window(tree.uninstaller, true);
    ASSERT_TRUE(pump_until([] { return uninstall_window().window == nullptr; }, 20000));
    ASSERT_EQ(1u, answers.seen().size());
    EXPECT_EQ(text("The program is removed completely!", "Программа полностью удалена!"), answers.seen()[0].text);
    EXPECT_EQ(GTK_MESSAGE_INFO, answers.seen()[0].type);
    // Left for the script, which acts once this process has ended: the
    // uninstaller and its folder. The data folder keeps the settings.
    EXPECT_EQ(std::vector<std::string>{"uninstall"}, files_under(tree.install_dir));
    EXPECT_EQ(std::vector<std::string>{"satclock.ini"}, files_under(tree.data_dir));
    for (const std::string& path : tree.autostart_entries)
        EXPECT_FALSE(exists(path)) << path;
    EXPECT_FALSE(exists(tree.menu_folder));
    EXPECT_FALSE(exists(tree.desktop_entry));
    EXPECT_FALSE(exists(tree.uninstall_entry));
    EXPECT_FALSE(exists(tree.program_link));
    EXPECT_FALSE(exists(tree.unit_file));
}

// An ordinary user's Next starts the elevated copy with "admin_20" and waits
// for it hidden: when it ran, this window closes; when the user dismissed the
// prompt, the window comes back.
TEST_F(UNINSTALL_WINDOW_FIXTURE, AnOrdinaryUsersNextWaitsHiddenForTheElevatedCopy)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as an ordinary user";
    fs::permissions(sandbox.dir(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(sandbox.path("tmp"), fs::perms::all | fs::perms::sticky_bit);
    std::string recorder = source_dir() + "/tests/uninstall/elevation-recorder";
    if (process_run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "test", "-r", recorder}) != 0)
        GTEST_SKIP() << "nobody cannot read " << recorder;
    // Had the stand-in failed, the removal would go on unelevated: its
    // messages are answered rather than left to block the test.
    MessageAnswers unexpected{{GTK_RESPONSE_OK}, {GTK_RESPONSE_OK}, {GTK_RESPONSE_OK}};
    std::string program = sandbox.path("root/opt/Satclock/uninstall");
    std::string log = sandbox.path("tmp/elevation.log");
    setenv("SATCLOCK_ELEVATE", ("sh " + recorder).c_str(), 1);
    setenv("ELEVATION_RECORDER_LOG", log.c_str(), 1);
    for (int exit_code : {0, 126}) {
        setenv("ELEVATION_RECORDER_EXIT", std::to_string(exit_code).c_str(), 1);
        fs::remove(log);
        create_uninstall_window(program, false);
        ASSERT_EQ(0, seteuid(65534));
        gtk_button_clicked(GTK_BUTTON(uninstall_window().next));
        ASSERT_EQ(0, seteuid(0));
        EXPECT_FALSE(GTK_WIDGET_VISIBLE(uninstall_window().window)) << exit_code;
        bool back = exit_code == 126;
        EXPECT_TRUE(pump_until([&] {
            return back ? GTK_WIDGET_VISIBLE(uninstall_window().window) : uninstall_window().window == nullptr;
        })) << exit_code;
        // pkexec is asked to run the uninstaller itself, with the display and
        // language words and its command line: no test setting goes along.
        std::string command = read_file(log);
        EXPECT_TRUE(command.starts_with(program + " --env=")) << command;
        EXPECT_TRUE(command.ends_with(" admin_20\n")) << command;
        EXPECT_EQ(std::string::npos, command.find("SATCLOCK_")) << command;
        if (uninstall_window().window)
            gtk_widget_destroy(uninstall_window().window);
    }
    unsetenv("SATCLOCK_ELEVATE");
    EXPECT_TRUE(unexpected.seen().empty());
}

}  // namespace
