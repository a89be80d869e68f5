// Command line of the simulated receiver.
#pragma once

#include "sentences.h"
#include "transmitter.h"

#include <cstdint>
#include <string>

struct SimOptions {
    int port = 1;
    std::string port_dir;        // "" = $SATCLOCK_PORT_DIR, else /etc/satclock/ports
    bool replace_link = false;
    int baud = 4800;
    int start_offset_ms = 0;     // first byte after the true top of each second
    int offset_jitter_ms = 0;    // plus a uniform -jitter..+jitter ms, new each second
    bool realtime = false;       // run at SCHED_FIFO where permitted (benchmarks)
    ReceiverFix fix;
    int garbage_bytes = 0;       // a burst after the RMC
    int garbage_every = 1;       // seconds between bursts
    uint32_t seed = 1;
    int silence_after = -1;      // seconds of sentences, then silence; -1 = never
    int exit_after = -1;         // seconds to run, then exit; -1 = until a signal
    std::string replay_file;
    int64_t time_offset_ns = 0;  // reported time = true time + this
    std::string start_time;      // reported time of the first second, ISO 8601 UTC
    std::string log_file;        // JSON lines; "" = none, "-" = standard output
    bool speed_mismatch = false; // garble what is sent when the program's line speed differs
    Delivery delivery = Delivery::byte;
};

// Fills options from argv. Returns -1 to go on, else the exit status (help
// printed: 0, bad option: 2, with a message on standard error).
int parse_options(int argc, char** argv, SimOptions& options);

// "2026-12-31T23:59:50" or with ".123" and/or a trailing "Z": UTC ns, or false.
bool parse_utc_time(const std::string& text, int64_t& utc_ns);
