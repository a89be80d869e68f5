// The setup wizard under Xvfb: its pages in both languages, the disk lines,
// Back, Next and Cancel on every page, an installation with Cancel in the
// middle and one to the end with Finish, and the elevated hand-over.
#include "tests/installer/installer_env.h"
#include "tests/installer/wizard_support.h"

#include "common/install_text.h"
#include "satsetup/elevation.h"
#include "satsetup/install_state.h"
#include "satsetup/installation.h"
#include "satsetup/wizard.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!wizard_display())
            GTEST_FAIL() << "no display: run under xvfb-run";
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANG", "C.UTF-8", 1);
        setenv("LANGUAGE", "en", 1);
        // Never a real pkexec: an ordinary user's Next meets a refusing stand-in.
        setenv("SATCLOCK_ELEVATE", ("sh " + tests_file("service/elevate-stub") + " refuse").c_str(), 1);
    }
    void TearDown() override { close_wizard(); }
    void set_destination(const std::string& path)
    {
        gtk_entry_set_text(GTK_ENTRY(wizard.destination_field), path.c_str());
    }
    void require_root()
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "installs the service: needs root";
    }

    InstallerSandbox box;
};

TEST_F(Wizard, StepsThroughThePagesInEnglish)
{
    open_wizard();
    EXPECT_EQ(window_title(), "Satclock Setup - Welcome");
    EXPECT_EQ(label_text(wizard.welcome_heading), "Welcome to the setup wizard\n for Satclock 1.2.1");
    EXPECT_FALSE(gtk_widget_get_visible(wizard.back));
    EXPECT_EQ(button_text(wizard.next), "_Next>");
    EXPECT_EQ(button_text(wizard.cancel), "C_ancel");
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(wizard.language_list)), 0);

    gtk_button_clicked(GTK_BUTTON(wizard.next));
    EXPECT_EQ(window_title(), "Satclock Setup - License Agreement");
    EXPECT_TRUE(gtk_widget_get_visible(wizard.back));
    EXPECT_EQ(button_text(wizard.next), "I _Agree");
    GtkTextBuffer* licence = gtk_text_view_get_buffer(GTK_TEXT_VIEW(wizard.license_view));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(licence, &start, &end);
    gchar* text = gtk_text_buffer_get_text(licence, &start, &end, FALSE);
    EXPECT_STREQ(text, kLicenseAgreementText);
    g_free(text);
    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(wizard.license_view)));

    gtk_button_clicked(GTK_BUTTON(wizard.back));
    EXPECT_EQ(page_index, kWelcomePage);
    next_to(kDestinationPage);
    EXPECT_EQ(window_title(), "Satclock Setup - Select Destination Directory");
    EXPECT_EQ(button_text(wizard.next), "_Install");
    EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(wizard.destination_field)), std::string("/opt/Satclock"));
    EXPECT_TRUE(is_ticked(wizard.menu_folder_box));
    EXPECT_TRUE(is_ticked(wizard.desktop_icon_box));
    EXPECT_EQ(label_text(wizard.destination_hint),
              "To install in a different folder, click Browse and select another folder.\nTo restore an initial "
              "folder, click By default.\nClick Next to continue.");
    EXPECT_EQ(label_text(wizard.requirement_line), "Requirements to install program: 20 Mb.");

    // The disk line follows the field: the mount point of the nearest existing folder.
    set_destination(box.path("not/yet/there"));
    std::string line = label_text(wizard.free_space_line);
    EXPECT_TRUE(line.starts_with("Free space on a disk  /")) << line;
    EXPECT_TRUE(line.ends_with(" Kb.") || line.ends_with(" Mb.") || line.ends_with(" Gb.")) << line;
    set_destination("relative/path");
    EXPECT_EQ(label_text(wizard.free_space_line), line) << "an unknown disk keeps the lines";
    gtk_button_clicked(GTK_BUTTON(wizard.by_default));
    EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(wizard.destination_field)), std::string("/opt/Satclock"));
    gtk_button_clicked(GTK_BUTTON(wizard.back));
    EXPECT_EQ(page_index, kLicensePage);
}

TEST_F(Wizard, CancelAsksOnEveryPageBeforeTheInstallation)
{
    open_wizard();
    for (int page = kWelcomePage; page <= kDestinationPage; ++page) {
        next_to(page);
        std::string question;
        answer_next_message(GTK_RESPONSE_CANCEL, &question);
        gtk_button_clicked(GTK_BUTTON(wizard.cancel));
        EXPECT_EQ(question, "Setup is not complete.\nYou really want to exit Setup?");
        EXPECT_FALSE(wizard_closed());
        EXPECT_EQ(page_index, page);
    }
    answer_next_message(GTK_RESPONSE_OK);
    gtk_button_clicked(GTK_BUTTON(wizard.cancel));
    EXPECT_TRUE(wizard_closed());
    EXPECT_EQ(wizard_exit_code(), 0);
}

TEST_F(Wizard, ARunningSatclockHoldsTheInstallStep)
{
    fs::create_directories(box.path("proc/4242"));
    fs::create_symlink("/opt/Satclock/bin/satclock", box.path("proc/4242/exe"));
    open_wizard();
    next_to(kDestinationPage);
    set_destination(box.path("inst/Satclock"));
    std::vector<std::string> texts;
    answer_next_messages({GTK_RESPONSE_OK, GTK_RESPONSE_CANCEL}, &texts);
    gtk_button_clicked(GTK_BUTTON(wizard.next));
    ASSERT_EQ(texts.size(), 2u) << "OK looks again";
    EXPECT_EQ(texts[0], "Setup has detected that Satclock is currently running.\nPlease close all instances of it "
                        "now, then click OK to continue, or Cancel to exit.");
    EXPECT_EQ(page_index, kDestinationPage);
    EXPECT_TRUE(fs::is_empty(box.path("inst")));
}

TEST_F(Wizard, ARussianSpeakingLocaleStartsInRussianAndEnglishSwitchesEveryText)
{
    setenv("LANGUAGE", "uk", 1);
    open_wizard();
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(wizard.language_list)), 1);
    EXPECT_EQ(window_title(), "Установка Satclock - Добро пожаловать");
    EXPECT_EQ(button_text(wizard.next), "Да_лее>");
    EXPECT_EQ(label_text(wizard.language_label), "Язык");
    next_to(kDestinationPage);
    EXPECT_EQ(button_text(wizard.next), "_Установить");
    EXPECT_EQ(button_text(wizard.back), "<_Назад");
    EXPECT_TRUE(pump_until([] { return what_is_cut().empty(); })) << what_is_cut();
    EXPECT_TRUE(label_text(wizard.free_space_line).starts_with("Свободное место на диске  /"));
    EXPECT_NE(label_text(wizard.free_space_line).find(','), std::string::npos);
    EXPECT_EQ(label_text(wizard.requirement_line), "Требуется для установки программы: 20 Мб.");

    next_to(kWelcomePage);
    while (page_index > kWelcomePage)
        gtk_button_clicked(GTK_BUTTON(wizard.back));
    gtk_combo_box_set_active(GTK_COMBO_BOX(wizard.language_list), 0);
    EXPECT_EQ(window_title(), "Satclock Setup - Welcome");
    EXPECT_EQ(button_text(wizard.next), "_Next>");
    EXPECT_TRUE(label_text(wizard.free_space_line).starts_with("Free space on a disk  /"));
    EXPECT_EQ(label_text(wizard.finish_hint), "Click Finish to complete Setup.");
}

TEST_F(Wizard, DiskLinesChangeUnitAtTenOfTheSmallerOne)
{
    const struct {
        uint64_t bytes;
        const char* english;
    } cases[] = {
        {0, "Free space on a disk  /mnt: 0.00 Kb."},
        {10485759, "Free space on a disk  /mnt: 10240.00 Kb."},
        {10485760, "Free space on a disk  /mnt: 10.00 Mb."},
        {10737418239ull, "Free space on a disk  /mnt: 10240.00 Mb."},
        {10737418240ull, "Free space on a disk  /mnt: 10.00 Gb."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(free_space_text(c.bytes, "/mnt"), c.english);
    select_text_catalogue(true);
    EXPECT_EQ(free_space_text(10485760, "/mnt"), "Свободное место на диске  /mnt: 10,00 Мб.");
    select_text_catalogue(false);
}

TEST_F(Wizard, TheElevatedCopysCommandLinePresetsLanguageAndHandOverFile)
{
    open_wizard("admin_201 /tmp/hndov a b");
    EXPECT_EQ(language_index, 1);
    EXPECT_EQ(handover_file, "/tmp/hndov a b");
    EXPECT_EQ(window_title(), "Установка Satclock - Добро пожаловать");
}

// Cancel while the worker pauses before the shortcuts: the package, the
// service and the default settings are in place by then, and all go again.
TEST_F(Wizard, CancelInTheMiddleRollsBackToTheStateBefore)
{
    require_root();
    fs::create_directories(box.data_dir());
    write_file(box.data_dir() + "satclock.ini", "# mine\r\ncom_port=\"7\"\r\n");
    open_wizard();
    next_to(kDestinationPage);
    set_destination(box.path("inst/Satclock"));
    gtk_button_clicked(GTK_BUTTON(wizard.next));
    ASSERT_EQ(page_index, kInstallingPage);
    EXPECT_EQ(window_title(), "Satclock Setup - Installing");
    EXPECT_FALSE(gtk_widget_get_visible(wizard.next));
    EXPECT_FALSE(gtk_widget_get_visible(wizard.back));
    ASSERT_TRUE(pump_until([] { return label_text(wizard.status_line) == "Creating shortcuts..."; }, 20000));
    EXPECT_GT(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(wizard.progress)), 0.0);
    gtk_button_clicked(GTK_BUTTON(wizard.cancel));

    EXPECT_EQ(page_index, kFinishPage);
    EXPECT_EQ(install_result.load(), kInterrupted);
    EXPECT_EQ(label_text(wizard.finish_heading), "Install interrupt.");
    EXPECT_EQ(label_text(wizard.finish_result),
              "The wizard was interrupted before Satclock could be completely installed.");
    EXPECT_EQ(label_text(wizard.finish_hint), "To install Satclock at a later time, please run the installation again.");
    for (GtkWidget* finish_box : {wizard.keep_settings_box, wizard.autorun_box, wizard.launch_box})
        EXPECT_FALSE(gtk_widget_is_sensitive(finish_box));
    EXPECT_EQ(button_text(wizard.cancel), "Finish");

    EXPECT_FALSE(fs::exists(box.path("inst/Satclock")));
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), "# mine\r\ncom_port=\"7\"\r\n");
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
    EXPECT_FALSE(fs::exists(box.unit_file()));
    EXPECT_TRUE(fs::is_empty(box.path("programs")));
    EXPECT_TRUE(fs::is_empty(box.path("desktop")));

    gtk_button_clicked(GTK_BUTTON(wizard.cancel));
    EXPECT_TRUE(wizard_closed());
    EXPECT_EQ(wizard_exit_code(), 0);
    EXPECT_FALSE(fs::exists(box.path("config/autostart/satclock.desktop")));
}

// An elevated copy, Russian preselected, installs to the end; Finish with
// Launch ticked hands the program back and ends with 3.
TEST_F(Wizard, AnElevatedCopyInstallsAndHandsTheProgramBack)
{
    require_root();
    std::string handover = box.path("tmp/hndovTEST01");
    write_file(handover, "");
    fs::create_directories(box.data_dir());
    write_file(box.data_dir() + "satclock.ini", "# mine\r\ncom_port=\"7\"\r\nauto_run=\"FALSE\"\r\n");
    open_wizard("admin_201 " + handover);
    next_to(kDestinationPage);
    set_destination(box.path("inst/Satclock"));
    gtk_button_clicked(GTK_BUTTON(wizard.next));
    EXPECT_EQ(label_text(wizard.installing_text), "Идёт установка Satclock");
    ASSERT_TRUE(pump_until([] { return page_index == kFinishPage; }, 30000));
    EXPECT_EQ(install_result.load(), kInstalled);
    EXPECT_EQ(window_title(), "Установка Satclock - Установка завершена");
    EXPECT_EQ(label_text(wizard.finish_heading), "Копирование файлов\nзавершено.");
    EXPECT_EQ(label_text(wizard.finish_result), "Программа Satclock успешно установлена.");
    EXPECT_EQ(button_text(wizard.cancel), "Завершить");
    EXPECT_TRUE(pump_until([] { return what_is_cut().empty(); })) << what_is_cut();
    EXPECT_TRUE(gtk_widget_is_sensitive(wizard.keep_settings_box));
    EXPECT_TRUE(is_ticked(wizard.keep_settings_box)) << "earlier settings were backed up";
    EXPECT_TRUE(is_ticked(wizard.autorun_box));
    EXPECT_TRUE(is_ticked(wizard.launch_box));
    EXPECT_FALSE(gtk_widget_get_visible(wizard.back));
    EXPECT_FALSE(gtk_widget_get_visible(wizard.next));
    std::string help = read_file(box.path("programs/Satclock/Satclock Help.desktop"));
    EXPECT_NE(help.find("/share/help/ru/satclock.html"), std::string::npos) << help;
    EXPECT_NE(help.find("Comment=Помощь для Satclock 1.2.1"), std::string::npos) << help;

    gtk_button_clicked(GTK_BUTTON(wizard.cancel));
    EXPECT_TRUE(wizard_closed());
    EXPECT_EQ(wizard_exit_code(), 3);
    EXPECT_EQ(read_file(handover), box.install_dir() + "bin/satclock");
    // The earlier settings, with the defaults of the keys they lacked.
    std::string kept = read_file(box.data_dir() + "satclock.ini");
    EXPECT_TRUE(kept.starts_with("# mine\r\ncom_port=\"7\"\r\nauto_run=\"TRUE\" \r\n")) << kept;
    EXPECT_NE(kept.find("\r\nbaudrate=\"4800\"\r\n"), std::string::npos) << kept;
    EXPECT_TRUE(fs::exists(box.path("config/autostart/satclock.desktop")));
    EXPECT_TRUE(fs::exists(box.path("desktop/Satclock.desktop")));
}

// Install says why a destination is refused, and asks before it takes over an
// earlier installation's registrations; either way nothing is written yet.
TEST_F(Wizard, TheInstallStepSaysWhyADestinationIsRefusedAndAsksBeforeATakeOver)
{
    require_root();
    write_file(box.path("programs/satclock-uninstall.desktop"),
               "[Desktop Entry]\nX-Satclock-UninstallString=/opt/Old/uninstall\n");
    open_wizard();
    next_to(kDestinationPage);
    const struct {
        std::string destination;
        const char* says;
    } cases[] = {
        {"relative/Satclock", "the destination must be an absolute path"},
        {box.path("inst/Satclock"), "An earlier installation of Satclock in /opt/Old/ was found. This installation "
                                    "takes over its time service"},
    };
    for (const auto& c : cases) {
        set_destination(c.destination);
        std::string text;
        answer_next_message(GTK_RESPONSE_CANCEL, &text);
        gtk_button_clicked(GTK_BUTTON(wizard.next));
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_EQ(page_index, kDestinationPage);
    }
    EXPECT_TRUE(fs::is_empty(box.path("inst")));
    EXPECT_TRUE(fs::is_empty(box.path("appdata")));
}

// Without administrator rights the installation fails where it needs them:
// the finish page and the title say so, with the cause and the remedy, and
// Finish starts nothing.
TEST_F(Wizard, AFailedInstallationWithoutAdministratorRightsSaysWhyAndStartsNothing)
{
    require_root();
    fs::permissions(box.dir(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    open_wizard();
    next_to(kDestinationPage);
    set_destination(box.path("inst/Satclock"));
    ASSERT_EQ(seteuid(65534), 0);
    gtk_button_clicked(GTK_BUTTON(wizard.next));
    bool finished = pump_until([] { return page_index == kFinishPage; }, 30000);
    std::string result = label_text(wizard.finish_result);
    std::string title = window_title();
    ASSERT_EQ(seteuid(0), 0);
    ASSERT_TRUE(finished);
    EXPECT_EQ(install_result.load(), kFolderFailed);
    EXPECT_EQ(title, "Satclock Setup - Install not complete");
    EXPECT_EQ(label_text(wizard.finish_heading), "Install is not complete.");
    EXPECT_EQ(result, "Satclock was not completely installed.\nThe install folder or the data folder cannot be "
                      "created.\n" + box.path("inst/Satclock") + ": Permission denied\nSetup needs administrator "
                      "rights: start it again and give the administrator's password when asked.");
    EXPECT_FALSE(gtk_widget_is_sensitive(wizard.autorun_box));
    gtk_button_clicked(GTK_BUTTON(wizard.cancel));
    EXPECT_TRUE(wizard_closed());
    EXPECT_FALSE(fs::exists(box.path("config/autostart/satclock.desktop")));
    EXPECT_TRUE(fs::is_empty(box.path("inst")));
}

// The first copy's side: it waits for the elevated copy and, on exit code 3,
// starts the program named in the hand-over file, then deletes the file.
TEST_F(Wizard, TheFirstCopyStartsTheProgramHandedBack)
{
    std::string program = box.path("launched.sh");
    write_file(program, "#!/bin/sh\ntouch \"$0.started\"\n");
    fs::permissions(program, fs::perms::owner_all);
    // Stands in for pkexec and the elevated copy: writes the program into the
    // hand-over file (the last argument) and ends with 3.
    std::string elevated = box.path("elevated.sh");
    write_file(elevated, "#!/bin/sh\nfor last; do :; done\nprintf %s '" + program + "' >\"$last\"\nexit 3\n");
    fs::permissions(elevated, fs::perms::owner_all);
    setenv("SATCLOCK_ELEVATE", elevated.c_str(), 1);
    EXPECT_EQ(run_elevated_wizard(0), ElevatedRun::finished);
    EXPECT_TRUE(wait_until([&] { return fs::exists(program + ".started"); }));
    EXPECT_TRUE(fs::is_empty(box.path("tmp"))) << "the hand-over file is deleted";

    setenv("SATCLOCK_ELEVATE", ("sh " + tests_file("service/elevate-stub") + " decline").c_str(), 1);
    EXPECT_EQ(run_elevated_wizard(0), ElevatedRun::declined);
    setenv("SATCLOCK_ELEVATE", ("sh " + tests_file("service/elevate-stub") + " refuse").c_str(), 1);
    EXPECT_EQ(run_elevated_wizard(0), ElevatedRun::failed);
}

}  // namespace
