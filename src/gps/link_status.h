// What the receiver link is doing, for the status line: the reader's state
// with the reason of its last failure (written by the reader thread only),
// and the last good sentence (written by the decoding thread only).
#pragma once

#include <cstdint>
#include <string>

enum class LinkState {
    stopped,      // no reader runs
    opening,      // the reader is opening the port
    open,         // the port is open and read
    open_failed,  // the port could not be opened; tried again every 2 s
    lost,         // a read failed or the line hung up; tried again every 2 s
};

struct LinkStatus {
    LinkState state = LinkState::stopped;
    int port = 0;
    int baud = 0;
    std::string device;       // what the port number opens; through gpsd, gpsd's device
    std::string gpsd;         // "" the port; else the gpsd read through ("localhost:2947")
    int error = 0;            // errno of the failed open or read
    std::string group;        // open_failed with EACCES: the group owning the device
    bool in_group = false;    // ... and whether this process is in it already
    int holder_pid = 0;       // open_failed with EBUSY: a process holding the device, 0 unknown
    std::string holder_name;
    int64_t since_ns = 0;     // monotonic clock when the state began
    int64_t opened_ns = 0;    // monotonic clock of the last successful open, 0 never
};

// The reader thread's side.
void link_status_set(LinkState state, int port, int baud, int error = 0);
// The same for a link through gpsd at address: open_failed with
// ECONNREFUSED when nothing listens there, with ENODEV while gpsd answers
// but has no receiver (the connection stays and waits for one).
void link_status_set_gpsd(LinkState state, const std::string& address, const std::string& device, int error = 0);

LinkStatus link_status_now();

// The decoding thread saw a well-formed sentence (a "$", a five-character
// address, printable text, a good checksum when one is given) at now_ns.
void link_note_sentence(int64_t now_ns);
// platform_monotonic_ns of the last such sentence, 0 before any.
int64_t link_last_sentence_ns();
// The decoding thread saw a line that starts with "$" and fails its checksum.
void link_note_bad_checksum();
// Counted since the program started: well-formed sentences, checksum failures.
uint64_t link_sentence_count();
uint64_t link_bad_checksum_count();

// Whether a line cut from the received bytes is such a sentence.
bool nmea_looks_like_sentence(const char* line, size_t length);
