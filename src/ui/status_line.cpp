// Status line, offset and correction result texts, translated.
#include "src/ui/status_line.h"

#include "common/smem_block.h"
#include "platform/time_units.h"
#include "src/correction/calendar.h"
#include "src/receiver/receiver_sources.h"
#include "src/ui/gnss_box.h"
#include "src/ui/widget_helpers.h"

#include <cstring>
#include <glib/gi18n.h>
#include <string_view>
#include <vector>

namespace {

constexpr int kBaudRates[] = {4800, 9600, 38400, 115200, 19200, 57600, 2400, 1200};

// "4.352" with the language's decimal mark, rounded to the millisecond.
std::string seconds_text(int64_t magnitude_ns)
{
    int64_t ms = (magnitude_ns + kNsPerMs / 2) / kNsPerMs;
    // TRANSLATORS: the decimal mark of numbers such as 4.352 s.
    return owned_text(g_strdup_printf("%lld%s%03d", static_cast<long long>(ms / 1000), C_("decimal mark", "."),
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
        return owned_text(g_strdup_printf(_("Cannot open COM%d (%s): permission denied. Check the device's permissions: "
                                       "ls -l %s"),
                                     link.port, device, device));
    const char* group = link.group.c_str();
    return owned_text(g_strdup_printf(_("Cannot open COM%d (%s): permission denied. Add yourself to its group %s: "
                                   "sudo usermod -aG %s $USER, then log out and in again."),
                                 link.port, device, group, group));
}

std::string busy_text(const LinkStatus& link)
{
    if (link.holder_pid == 0)
        return owned_text(g_strdup_printf(_("COM%d (%s) is in use by another program. Close it or choose another port."),
                                     link.port, link.device.c_str()));
    return owned_text(g_strdup_printf(_("COM%d (%s) is in use by %s (process %d). Close that program or choose "
                                   "another port."),
                                 link.port, link.device.c_str(), link.holder_name.c_str(), link.holder_pid));
}

// The link through gpsd: the same causes as the port's, in gpsd's words.
std::string gpsd_text(const ReceiverIssue& issue)
{
    const char* gpsd = issue.link.gpsd.c_str();
    switch (issue.cause) {
    case ReceiverCause::gpsd_down:
        return owned_text(g_strdup_printf(_("gpsd is not running: nothing answers at %s (%s). Start it (sudo "
                                            "systemctl start gpsd) or choose the receiver's port; Satclock tries "
                                            "again every 2 s."),
                                          gpsd, g_strerror(issue.link.error)));
    case ReceiverCause::gpsd_no_device:
        return owned_text(g_strdup_printf(_("gpsd at %s answers but has no device. Plug in the receiver, or hand "
                                            "it to gpsd: sudo gpsdctl add /dev/ttyUSB0 (its device)."),
                                          gpsd));
    case ReceiverCause::receiver_gone:
        return owned_text(g_strdup_printf(_("gpsd at %s closed the connection. Satclock tries again every 2 s."),
                                          gpsd));
    case ReceiverCause::no_bytes:
        return owned_text(g_strdup_printf(ngettext("Nothing from the receiver behind gpsd at %s for %d second.",
                                                   "Nothing from the receiver behind gpsd at %s for %d seconds.",
                                                   issue.seconds),
                                          gpsd, issue.seconds));
    case ReceiverCause::no_sentence:
        return owned_text(g_strdup_printf(_("gpsd at %s sends no NMEA sentence of its receiver."), gpsd));
    case ReceiverCause::no_fix:
        return _("The receiver behind gpsd has no fix yet: give it a view of the open sky; a first fix can take "
                 "a few minutes.");
    case ReceiverCause::through_gpsd:
        return owned_text(g_strdup_printf(_("Read through gpsd at %s: without 1PPS the sentences come about %d ms "
                                            "later than from the port, up to %d ms on a busy machine (measured "
                                            "through gpsd 3.22). Give Satclock the port for the best time."),
                                          gpsd, kGpsdExtraDelayMs, kGpsdBusyDelayMs));
    default:
        return "";
    }
}

std::string data_text(const ReceiverIssue& issue)
{
    const LinkStatus& link = issue.link;
    if (!link.gpsd.empty())
        return gpsd_text(issue);
    switch (issue.cause) {
    case ReceiverCause::port_missing:
        return owned_text(g_strdup_printf(_("COM%d (%s) is not there. Plug in the receiver or choose its port; "
                                       "Satclock tries again every 2 s."),
                                     link.port, link.device.empty() ? "-" : link.device.c_str()));
    case ReceiverCause::port_failed:
        return owned_text(g_strdup_printf(_("Cannot open COM%d (%s): %s. Satclock tries again every 2 s."), link.port,
                                     link.device.c_str(), g_strerror(link.error)));
    case ReceiverCause::receiver_gone:
        return owned_text(g_strdup_printf(_("The receiver on COM%d is gone. Satclock tries again every 2 s: plug it "
                                       "in again."),
                                     link.port));
    case ReceiverCause::no_bytes:
        return owned_text(g_strdup_printf(ngettext("Nothing from the receiver on COM%d for %d second. Check that it is "
                                              "powered and on this port.",
                                              "Nothing from the receiver on COM%d for %d seconds. Check that it is "
                                              "powered and on this port.",
                                              issue.seconds),
                                     link.port, issue.seconds));
    case ReceiverCause::no_sentence:
        return owned_text(g_strdup_printf(_("Data arrive on COM%d at %d baud, but no NMEA sentence: the speed is wrong. "
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

std::string prestep_text(const ReceiverIssue& issue)
{
    const PrestepList& list = issue.prestep;
    switch (issue.cause) {
    case ReceiverCause::date_refused:
        return owned_text(g_strdup_printf(_("The receiver reports the date %s, before this program was built (%s): the "
                                       "clock is not set from it. A receiver that has not yet learned the date "
                                       "sends such a one: give it a view of the open sky."),
                                     day_text(list.date_check.reported_day).c_str(),
                                     day_text(list.build_day).c_str()));
    case ReceiverCause::few_satellites:
        return owned_text(g_strdup_printf(_("A correction waits for at least %d satellites in use (now %d): see "
                                       "Preferences, \"Before setting the clock\"."),
                                     list.min_satellites, list.satellites));
    case ReceiverCause::step_asked:
        return owned_text(g_strdup_printf(_("A step of %s is larger than %d min: it waits for your answer in the "
                                       "Satclock window, and the schedule waits with it."),
                                     step_size_text(list.step_ns).c_str(), int(list.cap_ns / 60000000000LL)));
    case ReceiverCause::step_declined:
        return owned_text(g_strdup_printf(_("You declined a step of %s: the clock is not set. \"Correct PC Clock Now!\" "
                                       "asks again."),
                                     step_size_text(list.step_ns).c_str()));
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

std::string hold_text(const CorrectionResult& result)
{
    switch (result.hold) {
    case CorrectionHold::date_refused:
        return owned_text(g_strdup_printf(_("the receiver's date %s is before this program was built"),
                                     day_text(result.reported_day).c_str()));
    case CorrectionHold::step_asked:
        return owned_text(g_strdup_printf(_("a step of %s waits for your answer"), step_size_text(result.shift_ns).c_str()));
    default:
        return owned_text(g_strdup_printf(_("you declined a step of %s"), step_size_text(result.shift_ns).c_str()));
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
    case PostOutcome::not_permitted:
        return _("you may not set the clock");
    case PostOutcome::busy:
        return _("the time service is busy with your earlier commands");
    default:
        return _("the command could not be handed to the time service");
    }
}

std::string kernel_pps_text(const KernelPpsState& pps)
{
    if (pps.use == KernelPpsUse::selected)
        return owned_text(g_strdup_printf(_("chrony uses the kernel's 1PPS time stamps (%s): the clock follows the "
                                            "pulse to the microsecond."),
                                          pps.name.c_str()));
    return owned_text(g_strdup_printf(_("chrony does not use the kernel's 1PPS (%s, state %c in chronyc sources): "
                                        "it numbers the pulses only while the GPS line is selected or reachable; "
                                        "check the pulse's wiring and the udev rule that gives chrony the device."),
                                      pps.name.c_str(), pps.state));
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
        return owned_text(g_strdup_printf(_("chrony does not take Satclock's GPS time (nothing listens on %s). Add "
                                       "the lines of the GPS configuration page to "
                                       "/etc/chrony/conf.d/satclock.conf, then: sudo systemctl restart chrony"),
                                     issue.socket.c_str()));
    case ReceiverCause::chrony_kernel_pps:
        return kernel_pps_text(issue.kernel_pps);
    case ReceiverCause::chrony_old_service:
        return _("The time service is older than this Satclock: it answered \"unknown\" to chrony's samples, "
                 "so Satclock sets the clock as before. Install this Satclock's service to give GPS time to chrony.");
    default:
        return "";
    }
}

// The local clock's time of day as the local time row writes it ("08:42:58").
std::string local_time_text(int64_t utc_ns)
{
    GDateTime* moment = g_date_time_new_from_unix_local(utc_ns / 1000000000);
    if (!moment)
        return "-:-";
    std::string text = owned_text(g_date_time_format(moment, "%X"));
    g_date_time_unref(moment);
    return text;
}

std::string never_corrected_text(const ReceiverIssue& issue)
{
    int64_t magnitude = issue.offset_ns < 0 ? -issue.offset_ns : issue.offset_ns;
    std::string seconds = seconds_text(magnitude);
    return owned_text(issue.offset_ns > 0
                          ? g_strdup_printf(_("The PC clock is %s s behind GPS and was never corrected: the first "
                                              "automatic correction comes one schedule period after the first start. "
                                              "Click \"Correct PC Clock Now!\" to set it now."),
                                            seconds.c_str())
                          : g_strdup_printf(_("The PC clock is %s s ahead of GPS and was never corrected: the first "
                                              "automatic correction comes one schedule period after the first start. "
                                              "Click \"Correct PC Clock Now!\" to set it now."),
                                            seconds.c_str()));
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
        return owned_text(g_strdup_printf(_("1PPS is chosen, but COM%d has no modem lines (a pseudo-terminal or a USB "
                                       "adapter without CTS and DSR): no pulse can come, and corrections use the "
                                       "sentence only."),
                                     issue.link.port));
    case ReceiverCause::no_pulse:
        if (!issue.link.gpsd.empty())
            return owned_text(g_strdup_printf(ngettext("gpsd reports no 1PPS pulse of its receiver for %d second: "
                                                       "corrections use the sentence only.",
                                                       "gpsd reports no 1PPS pulse of its receiver for %d seconds: "
                                                       "corrections use the sentence only.",
                                                       issue.seconds),
                                              issue.seconds));
        return owned_text(g_strdup_printf(ngettext("No 1PPS pulse on %s for %d second: corrections use the sentence "
                                              "only. Check the wiring, or choose the other line.",
                                              "No 1PPS pulse on %s for %d seconds: corrections use the sentence "
                                              "only. Check the wiring, or choose the other line.",
                                              issue.seconds),
                                     line_name(issue.use_cts), issue.seconds));
    case ReceiverCause::pulse_too_wide:
        return owned_text(g_strdup_printf(_("The 1PPS pulse on %s is %d ms wide: the line hardly rests, so its "
                                            "edges may be the wrong way round. If the receiver's line turns off at "
                                            "the second, tick \"Pulse is inverted\" on the GPS configuration page."),
                                          line_name(issue.use_cts), issue.pulse_ms));
    case ReceiverCause::pulse_wrong_rate:
        return owned_text(g_strdup_printf(_("The 1PPS pulses on %s come %d ms apart, not once a second: this is no "
                                            "1PPS output. Check the receiver's pulse setting and the wiring."),
                                          line_name(issue.use_cts), issue.pulse_ms));
    case ReceiverCause::never_corrected:
        return never_corrected_text(issue);
    case ReceiverCause::service_down:
        return _("The time service clockkeeper is not running: the clock will not be set. Start it: sudo "
                 "systemctl start clockkeeper_satclock");
    case ReceiverCause::not_permitted:
        return owned_text(g_strdup_printf(_("You may not set the clock: an administrator adds you with `sudo usermod "
                                            "-aG %s %s`; it takes effect at your next login"),
                                          channel_group_name().c_str(), g_get_user_name()));
    case ReceiverCause::date_refused:
    case ReceiverCause::few_satellites:
    case ReceiverCause::step_asked:
    case ReceiverCause::step_declined:
        return prestep_text(issue);
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
                           ? owned_text(g_strdup_printf(_("PC clock is %s s behind GPS"), seconds.c_str()))
                           : owned_text(g_strdup_printf(_("PC clock is %s s ahead of GPS"), seconds.c_str()));
    // TRANSLATORS: after the offset: its uncertainty and what it was measured from.
    return base + owned_text(g_strdup_printf(_(" (±%d ms, %s)"), offset.uncertainty_ms, source));
}

std::string correction_result_text(const CorrectionResult& result)
{
    if (result.sequence == 0)
        return "";
    std::string at = local_time_text(result.at_ns);
    if (!result.made) {
        std::string why = result.hold != CorrectionHold::none ? hold_text(result) : refusal_text(result.refusal);
        return owned_text(g_strdup_printf(_("Clock NOT set: %s (%s)"), why.c_str(), at.c_str()));
    }
    int64_t magnitude = result.shift_ns < 0 ? -result.shift_ns : result.shift_ns;
    std::string shift = (result.shift_ns < 0 ? "-" : "+") + seconds_text(magnitude);
    return owned_text(g_strdup_printf(_("Corrected by %s s at %s (%s)"), shift.c_str(), at.c_str(),
                                 method_text(result.method).c_str()));
}

std::string pps_pulse_text(int width_ms)
{
    // TRANSLATORS: the 1PPS pulse's width; its leading edge marks the second, the other edge is ignored.
    return owned_text(g_strdup_printf(_("pulse %d ms wide, leading edge used"), width_ms));
}

std::string step_size_text(int64_t step_ns)
{
    const char* sign = step_ns < 0 ? "-" : "+";
    int64_t magnitude = step_ns < 0 ? -step_ns : step_ns;
    int64_t s = magnitude / 1000000000;
    // TRANSLATORS: a step of the clock: its sign, then seconds, minutes, hours, days, shortened.
    if (s < 60)
        return owned_text(g_strdup_printf(_("%s%s s"), sign, seconds_text(magnitude).c_str()));
    if (s < 3600)
        return owned_text(g_strdup_printf(_("%s%d min %d s"), sign, int(s / 60), int(s % 60)));
    if (s < 86400)
        return owned_text(g_strdup_printf(_("%s%d h %d min"), sign, int(s / 3600), int(s / 60 % 60)));
    return owned_text(g_strdup_printf(_("%s%lld d %d h"), sign, static_cast<long long>(s / 86400), int(s / 3600 % 24)));
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
