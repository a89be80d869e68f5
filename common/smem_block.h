// The command channel from satclock to clockkeeper: where its socket lives,
// the layout of a command and of the service's acknowledgement.
//
// Each command travels whole inside one datagram to the service's socket in
// a folder only the service's account may change; the kernel stamps the
// datagram with its sender's credentials, and the service answers it with the
// acknowledgement of that very command. Nothing is shared between the
// programs but the socket, so no other account can rewrite a command between
// its sending and its taking.
#pragma once

#include <cstddef>
#include <cstdint>
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

inline constexpr size_t kTimeCommandSize = 20;

// A command datagram, little-endian, no padding (the layout the shared block
// had, of which it is the first 28 bytes):
//   0  int32   command   1 set time, 2 shift time, 3 and 4 chrony
//   4  uint64  cur_ft    sender's UTC file time when it prepared the command, whole ms
//  12  uint64  new_ft    1: the UTC file time to set; 2: a signed shift in milliseconds
//  20  uint32  -         reserved, zero
//  24  uint32  sequence  the sender's number for its command, repeated in the answer
// A datagram of 20 bytes is a command without a sequence (0); a shorter one
// is no command.
inline constexpr size_t kSequenceOffset = 24;
inline constexpr size_t kSequencedCommandSize = 28;

// The acknowledgement, the service's answer to each command datagram: 8
// bytes, little-endian, the command's sequence and what became of it.
inline constexpr size_t kAckSize = 8;
inline constexpr int32_t kAckApplied = 1;         // the clock was set, the sample handed to chrony
inline constexpr int32_t kAckRefused = 2;         // target outside the settable span
inline constexpr int32_t kAckSetFailed = 3;       // the clock refused the set
inline constexpr int32_t kAckUnknownCommand = 4;  // not a command the service knows
inline constexpr int32_t kAckNotDelivered = 5;    // chrony's socket did not take the sample
inline constexpr int32_t kAckNotPermitted = 6;    // the sender's account may not move the clock
inline constexpr int32_t kAckBusy = 7;            // the sender's account sent more than its share; not done

struct TimeCommand {
    int32_t command;
    int64_t cur_ft;
    int64_t new_ft;
};

// A command as it travels: the command and the sender's number for it.
struct TakenCommand {
    int32_t command;
    int64_t cur_ft;
    int64_t new_ft;
    uint32_t sequence;
};

struct Acknowledgement {
    uint32_t sequence;
    int32_t result;
};

void time_command_encode(const TimeCommand& command, unsigned char out[kTimeCommandSize]);
TimeCommand time_command_decode(const unsigned char in[kTimeCommandSize]);
// The whole datagram of a command (28 bytes).
void command_datagram_encode(const TakenCommand& command, unsigned char out[kSequencedCommandSize]);
// A received datagram of `length` bytes: false when it is no command (fewer than 20 bytes).
bool command_datagram_decode(const unsigned char* in, size_t length, TakenCommand* command);
void acknowledgement_encode(const Acknowledgement& ack, unsigned char out[kAckSize]);
Acknowledgement acknowledgement_decode(const unsigned char in[kAckSize]);
void put_le32(unsigned char* out, uint32_t value);
uint32_t get_le32(const unsigned char* in);

// The channel's folder: SATCLOCK_CHANNEL_DIR, else /run/satclock.
std::string channel_dir();
// "<folder>/<SATCLOCK_CHANNEL_PREFIX>setclockkeeper_event"; empty when the
// prefix holds a slash (a name outside the folder).
std::string channel_event_path();

// The system group whose members may post commands: SATCLOCK_GROUP, else "satclock".
std::string channel_group_name();
