// Satclock's polkit actions and their policy file.
#include "common/polkit_policy.h"

#include "platform/env.h"

namespace {

constexpr char kActionsFolder[] = "/usr/share/polkit-1/actions";

std::string xml_text(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

PolkitAction service_action(const std::string& prefix, const std::string& id)
{
    return {id,
            "Install or remove the Satclock time service",
            "Установка или удаление службы времени Satclock",
            "Authentication is required to install or remove the Satclock time service (clockkeeper), which sets "
            "the system clock",
            "Для установки или удаления службы времени Satclock (clockkeeper), которая устанавливает системное "
            "время, требуется аутентификация",
            prefix + "bin/clockkeeper",
            false};
}

void add_element(std::string* text, const char* element, const std::string& english, const std::string& russian)
{
    *text += std::string("    <") + element + ">" + xml_text(english) + "</" + element + ">\n";
    *text += std::string("    <") + element + " xml:lang=\"ru\">" + xml_text(russian) + "</" + element + ">\n";
}

}  // namespace

std::vector<PolkitAction> satclock_polkit_actions(const std::string& prefix, bool wizard,
                                                  const std::string& setup_program)
{
    if (!wizard)
        return {service_action(prefix, "org.example.satclock.service")};
    std::vector<PolkitAction> actions = {service_action(prefix, "org.example.satclock.wizard.service")};
    actions.push_back({"org.example.satclock.wizard.uninstall",
                       "Remove Satclock",
                       "Удаление Satclock",
                       "Authentication is required to remove Satclock from this computer: its time service, its "
                       "programs, its menu entries and every user's start at login",
                       "Для удаления Satclock с этого компьютера (службы времени, программ, пунктов меню и запуска "
                       "при входе всех пользователей) требуется аутентификация",
                       prefix + "uninstall",
                       true});
    if (!setup_program.empty())
        actions.push_back({"org.example.satclock.wizard.setup",
                           "Install Satclock",
                           "Установка Satclock",
                           "Authentication is required to install Satclock: its programs, the time service that sets "
                           "the system clock, and its menu entries",
                           "Для установки Satclock (программ, службы времени, которая устанавливает системное время, и "
                           "пунктов меню) требуется аутентификация",
                           setup_program,
                           true});
    return actions;
}

std::string polkit_policy_text(const std::vector<PolkitAction>& actions)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE policyconfig PUBLIC \"-//freedesktop//DTD PolicyKit Policy Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/PolicyKit/1/policyconfig.dtd\">\n"
        "<policyconfig>\n"
        "  <vendor>Quillmarsh</vendor>\n"
        "  <vendor_url>https://satclock.example.org/</vendor_url>\n";
    for (const PolkitAction& action : actions) {
        text += "  <action id=\"" + xml_text(action.id) + "\">\n";
        add_element(&text, "description", action.description, action.description_ru);
        add_element(&text, "message", action.message, action.message_ru);
        text += "    <defaults>\n      <allow_any>auth_admin</allow_any>\n"
                "      <allow_inactive>auth_admin</allow_inactive>\n"
                "      <allow_active>auth_admin</allow_active>\n    </defaults>\n";
        text += "    <annotate key=\"org.freedesktop.policykit.exec.path\">" + xml_text(action.program) +
                "</annotate>\n";
        if (action.gui)
            text += "    <annotate key=\"org.freedesktop.policykit.exec.allow_gui\">true</annotate>\n";
        text += "  </action>\n";
    }
    return text + "</policyconfig>\n";
}

bool polkit_policy_names_program(const std::string& text, const std::string& program)
{
    return text.find("\"org.freedesktop.policykit.exec.path\">" + xml_text(program) + "</annotate>") !=
           std::string::npos;
}

std::string polkit_policy_path(bool wizard)
{
    std::string folder = env_value("SATCLOCK_POLKIT_DIR");
    if (folder.empty())
        folder = kActionsFolder;
    return folder + (wizard ? "/org.example.satclock.wizard.policy" : "/org.example.satclock.policy");
}
