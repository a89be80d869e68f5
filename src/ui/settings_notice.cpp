// The settings notice: the problems of the settings store as sentences with
// their remedy, refreshed on the GUI thread when the store reports a change.
#include "src/ui/settings_notice.h"

#include "src/settings/settings.h"
#include "src/ui/widget_helpers.h"

#include <cerrno>
#include <cstring>
#include <glib/gi18n.h>
#include <string>
#include <utility>
#include <vector>

namespace {

// A longer list would push the pages down: the rest is counted.
constexpr size_t kShownProblems = 3;

GtkWidget* notice_box = nullptr;
GtkWidget* notice_label = nullptr;

gchar* expected_value(const SettingRow& row)
{
    switch (row.type) {
    case SettingType::boolean:
        return g_strdup(_("TRUE or FALSE"));
    case SettingType::integer:
        return g_strdup_printf(_("a whole number from %d to %d"), int(row.low), int(row.high));
    case SettingType::real:
        return g_strdup(_("a number with a decimal point"));
    case SettingType::text:
        break;
    }
    return g_strdup(_("a text"));
}

gchar* save_remedy(int error)
{
    switch (error) {
    case ENOENT:
        return g_strdup(_("Its folder is missing: reinstall Satclock."));
    case EROFS:
        return g_strdup(_("The file system is read-only."));
    case ENOSPC:
    case EDQUOT:
        return g_strdup(_("The disk is full: free some space."));
    case EINVAL:
        return g_strdup(_("The file cannot hold this value."));
    case EFBIG:
        return g_strdup(_("The file is far larger than settings ever are: move it aside or delete it."));
    default:
        return g_strdup("");
    }
}

gchar* bad_value_text(const SettingsProblem& problem, const char* path)
{
    const SettingRow* row = settings_row(problem.key);
    gchar* expected = row ? expected_value(*row) : g_strdup("");
    gchar* text = g_strdup_printf(_("Line %ld of %s, \"%s\": the value is not %s. Satclock uses %s; choosing the "
                                    "setting in this window writes the line anew."),
                                  problem.line, path, problem.text.c_str(), expected, problem.in_force.c_str());
    g_free(expected);
    return text;
}

gchar* not_saved_text(const SettingsProblem& problem, const char* path)
{
    gchar* remedy = save_remedy(problem.error);
    gchar* text = g_strdup_printf(_("The setting %s = \"%s\" could not be saved in %s (%s). It is in force until "
                                    "Satclock ends. %s"),
                                  problem.key.c_str(), problem.in_force.c_str(), path, g_strerror(problem.error),
                                  remedy);
    g_free(remedy);
    return text;
}

bool access_refused(const SettingsProblem& problem)
{
    return problem.kind == SettingsProblem::Kind::not_saved && (problem.error == EACCES || problem.error == EPERM);
}

// An account that may not write the settings gets one line for all the
// settings it changed, whichever they are.
std::vector<SettingsProblem> shown_problems()
{
    std::vector<SettingsProblem> shown;
    bool refused = false;
    for (const SettingsProblem& problem : settings_problems()) {
        if (access_refused(problem) && std::exchange(refused, true))
            continue;
        shown.push_back(problem);
    }
    return shown;
}

void refresh()
{
    if (!notice_label)
        return;
    std::vector<SettingsProblem> problems = shown_problems();
    std::string path = settings_path();
    std::string text;
    for (size_t i = 0; i < problems.size() && i < kShownProblems; ++i) {
        gchar* line = settings_problem_text(problems[i], path.c_str());
        text.append(text.empty() ? "" : "\n").append(line);
        g_free(line);
    }
    if (problems.size() > kShownProblems) {
        gchar* more = g_strdup_printf(_("... and %d more."), int(problems.size() - kShownProblems));
        text.append("\n").append(more);
        g_free(more);
    }
    gtk_label_set_text(GTK_LABEL(notice_label), text.c_str());
    if (text.empty())
        gtk_widget_hide(notice_box);
    else
        gtk_widget_show(notice_box);
}

GuiRefresh notice_refresh{refresh};

// Any thread (the settings writer's).
void post_refresh() { gui_refresh_post(notice_refresh); }

}  // namespace

gchar* settings_problem_text(const SettingsProblem& problem, const char* path)
{
    switch (problem.kind) {
    case SettingsProblem::Kind::unreadable_line:
        return g_strdup_printf(_("Line %ld of %s cannot be read: \"%s\". A setting is written as key=\"value\": "
                                 "correct the line or delete it."),
                               problem.line, path, problem.text.c_str());
    case SettingsProblem::Kind::bad_value:
        return bad_value_text(problem, path);
    case SettingsProblem::Kind::too_large:
        return g_strdup_printf(_("%s is larger than %d MiB, far larger than settings ever are: Satclock neither "
                                 "reads it nor writes to it, and uses its defaults. Move the file aside or delete "
                                 "it; Satclock then writes a new one."),
                               path, int(settings_file_cap >> 20));
    case SettingsProblem::Kind::not_saved:
        break;
    }
    if (access_refused(problem))
        return g_strdup_printf(_("Changes are not saved: this account may not write the settings (an administrator "
                                 "can allow it: sudo usermod -a -G users %s)."),
                               g_get_user_name());
    return not_saved_text(problem, path);
}

GtkWidget* settings_notice_new()
{
    GtkWidget* box = keep(notice_box, gtk_hbox_new(FALSE, 6));
    gtk_box_pack_start(GTK_BOX(box), gtk_image_new_from_stock(GTK_STOCK_DIALOG_WARNING, GTK_ICON_SIZE_BUTTON), FALSE,
                       FALSE, 0);
    GtkWidget* label = keep(notice_label, gtk_label_new(nullptr));
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);  // the command can be copied
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(box), label, TRUE, TRUE, 0);
    gtk_widget_show_all(box);
    gtk_widget_set_no_show_all(box, TRUE);
    settings_on_problems_changed(post_refresh);
    refresh();
    return box;
}

GtkWidget* settings_notice_label() { return notice_label; }
