// The Installing page: the worker thread, its status lines and progress posted
// to the UI thread, Cancel with the rollback; the finish page and Finish.
#include "common/install_text.h"
#include "platform/user_accounts.h"
#include "satsetup/install_state.h"
#include "satsetup/installation.h"
#include "satsetup/wizard.h"

#include <thread>

namespace {

constexpr int kProgressTickMs = 75;

std::thread worker;
void (*installation_finished)() = nullptr;  // shows the finish page
guint progress_timer = 0;
bool worker_running = false;  // UI thread only

void stop_progress_timer()
{
    if (progress_timer)
        g_source_remove(progress_timer);
    progress_timer = 0;
}

// Every tick adds one percent: the bar fills in about 7.5 s whatever the real progress.
gboolean on_progress_tick(gpointer)
{
    if (!wizard.progress) {
        progress_timer = 0;
        return FALSE;
    }
    int position = int(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(wizard.progress)) * 100 + 0.5) + 1;
    bool keep = position >= 0 && position <= 100;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(wizard.progress), std::min(position, 100) / 100.0);
    if (!keep)
        progress_timer = 0;
    return keep;
}

// Work the worker hands to the UI thread; dropped once a cancel began.
gboolean on_status(gpointer data)
{
    char* text = static_cast<char*>(data);
    if (worker_running && !install_cancel_requested() && wizard.status_line)
        gtk_label_set_text(GTK_LABEL(wizard.status_line), text);
    g_free(text);
    return FALSE;
}

gboolean on_almost_done(gpointer)
{
    if (worker_running && !install_cancel_requested() && wizard.progress)
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(wizard.progress), 0.98);
    return FALSE;
}

gboolean on_worker_done(gpointer)
{
    if (!worker_running || install_cancel_requested())
        return FALSE;
    worker.join();
    worker_running = false;
    stop_progress_timer();
    if (install_result.load() < 0)
        recover_settings_after_failure();
    installation_finished();
    return FALSE;
}

void installation_worker()
{
    InstallStatusSink status = [](const char* text) { g_idle_add(on_status, g_strdup(text)); };
    install_result.store(run_installation(status));
    g_idle_add(on_almost_done, nullptr);
    install_pause_ms(1000);
    g_idle_add(on_worker_done, nullptr);
}

bool box_counts(GtkWidget* box)
{
    return gtk_widget_is_sensitive(box) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(box));
}

void disable_box(GtkWidget* box)
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(box), FALSE);
    gtk_widget_set_sensitive(box, FALSE);
}

}  // namespace

void start_installation(void (*finished)())
{
    installation_finished = finished;
    form_install_paths(gtk_entry_get_text(GTK_ENTRY(wizard.destination_field)));
    create_desktop_icon = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(wizard.desktop_icon_box));
    create_menu_folder = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(wizard.menu_folder_box));
    Account user;
    bool allow = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(wizard.clock_user_box));
    clock_user = allow && invoking_account(&user) && user.uid != 0 ? user.name : "";
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(wizard.progress), 0);
    stop_progress_timer();
    progress_timer = g_timeout_add(kProgressTickMs, on_progress_tick, nullptr);
    gtk_label_set_text(GTK_LABEL(wizard.status_line), translate_text("Copying new files..."));
    reset_install_cancel();
    worker_running = true;
    worker = std::thread(installation_worker);
}

bool installation_running() { return worker_running; }

void cancel_installation()
{
    stop_progress_timer();
    request_install_cancel();
    // The worker returns before its next step; the rollback starts only after.
    if (worker.joinable())
        worker.join();
    worker_running = false;
    install_result.store(kInterrupted);
    rollback_installation();
}

void show_finish_page()
{
    int result = install_result.load();
    if (result == kInstalled) {
        gtk_widget_set_sensitive(wizard.keep_settings_box, TRUE);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.keep_settings_box), settings_backed_up);
    } else {
        // Nothing to start at login or now without a finished installation.
        disable_box(wizard.keep_settings_box);
        disable_box(wizard.autorun_box);
        disable_box(wizard.launch_box);
    }
    apply_finish_texts();
}

void apply_finish_page()
{
    FinishChoices choices;
    choices.keep_previous_settings = box_counts(wizard.keep_settings_box);
    choices.run_at_startup = box_counts(wizard.autorun_box);
    choices.launch_now = box_counts(wizard.launch_box);
    apply_finish_options(gtk_entry_get_text(GTK_ENTRY(wizard.destination_field)), choices);
}
