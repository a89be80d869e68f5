// The run of satclock without a window: a GLib main loop (no GTK) with the
// schedule's 500 ms check, the status socket and the stop signals.
#include "src/headless/headless.h"

#include "src/correction/chrony_feed.h"
#include "src/correction/correction_result.h"
#include "src/correction/nmea_delay.h"
#include "src/correction/prestep_check.h"
#include "src/correction/schedule.h"
#include "src/receiver/receiver_status.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/chrony_frame.h"
#include "src/ui/config_page.h"
#include "src/ui/gnss_box.h"
#include "src/ui/info_page.h"
#include "src/ui/modules.h"
#include "src/ui/preferences_page.h"
#include "src/ui/status_line.h"
#include "src/ui/status_report.h"

#include <cstdio>
#include <cstdlib>
#include <glib-unix.h>
#include <glib.h>
#include <string>

namespace {

constexpr guint kScheduleCheckMs = 500;
// SIGTERM must end the program within 2 s: the reader gets most of it, the
// settings still being written the rest.
constexpr int kReaderStopMs = 1200;
constexpr int kSettingsFlushMs = 500;

unsigned shown_result = 0;  // notice_sequence of the correction result written out last
std::string shown_causes = "-";  // the causes written out last, without their counts of seconds ("-" none yet)

// What the pages of the window load into the program's values and flags.
void load_settings()
{
    config_page_load_settings();
    gnss_box_load_settings();
    info_page_load_settings();
    preferences_page_load_settings();
    chrony_frame_load_settings();
    nmea_delay_load_settings();
}

// A cause as it stands, without the seconds it has lasted: a change of
// cause is news, another second of the same one is not.
std::string cause_key(const ReceiverIssue& issue)
{
    return std::to_string(int(issue.cause)) + "/" + std::to_string(issue.link.port) + "/" + issue.link.device + "/" +
           std::to_string(issue.link.error) + "/" + std::to_string(issue.link.holder_pid) + "/" + issue.socket +
           "/" + std::to_string(issue.prestep.step_ns / kSameStepNs) + "/" + issue.kernel_pps.state + ";";
}

void write_status_changes()
{
    std::vector<ReceiverIssue> issues = receiver_issues(receiver_facts_now());
    std::string causes;
    for (const ReceiverIssue& issue : issues)
        causes += cause_key(issue);
    if (causes != shown_causes) {
        shown_causes = causes;
        if (issues.empty())
            std::fprintf(stderr, "status: nothing stands in the way\n");
        for (const ReceiverIssue& issue : issues)
            std::fprintf(stderr, "status: %s\n", status_issue_text(issue).c_str());
    }
    CorrectionResult result = correction_result_now();
    if (result.notice_sequence != shown_result) {
        shown_result = result.notice_sequence;
        std::fprintf(stderr, "correction: %s\n", correction_result_text(result).c_str());
    }
}

gboolean on_tick(gpointer)
{
    schedule_check();
    write_status_changes();
    return G_SOURCE_CONTINUE;
}

gboolean on_stop_signal(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

}  // namespace

int chrony_lines_main()
{
    settings_start();
    load_settings();
    std::fputs(chrony_refclock_lines(chrony_line_facts_now()).c_str(), stdout);
    return 0;
}

int headless_main()
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    setvbuf(stderr, nullptr, _IOLBF, 0);
    status_report_set_mode("headless");
    app_prepare();
    load_settings();
    std::fprintf(stderr, "satclock: without a window, settings %s, COM%d at %d baud%s\n", settings_path().c_str(),
                 app_settings.com_port, app_settings.baudrate, chrony_feed.load() ? ", GPS time to chrony" : "");
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGTERM, on_stop_signal, loop);
    g_unix_signal_add(SIGINT, on_stop_signal, loop);
    receiver_start();
    schedule_request_on_startup();
    status_report_serve();
    g_timeout_add(kScheduleCheckMs, on_tick, nullptr);
    g_main_loop_run(loop);
    modules_stop(kReaderStopMs, kSettingsFlushMs);
    std::printf("bye!\n");
    // As at Quit of the window: the analysis thread never ends, so leave at once.
    std::fflush(nullptr);
    std::_Exit(0);
}
