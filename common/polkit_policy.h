// The polkit actions of Satclock's programs that run as root: what pkexec
// names when it asks the administrator (one action per program, matched by
// its path), in a policy file of the installation.
#pragma once

#include <string>
#include <vector>

struct PolkitAction {
    std::string id;
    std::string description;     // English, then Russian
    std::string description_ru;
    std::string message;
    std::string message_ru;
    std::string program;         // org.freedesktop.policykit.exec.path
    bool gui = false;            // org.freedesktop.policykit.exec.allow_gui
};

// The actions of an installed tree at prefix (with its trailing slash): the
// service program's; for the setup wizard's installation also the
// uninstaller's and, when setup_program is given, the wizard's own.
std::vector<PolkitAction> satclock_polkit_actions(const std::string& prefix, bool wizard,
                                                  const std::string& setup_program = {});

// The policy file's XML text.
std::string polkit_policy_text(const std::vector<PolkitAction>& actions);

// Whether a policy's text has an action for program.
bool polkit_policy_names_program(const std::string& text, const std::string& program);

// The policy file: the package's or the setup wizard's, in the polkit actions
// folder ($SATCLOCK_POLKIT_DIR, else /usr/share/polkit-1/actions).
std::string polkit_policy_path(bool wizard);
