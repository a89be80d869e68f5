// Status line, offset and correction result texts, translated.
#include "src/ui/status_line.h"

#include "src/ui/gnss_box.h"

#include <cstring>
#include <glib/gi18n.h>
#include <string_view>
#include <vector>

namespace {

constexpr int kBaudRates[] = {4800, 9600, 38400, 115200, 19200, 57600, 2400, 1200};
constexpr int64_t kNsPerMs = 1000000;

// Takes a g_strdup_printf result.
std::string owned(gchar* text)
{
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

// "4.352" with the language's decimal mark, rounded to the millisecond.
std::string seconds_text(int64_t magnitude_ns)
{
    int64_t ms = (magnitude_ns + kNsPerMs / 2) / kNsPerMs;
    // TRANSLATORS: the decimal mark of numbers such as 4.352 s.
    return owned(g_strdup_printf("%lld%s%03d", static_cast<long long>(ms / 1000), C_("decimal mark", "."),
                                 static_cast<int>(ms % 1000)));
}

std::string other_speeds(int baud)
{
    std::string list;
    for (int rate : kBaudRates) {
        if (rate == baud)
            continue;
        if (!list.empty())
            list += ", ";
        list += std::to_string(rate);
    }
    return list;
}

const char* line_name(bool use_cts) { return use_cts ? "CTS" : "DSR"; }

std::string denied_text(const LinkStatus& link)
{
    const char* device = link.device.c_str();
    if (link.group.empty() || link.in_group)
        return owned(g_strdup_printf(_("Cannot open COM%d (%s): permission denied. Check the device's permissions: "
                                       "ls -l %s"),
                                     link.port, device, device));
    const char* group = link.group.c_str();
    return owned(g_strdup_printf(_("Cannot open COM%d (%s): permission denied. Add yourself to its group %s: "
                                   "sudo usermod -aG %s $USER, then log out and in again."),
                                 link.port, device, group, group));
}

std::string busy_text(const LinkStatus& link)
{
    if (link.holder_pid == 0)
        return owned(g_strdup_printf(_("COM%d (%s) is in use by another program. Close it or choose another port."),
                                     link.port, link.device.c_str()));
    return owned(g_strdup_printf(_("COM%d (%s) is in use by %s (process %d). Close that program or choose "
                                   "another port."),
                                 link.port, link.device.c_str(), link.holder_name.c_str(), link.holder_pid));
}

std::string data_text(const ReceiverIssue& issue)
{
    const LinkStatus& link = issue.link;
    switch (issue.cause) {
    case ReceiverCause::port_missing:
        return owned(g_strdup_printf(_("COM%d (%s) is not there. Plug in the receiver or choose its port; "
                                       "Satclock tries again every 2 s."),
                                     link.port, link.device.empty() ? "-" : link.device.c_str()));
    case ReceiverCause::port_failed:
        return owned(g_strdup_printf(_("Cannot open COM%d (%s): %s. Satclock tries again every 2 s."), link.port,
                                     link.device.c_str(), g_strerror(link.error)));
    case ReceiverCause::receiver_gone:
        return owned(g_strdup_printf(_("The receiver on COM%d is gone. Satclock tries again every 2 s: plug it "
                                       "in again."),
                                     link.port));
    case ReceiverCause::no_bytes:
        return owned(g_strdup_printf(ngettext("Nothing from the receiver on COM%d for %d second. Check that it is "
                                              "powered and on this port.",
                                              "Nothing from the receiver on COM%d for %d seconds. Check that it is "
                                              "powered and on this port.",
                                              issue.seconds),
                                     link.port, issue.seconds));
    case ReceiverCause::no_sentence:
        return owned(g_strdup_printf(_("Data arrive on COM%d at %d baud, but no NMEA sentence: the speed is wrong. "
                                       "Try %s baud."),
                                     link.port, link.baud, other_speeds(link.baud).c_str()));
    case ReceiverCause::no_fix:
        return issue.no_fix_reported
                   ? _("The receiver has no fix yet: give it a view of the open sky; a first fix can take a few "
                       "minutes.")
                   : _("Sentences arrive, but none with the time and a fix (GGA or RMC).");
    default:
        return "";
    }
}

std::string method_text(CorrectionMethod method)
{
    switch (method) {
    case CorrectionMethod::pps:
        return _("1PPS");
    case CorrectionMethod::nmea_delay:
        return _("sentence and receiver delay");
    case CorrectionMethod::nmea_no_pulse:
        return _("sentence only: no 1PPS pulse came");
    default:
        return _("sentence");
    }
}

std::string refusal_text(PostOutcome why)
{
    switch (why) {
    case PostOutcome::no_service:
        return _("the time service is not running");
    case PostOutcome::no_channel:
        return _("the channel to the time service cannot be opened");
    case PostOutcome::no_ack:
        return _("the time service did not answer");
    case PostOutcome::refused:
        return _("the time service refused the time");
    case PostOutcome::set_failed:
        return _("the time service could not set the clock");
    default:
        return _("the command could not be handed to the time service");
    }
}

// The machine's time daemons and chrony taking Satclock's time.
std::string time_daemon_text(const ReceiverIssue& issue)
{
    switch (issue.cause) {
    case ReceiverCause::timesyncd_runs:
        return _("systemd-timesyncd runs: systemd-timesyncd may undo corrections. Stop it: sudo systemctl "
                 "disable --now systemd-timesyncd; or install chrony and give it Satclock's GPS time (GPS "
                 "configuration page).");
    case ReceiverCause::ntpd_runs:
        return _("ntpd runs: ntpd may undo corrections. Stop it: sudo systemctl disable --now ntpsec (or ntp); "
                 "or use chrony and give it Satclock's GPS time (GPS configuration page).");
    case ReceiverCause::chronyd_runs:
        return _("chronyd runs: chrony may undo corrections. Tick \"Give GPS time to chrony instead of setting "
                 "the clock\" on the GPS configuration page and add its lines to chrony's configuration.");
    case ReceiverCause::chrony_takes_time:
        return _("chrony takes Satclock's GPS time and steers the clock: chronyc sources shows GPS.");
    case ReceiverCause::chrony_not_taking:
        return owned(g_strdup_printf(_("chrony does not take Satclock's GPS time (nothing listens on %s). Add "
                                       "the lines of the GPS configuration page to "
                                       "/etc/chrony/conf.d/satclock.conf, then: sudo systemctl restart chrony"),
                                     issue.socket.c_str()));
    case ReceiverCause::chrony_old_service:
        return _("The time service is older than this Satclock: it answered \"unknown\" to chrony's samples, "
                 "so Satclock sets the clock as before. Install this Satclock's service to give GPS time to chrony.");
    default:
        return "";
    }
}

// "08:42:58" on the local clock.
std::string local_time_text(int64_t utc_ns)
{
    GDateTime* moment = g_date_time_new_from_unix_local(utc_ns / 1000000000);
    if (!moment)
        return "-:-";
    std::string text = owned(g_date_time_format(moment, "%H:%M:%S"));
    g_date_time_unref(moment);
    return text;
}

}  // namespace

std::string receiver_issue_text(const ReceiverIssue& issue)
{
    switch (issue.cause) {
    case ReceiverCause::port_denied:
        return denied_text(issue.link);
    case ReceiverCause::port_busy:
        return busy_text(issue.link);
    case ReceiverCause::no_pps_lines:
        return owned(g_strdup_printf(_("1PPS is chosen, but COM%d has no modem lines (a pseudo-terminal or a USB "
                                       "adapter without CTS and DSR): no pulse can come, and corrections use the "
                                       "sentence only."),
                                     issue.link.port));
    case ReceiverCause::no_pulse:
        return owned(g_strdup_printf(ngettext("No 1PPS pulse on %s for %d second: corrections use the sentence "
                                              "only. Check the wiring, or choose the other line.",
                                              "No 1PPS pulse on %s for %d seconds: corrections use the sentence "
                                              "only. Check the wiring, or choose the other line.",
                                              issue.seconds),
                                     line_name(issue.use_cts), issue.seconds));
    case ReceiverCause::service_down:
        return _("The time service clockkeeper is not running: the clock will not be set. Start it: sudo "
                 "systemctl start clockkeeper_satclock");
    default: {
        std::string daemon = time_daemon_text(issue);
        return daemon.empty() ? data_text(issue) : daemon;
    }
    }
}

std::string status_line_text()
{
    std::string text;
    for (const ReceiverIssue& issue : receiver_issues(receiver_facts_now())) {
        if (!text.empty())
            text += "\n";
        text += receiver_issue_text(issue);
    }
    return text;
}

std::string clock_offset_text(const ClockOffset& offset)
{
    if (!offset.valid)
        return "";
    const char* source = offset.source == OffsetSource::pps          ? _("1PPS")
                         : offset.source == OffsetSource::nmea_delay ? _("sentence and receiver delay")
                                                                     : _("sentence only");
    int64_t magnitude = offset.offset_ns < 0 ? -offset.offset_ns : offset.offset_ns;
    std::string seconds = seconds_text(magnitude);
    std::string base = magnitude < kNsPerMs / 2 ? std::string(_("PC clock is on GPS time"))
                       : offset.offset_ns > 0
                           ? owned(g_strdup_printf(_("PC clock is %s s behind GPS"), seconds.c_str()))
                           : owned(g_strdup_printf(_("PC clock is %s s ahead of GPS"), seconds.c_str()));
    // TRANSLATORS: after the offset: its uncertainty and what it was measured from.
    return base + owned(g_strdup_printf(_(" (±%d ms, %s)"), offset.uncertainty_ms, source));
}

std::string correction_result_text(const CorrectionResult& result)
{
    if (result.sequence == 0)
        return "";
    std::string at = local_time_text(result.at_ns);
    if (!result.made)
        return owned(g_strdup_printf(_("Clock NOT set: %s (%s)"), refusal_text(result.refusal).c_str(), at.c_str()));
    int64_t magnitude = result.shift_ns < 0 ? -result.shift_ns : result.shift_ns;
    std::string shift = (result.shift_ns < 0 ? "-" : "+") + seconds_text(magnitude);
    return owned(g_strdup_printf(_("Corrected by %s s at %s (%s)"), shift.c_str(), at.c_str(),
                                 method_text(result.method).c_str()));
}

std::string tray_tooltip_lines()
{
    std::string lines;
    for (const std::string& line : {status_line_text(), correction_result_text(correction_result_now()),
                                    std::string(gnss_hint_short() ? gnss_hint_short() : "")}) {
        if (line.empty())
            continue;
        if (!lines.empty())
            lines += "\n";
        lines += line;
    }
    return lines;
}
