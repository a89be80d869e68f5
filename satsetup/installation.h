// The installation procedure: run on a worker thread, cancelled and rolled
// back from the UI thread, and the finish actions.
#pragma once

#include <functional>
#include <string>

// Where the worker's status lines go. The wizard posts them to its UI thread;
// the unattended mode prints them. Called on the worker thread.
using InstallStatusSink = std::function<void(const char* text)>;

// The installation steps; returns an InstallResult. Without a status sink
// nothing runs (-1). Between its steps it checks for a cancel request and then
// returns 1 at once.
int run_installation(const InstallStatusSink& status);

// Cancel from another thread: no further step starts, a running extraction is
// ended, and a pause of the worker ends at once.
void request_install_cancel();
bool install_cancel_requested();
// Forget an earlier cancel request (a new run; tests).
void reset_install_cancel();
// A pause of the worker that a cancel request cuts short; false when cancelled.
bool install_pause_ms(int milliseconds);

// Removes what an interrupted run placed, by the uninstall list (the payload's
// own list when the run had not yet written it); undoes the service
// installation and the uninstall entry when this run made them; puts the
// earlier settings back from their ".bak" copies. Runs after the worker ended.
void rollback_installation();

// After a failed run: the earlier settings come back from their ".bak" copies
// (the unpacking may already have replaced them by the default file).
void recover_settings_after_failure();

// The choices of the finish page that count (their box enabled and ticked).
struct FinishChoices {
    bool keep_previous_settings = false;
    bool run_at_startup = false;
    bool launch_now = false;
};

// Finish: keep or drop the earlier settings; after a finished installation
// only, the autostart entry (written as the user who started Setup) and the
// launch (or the program handed over to the first copy). destination is the
// destination field's text.
void apply_finish_options(const std::string& destination, const FinishChoices& choices);

// The text for an InstallResult, translated (empty for 0).
const char* install_result_text(int result);
// What the failure page and the unattended mode say of a result: its text,
// the cause in words (a path and why) and, for a user without administrator
// rights, the remedy.
std::string install_failure_text(int result);
