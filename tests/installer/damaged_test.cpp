// An installer whose package archive is damaged: the extraction fails, the
// installation ends with -9 and the wizard shows its failure page with the
// cause; the earlier settings come back, and Finish starts nothing.
#include "tests/installer/installer_env.h"
#include "tests/installer/wizard_support.h"

#include "satsetup/install_state.h"
#include "satsetup/wizard.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(DamagedPackage, FailsWithMinus9AndTheFailurePage)
{
    ASSERT_TRUE(wizard_display()) << "no display: run under xvfb-run";
    InstallerSandbox box;
    setenv("LANGUAGE", "en", 1);
    setenv("SATCLOCK_ELEVATE", ("sh " + tests_file("service/elevate-stub") + " refuse").c_str(), 1);
    fs::create_directories(box.data_dir());
    write_file(box.data_dir() + "satclock.ini", "# mine\r\ncom_port=\"7\"\r\n");
    open_wizard();
    next_to(kDestinationPage);
    gtk_entry_set_text(GTK_ENTRY(wizard.destination_field), box.path("inst/Satclock").c_str());
    gtk_button_clicked(GTK_BUTTON(wizard.next));
    ASSERT_TRUE(pump_until([] { return page_index == kFinishPage; }, 30000));
    EXPECT_EQ(install_result.load(), kUnpackFailed);
    EXPECT_EQ(window_title(), "Satclock Setup - Install not complete");
    EXPECT_EQ(label_text(wizard.finish_heading), "Install is not complete.");
    EXPECT_EQ(label_text(wizard.finish_result),
              "Satclock was not completely installed.\nThe package could not be unpacked.");
    EXPECT_EQ(label_text(wizard.finish_hint), "Click Finish to exit Setup.");
    // Nothing was installed that could start now or at login.
    for (GtkWidget* finish_box : {wizard.keep_settings_box, wizard.autorun_box, wizard.launch_box}) {
        EXPECT_FALSE(gtk_widget_is_sensitive(finish_box));
        EXPECT_FALSE(is_ticked(finish_box));
    }
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), "# mine\r\ncom_port=\"7\"\r\n");
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
    gtk_button_clicked(GTK_BUTTON(wizard.cancel));
    EXPECT_EQ(wizard_exit_code(), 0);
    EXPECT_FALSE(fs::exists(box.path("config/autostart/satclock.desktop")));
}

}  // namespace
