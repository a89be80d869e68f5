// The analysis thread: assembles the received bytes into NMEA lines, decodes
// them and runs the clock corrections.
#pragma once

// The thread body; never returns.
void analiz_com_thread_func();

// Starts analiz_com_thread_func as a detached thread. Returns a non-zero
// thread number, or 0 when the thread could not be started.
int start_analiz_com_thread();
