// Links between service_main, the stop procedure and the dispatcher.
#pragma once

// Wait until the reported status accepts a stop. False when the service has
// stopped or service_main has returned meanwhile: no stop is to be delivered.
bool wait_stop_control_accepted();

// The event service_main waits on after the stop event, so that STOPPED is
// reported after the threads have ended: created with the threads, set at the
// end of stop_service_threads.
void service_threads_ended_create();
void service_threads_ended_set();
