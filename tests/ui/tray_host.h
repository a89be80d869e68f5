// A notification area for the tests: trayer on the test display, so that the
// program's tray icon is taken in as on a desktop panel.
#pragma once

#include <string>
#include <sys/types.h>

class TrayHost {
public:
    // Starts trayer and waits until it owns the screen's tray selection.
    TrayHost();
    // Stops it; icons it held are released.
    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    bool ready() const { return ready_; }
    const std::string& problem() const { return problem_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string problem_;
};

// Mouse clicks through the X server's test extension at root coordinates.
void pointer_click(int x, int y, int button, int count = 1);
