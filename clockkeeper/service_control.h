// What the dispatcher asks of service_main before it delivers a stop.
#pragma once

// Wait until the reported status accepts a stop. False when the service has
// stopped or service_main has returned meanwhile: no stop is to be delivered.
bool wait_stop_control_accepted();
