// The command channel from satclock to clockkeeper: where its two names live,
// the layout of its 256-byte block and of the service's acknowledgement, and
// the one descriptor of the block this process holds (both sides use it).
//
// The block is a regular file and the event a datagram socket, both made by
// the service in a folder only its account may change; satclock writes a
// TimeCommand into the block and sends one byte on the socket, and the
// service answers that byte with the acknowledgement of the command it took.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Values of TimeCommand::command.
inline constexpr int32_t kCommandEmpty = 0;
inline constexpr int32_t kCommandSetTime = 1;
inline constexpr int32_t kCommandShiftTime = 2;
// GPS time for chrony instead of a clock set: the service hands it to chrony's
// SOCK reference clock and leaves the clock alone.
//   3  cur_ft: the PC clock at the start of the receiver's burst, new_ft: the
//      GPS time at that moment (the sentence's time plus the receiver's delay)
//   4  cur_ft: the PC clock at a 1PPS edge, new_ft: the GPS second it began
// Both in full 100-ns file time ticks, not cut to whole milliseconds.
inline constexpr int32_t kCommandChronySample = 3;
inline constexpr int32_t kCommandChronyPulse = 4;

inline constexpr size_t kSharedBlockSize = 256;
inline constexpr size_t kTimeCommandSize = 20;

// The block, little-endian, no padding:
//   0  int32   command   0 empty or taken, 1 set time, 2 shift time, 3 and 4 chrony
//   4  uint64  cur_ft    sender's UTC file time when it prepared the command, whole ms
//  12  uint64  new_ft    1: the UTC file time to set; 2: a signed shift in milliseconds
//  20  uint32  -         reserved, zero
//  24  uint32  sequence  the sender's number for its command (0: none)
//  28 ...255   -         never read or written
// A peer that knows only the first 20 bytes works as before: it never looks further.
inline constexpr size_t kSequenceOffset = 24;
inline constexpr size_t kSequencedCommandSize = 28;

// The acknowledgement, the service's answer to a signal: 8 bytes,
// little-endian, the sequence of the last command it took and what became of it.
inline constexpr size_t kAckSize = 8;
inline constexpr int32_t kAckApplied = 1;         // the clock was set
inline constexpr int32_t kAckRefused = 2;         // target outside the settable span
inline constexpr int32_t kAckSetFailed = 3;       // the clock refused the set
inline constexpr int32_t kAckUnknownCommand = 4;  // not a command the service knows
inline constexpr int32_t kAckNotDelivered = 5;    // chrony's socket did not take the sample

struct TimeCommand {
    int32_t command;
    int64_t cur_ft;
    int64_t new_ft;
};

struct Acknowledgement {
    uint32_t sequence;
    int32_t result;
};

void time_command_encode(const TimeCommand& command, unsigned char out[kTimeCommandSize]);
TimeCommand time_command_decode(const unsigned char in[kTimeCommandSize]);
void acknowledgement_encode(const Acknowledgement& ack, unsigned char out[kAckSize]);
Acknowledgement acknowledgement_decode(const unsigned char in[kAckSize]);
void put_le32(unsigned char* out, uint32_t value);
uint32_t get_le32(const unsigned char* in);

// The channel's folder: SATCLOCK_CHANNEL_DIR, else /run/satclock.
std::string channel_dir();
// "<folder>/<SATCLOCK_CHANNEL_PREFIX>setclockkeeper_share" and "..._event";
// empty when the prefix holds a slash (a name outside the folder).
std::string channel_share_path();
std::string channel_event_path();

// The block this process has open (one descriptor, the "mapping handle"):
// the old one is closed, and fd takes its place. 1, or -1 when fd is not a
// descriptor (nothing is open then).
int smem_adopt(int fd);
// Runs `work` under the process's lock of the block with its descriptor
// (-1 when none is open), and returns what it returns.
int smem_with_block(const std::function<int(int fd)>& work);
// Close and forget the block. Returns 1.
int smem_close_memory();
