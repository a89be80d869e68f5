// sd_notify from libsystemd.
#include "platform/service_notify.h"

#include <systemd/sd-daemon.h>

int platform_service_notify(const char* state)
{
    int rc = sd_notify(0, state);
    return rc < 0 ? rc : 0;
}
