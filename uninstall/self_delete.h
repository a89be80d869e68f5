// The script that deletes the uninstaller once the uninstaller has ended.
#pragma once

#include <string>

// The /bin/sh text that deletes program (retrying while it stays), then
// removes the folder holding it if that is empty, then deletes script, the
// file holding this text. Each path is quoted for the shell, whatever it holds.
std::string self_delete_script_text(const std::string& program, const std::string& script);

// Writes the script under a fresh name in the temporary folder ($TMPDIR, else
// /tmp), created exclusively and readable by its owner only, and starts it
// detached at idle priority, the shell reading it through the descriptor it
// was written with; it acts once this process has ended. False when it could
// not be written or started.
bool write_self_delete_batch(const std::string& program);
