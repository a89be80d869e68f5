// GTK on the test display for an in-process GUI test program.
#pragma once

// Initialises GTK on $DISPLAY; false when there is no display to open.
bool open_gtk_display();
