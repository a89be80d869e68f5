// Desktop notifications of clock corrections, made or refused (libnotify).
#pragma once

#include "src/correction/correction_result.h"

// Sends a notification when the result is news (its notice number moved)
// and the Preferences box allows it. Never waits: a worker thread talks to
// the notification service, which may be slow or missing.
void correction_notice_poll(const CorrectionResult& result);
