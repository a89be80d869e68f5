// The status of this copy: the receiver, its fix, the offset, the latest
// correction, chrony and the status line's causes.
#include "src/ui/status_report.h"

#include "common/json_text.h"
#include "common/program_version.h"
#include "platform/process.h"
#include "platform/status_socket.h"
#include "platform/user_accounts.h"
#include "src/correction/chrony_feed.h"
#include "src/receiver/receiver_state.h"
#include "src/receiver/receiver_status.h"
#include "src/settings/settings.h"
#include "src/ui/status_line.h"
#include "src/ui/widget_helpers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <glib-unix.h>
#include <glib/gi18n.h>
#include <glib.h>
#include <vector>

namespace {

const char* run_mode = "desktop";

const char* link_state_word(LinkState state)
{
    switch (state) {
    case LinkState::opening: return "opening";
    case LinkState::open: return "open";
    case LinkState::open_failed: return "open_failed";
    case LinkState::lost: return "lost";
    default: return "stopped";
    }
}

const char* chrony_word(ChronyFeedState state)
{
    switch (state) {
    case ChronyFeedState::waiting: return "waiting";
    case ChronyFeedState::delivering: return "delivering";
    case ChronyFeedState::not_delivered: return "not_delivered";
    case ChronyFeedState::old_service: return "old_service";
    case ChronyFeedState::no_service: return "no_service";
    default: return "off";
    }
}

const char* offset_source_word(OffsetSource source)
{
    return source == OffsetSource::pps ? "pps" : source == OffsetSource::nmea_delay ? "nmea_delay" : "nmea";
}

std::string number(double value, const char* format = "%.9g")
{
    char text[40];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// "2026-12-08T20:50:01.000Z" of the fix, "" before any date and time.
std::string gps_time_text(const GpsFix& fix)
{
    if (fix.year == 0 || fix.fix_quality == 0)
        return "";
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", fix.year, fix.month, fix.day, fix.hour,
                  fix.minute, fix.second, gps_fraction_ms(fix));
    return text;
}

// One copy's facts, taken once so that the JSON and the text agree.
struct Snapshot {
    LinkStatus link = receiver_link();
    GpsFix fix = receiver_fix();
    ClockOffset offset = clock_offset_now();
    CorrectionResult result = correction_result_now();
    ChronyFeedState chrony = chrony_feed_state();
    std::vector<ReceiverIssue> issues = receiver_issues(receiver_facts_now());
    bool reading() const { return link.state == LinkState::open && fix.fix_quality > 0; }
};

}  // namespace

std::string status_issue_text(const ReceiverIssue& issue)
{
    if (issue.cause != ReceiverCause::step_asked || std::strcmp(run_mode, "headless") != 0)
        return receiver_issue_text(issue);
    // Nobody is there to answer: the copy without a window leaves the step alone.
    return owned_text(g_strdup_printf(_("A step of %s is larger than %d min: Satclock without a window does not "
                                        "take it. Allow it with step_cap_minutes=\"0\" in %s, then restart "
                                        "Satclock."),
                                      step_size_text(issue.prestep.step_ns).c_str(),
                                      int(issue.prestep.cap_ns / 60000000000LL), settings_path().c_str()));
}

namespace {

std::string causes_json(const std::vector<ReceiverIssue>& issues)
{
    std::string list = "[";
    for (const ReceiverIssue& issue : issues)
        list += (list.size() > 1 ? "," : "") + json_string(status_issue_text(issue));
    return list + "]";
}

std::string offset_json(const ClockOffset& offset)
{
    if (!offset.valid)
        return "null";
    return "{\"seconds\":" + number(double(offset.offset_ns) * 1e-9) +
           ",\"uncertainty_ms\":" + std::to_string(offset.uncertainty_ms) + ",\"source\":" +
           json_string(offset_source_word(offset.source)) + ",\"text\":" + json_string(clock_offset_text(offset)) + "}";
}

std::string correction_json(const CorrectionResult& result)
{
    if (result.sequence == 0)
        return "null";
    return std::string("{\"made\":") + (result.made ? "true" : "false") +
           ",\"shift_seconds\":" + number(double(result.shift_ns) * 1e-9) +
           ",\"at_unix\":" + number(double(result.at_ns) * 1e-9, "%.3f") + ",\"text\":" +
           json_string(correction_result_text(result)) + "}";
}

std::string json_of(const Snapshot& s)
{
    std::string fix_time = gps_time_text(s.fix);
    return "{\"running\":true,\"mode\":" + json_string(run_mode) + ",\"pid\":" + std::to_string(process_own_id()) +
           ",\"uid\":" + std::to_string(own_user_id()) + ",\"version\":" + json_string(program_version) +
           ",\"reading\":" + (s.reading() ? "true" : "false") + ",\"port\":" + std::to_string(s.link.port) +
           ",\"device\":" + json_string(s.link.device) + ",\"baud\":" + std::to_string(s.link.baud) +
           ",\"link\":" + json_string(link_state_word(s.link.state)) +
           ",\"fix_quality\":" + std::to_string(s.fix.fix_quality) +
           ",\"satellites\":" + std::to_string(s.fix.satellites) +
           ",\"gps_time\":" + (fix_time.empty() ? "null" : json_string(fix_time)) +
           ",\"latitude\":" + number(s.fix.latitude) + ",\"longitude\":" + number(s.fix.longitude) +
           ",\"altitude\":" + number(s.fix.altitude) + ",\"offset\":" + offset_json(s.offset) +
           ",\"last_correction\":" + correction_json(s.result) + ",\"chrony\":" + json_string(chrony_word(s.chrony)) +
           ",\"causes\":" + causes_json(s.issues) + "}";
}

std::string text_of(const Snapshot& s)
{
    char head[160];
    std::snprintf(head, sizeof head, "Satclock %s (%s), process %d, user %d\n", program_version, run_mode,
                  int(process_own_id()), int(own_user_id()));
    std::string text = head;
    text += "Receiver: COM" + std::to_string(s.link.port) + " (" + s.link.device + ") at " +
            std::to_string(s.link.baud) + " baud, " + link_state_word(s.link.state) + "\n";
    text += "Fix: quality " + std::to_string(s.fix.fix_quality) + ", " + std::to_string(s.fix.satellites) +
            " satellites" + (gps_time_text(s.fix).empty() ? "" : ", GPS time " + gps_time_text(s.fix)) + "\n";
    if (s.offset.valid)
        text += "Offset: " + clock_offset_text(s.offset) + "\n";
    if (s.result.sequence != 0)
        text += "Last correction: " + correction_result_text(s.result) + "\n";
    text += std::string("chrony: ") + chrony_word(s.chrony) + "\n";
    for (const ReceiverIssue& issue : s.issues)
        text += "Status: " + status_issue_text(issue) + "\n";
    return text;
}

gboolean on_status_request(gint fd, GIOCondition, gpointer)
{
    int connection = status_socket_accept(fd);
    if (connection < 0)
        return G_SOURCE_CONTINUE;
    Snapshot snapshot;
    status_socket_answer(connection, json_of(snapshot) + "\n" + text_of(snapshot));
    return G_SOURCE_CONTINUE;
}

}  // namespace

void status_report_set_mode(const char* mode) { run_mode = mode; }

std::string status_report_json() { return json_of(Snapshot{}); }

std::string status_report_text() { return text_of(Snapshot{}); }

bool status_report_serve()
{
    int fd = status_socket_listen();
    if (fd < 0) {
        std::printf("status: cannot listen for status requests: %s\n", std::strerror(errno));
        return false;
    }
    g_unix_fd_add(fd, G_IO_IN, on_status_request, nullptr);
    return true;
}
