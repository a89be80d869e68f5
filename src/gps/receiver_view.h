// What the tray shows of the receiver (the fix state and the refused-receiver
// hint), and the call that tells the user interface when it changes, so that
// nothing there has to poll for it.
#pragma once

#include "src/gps/gnss_hint.h"

struct ReceiverView {
    int fix_state = 0;  // -1 the receiver reports no fix, 0 nothing usable, 1 a fix (sign of fix_quality)
    GnssHint hint{};

    bool operator==(const ReceiverView& other) const
    {
        return fix_state == other.fix_state && hint.why == other.hint.why &&
               hint.talker[0] == other.hint.talker[0] && hint.talker[1] == other.hint.talker[1];
    }
};

ReceiverView receiver_view_now();

// After the decoding thread has handled what came (or the silence): tells the
// listener when the view differs from the one it last saw.
void receiver_view_check();

// For any other state the tray or the status line shows: tells the listener now.
void receiver_view_changed();

// Called on the thread that saw the change; it must not block (the desktop
// program posts to its main loop). nullptr removes it.
void receiver_view_set_listener(void (*listener)());
