// The port doctor's verdicts from what the port shows over a few seconds.
#include "src/receiver/port_doctor.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kMs = 1000000;

// What the port shows every 250 ms for 3 s; `tick` changes the sample of each step.
std::vector<DoctorVerdict> verdicts_after(const std::function<void(DoctorSample&, int)>& tick, int steps = 13)
{
    PortDoctor doctor;
    DoctorSample s;
    s.link.state = LinkState::open;
    s.link.baud = 4800;
    s.link.opened_ns = 1;
    for (int i = 0; i < steps; ++i) {
        s.mono_ns = 1000 * kMs + i * 250 * kMs;
        tick(s, i);
        doctor.add(s);
    }
    return doctor.reading().verdicts;
}

// A pulse a second on a line, width_ms on: an edge up at each second, down width_ms later.
void pulse(DoctorSample& s, int line, int step, int width_ms)
{
    ModemLineState& l = s.lines.line[line];
    if (step % 4 == 0 || step % 4 == 1) {
        l.edges += 1;
        l.on = !l.on;
        l.last_edge_ns = s.mono_ns;
        if (step > 1)
            l.on_ns = width_ms * kMs, l.off_ns = (1000 - width_ms) * kMs;
    }
}

using K = DoctorVerdictKind;

TEST(PortDoctor, VerdictsFromWhatThePortShows)
{
    auto bytes = [](DoctorSample& s, int) { s.bytes += 120; };
    auto sentences = [](DoctorSample& s, int i) {
        s.bytes += 120;
        s.sentences += i % 4 == 0 ? 2 : 0;
    };
    struct Case {
        const char* what;
        std::function<void(DoctorSample&, int)> tick;
        std::vector<DoctorVerdict> verdicts;
        int steps = 13;
    } cases[] = {
        {"port closed", [](DoctorSample& s, int) { s.link.state = LinkState::open_failed; s.lines_error = ENODEV; },
         {{K::port_closed}}},
        {"silence", [](DoctorSample&, int) {}, {{K::nothing_received}, {K::no_pulses}}},
        {"wrong speed", bytes, {{K::wrong_speed, 9600}, {K::no_pulses}}},
        {"wrong speed at 9600",
         [&](DoctorSample& s, int i) {
             s.link.baud = 9600;
             bytes(s, i);
         },
         {{K::wrong_speed, 4800}, {K::no_pulses}}},
        {"too soon to tell", bytes, {{K::measuring}}, 5},
        {"sentences", sentences, {{K::speed_right, 4800}, {K::no_pulses}}},
        {"bad checksums",
         [&](DoctorSample& s, int i) {
             sentences(s, i);
             s.bad_checksums += i == 9;
         },
         {{K::bad_checksums, 4800}, {K::no_pulses}}},
        {"a pty", [&](DoctorSample& s, int i) { sentences(s, i); s.lines_error = ENOTTY; },
         {{K::speed_right, 4800}, {K::no_modem_lines}}},
        {"pulses on DSR, 1PPS off",
         [&](DoctorSample& s, int i) {
             sentences(s, i);
             pulse(s, modem_dsr, i, 100);
         },
         {{K::speed_right, 4800}, {K::pulses, 0, modem_dsr, 100, false}}},
        {"pulses on DSR, 1PPS on CTS",
         [&](DoctorSample& s, int i) {
             sentences(s, i);
             s.use_pps = true;
             pulse(s, modem_dsr, i, 100);
         },
         {{K::speed_right, 4800}, {K::pulses, 0, modem_dsr, 100, false}}},
        {"pulses on DSR, 1PPS on DSR",
         [&](DoctorSample& s, int i) {
             sentences(s, i);
             s.use_pps = true;
             s.use_cts = false;
             pulse(s, modem_dsr, i, 200);
         },
         {{K::speed_right, 4800}, {K::pulses, 0, modem_dsr, 200, true}}},
        {"pulses on DCD",
         [&](DoctorSample& s, int i) {
             sentences(s, i);
             pulse(s, modem_dcd, i, 100);
         },
         {{K::speed_right, 4800}, {K::pulses_unusable, 0, modem_dcd}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(verdicts_after(c.tick, c.steps), c.verdicts);
    }
}

TEST(PortDoctor, ARestartOfTheReaderStartsTheReadingAfresh)
{
    auto verdicts = verdicts_after([](DoctorSample& s, int i) {
        s.bytes += 120;
        s.sentences += i < 8 ? 1 : 0;
        if (i == 8)
            s.link.opened_ns = s.mono_ns;  // another speed: what came before does not count
    }, 18);
    EXPECT_EQ(verdicts, (std::vector<DoctorVerdict>{{K::wrong_speed, 9600}, {K::no_pulses}}));
}

}  // namespace
