// The analysis thread: assembles the received bytes into NMEA lines, decodes
// them into the GPS fix, runs the requested clock corrections and the 1PPS
// checks, and notices a silent receiver.
//
// The user interface talks to it only through the flags below: each has one
// setter and one clearer, so plain atomics are enough.
#pragma once

#include <atomic>
#include <cstdint>

struct GpsFix;

// A request flag of the analysis thread: an atomic int whose setting (to
// anything but 0) also wakes the thread, which otherwise sleeps until the
// receiver's next line or the silence deadline.
class AnalizRequest {
public:
    constexpr explicit AnalizRequest(int value) : value_(value) {}
    AnalizRequest(const AnalizRequest&) = delete;
    AnalizRequest& operator=(const AnalizRequest&) = delete;

    void store(int value);
    int load() const { return value_.load(); }
    AnalizRequest& operator=(int value)
    {
        store(value);
        return *this;
    }
    operator int() const { return load(); }

private:
    std::atomic<int> value_;
};

// 1: correct the clock at the next usable sentence; stays set until a
// correction has been posted. Set by the GUI, cleared by this thread.
extern std::atomic<int> correct_time_request;
// 1: measure the pulse line now (the GUI sets state_1PPS to 2 with it).
extern AnalizRequest check_1PPS_request;
// -1 unknown, 0 no pulse seen, 1 pulse seen, 2 measuring.
extern std::atomic<int> state_1PPS;
// After posting a new time, wait for 1PPS and align to the second (setting "use_pps").
extern std::atomic<int> use_pps;
// 1: the pulse is on CTS, 0: on DSR (setting "use_cts").
extern std::atomic<int> pps_use_cts;
// Local time of the last successful correction as a J2000 day number, -1 for
// none. The info page loads it from the settings at start; this thread
// publishes each new one.
extern std::atomic<double> correct_time_jd_prev;

// The thread body; never returns.
void analiz_com_thread_func();

// Starts analiz_com_thread_func as a detached thread. Returns a non-zero
// thread number, or 0 when the thread could not be started.
int start_analiz_com_thread();

// Posts the GPS time of fix as the new clock value (command 1) to the time
// service. 1 when the command was written, 0 otherwise (no record, not a valid
// time, no channel).
int settime_gps(const GpsFix* fix);

// Whether the time service listens on the command channel, so that a
// correction would be applied: 1 yes, 0 no, -1 cannot be told. Never waits
// for a posting of the analysis thread.
int time_service_present();

