// Wizard test helpers.
#include "tests/installer/wizard_support.h"

#include "common/install_text.h"
#include "satsetup/install_state.h"
#include "satsetup/installation.h"
#include "satsetup/wizard.h"
#include "tests/support/gtk_display.h"

#include <chrono>

namespace {

struct PendingAnswer {
    int response;
    std::string* text;
};

gboolean answer_message(gpointer data)
{
    auto* answer = static_cast<PendingAnswer*>(data);
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* box = nullptr;
    for (GList* item = windows; item; item = item->next)
        if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
            box = GTK_WIDGET(item->data);
    g_list_free(windows);
    if (!box)
        return TRUE;
    if (answer->text) {
        gchar* text = nullptr;
        g_object_get(box, "text", &text, nullptr);
        *answer->text = text ? text : "";
        g_free(text);
    }
    gtk_dialog_response(GTK_DIALOG(box), answer->response);
    delete answer;
    return FALSE;
}

struct PendingAnswers {
    std::vector<int> responses;
    std::vector<std::string>* texts;
    GtkWidget* last = nullptr;
};

gboolean answer_messages(gpointer data)
{
    auto* answers = static_cast<PendingAnswers*>(data);
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* box = nullptr;
    for (GList* item = windows; item; item = item->next)
        if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)) &&
            item->data != answers->last)
            box = GTK_WIDGET(item->data);
    g_list_free(windows);
    if (!box)
        return TRUE;
    gchar* text = nullptr;
    g_object_get(box, "text", &text, nullptr);
    answers->texts->push_back(text ? text : "");
    g_free(text);
    answers->last = box;
    int response = answers->responses.front();
    answers->responses.erase(answers->responses.begin());
    gtk_dialog_response(GTK_DIALOG(box), response);
    if (!answers->responses.empty())
        return TRUE;
    delete answers;
    return FALSE;
}

}  // namespace

void answer_next_messages(const std::vector<int>& responses, std::vector<std::string>* texts)
{
    g_timeout_add(20, answer_messages, new PendingAnswers{responses, texts});
}

bool wizard_display() { return open_gtk_display(); }

void answer_next_message(int response, std::string* text)
{
    g_timeout_add(20, answer_message, new PendingAnswer{response, text});
}

std::string label_text(GtkWidget* label) { return gtk_label_get_text(GTK_LABEL(label)); }

std::string button_text(GtkWidget* button)
{
    const char* text = gtk_button_get_label(GTK_BUTTON(button));
    return text ? text : "";
}

std::string window_title() { return gtk_window_get_title(GTK_WINDOW(wizard.frame)); }

bool is_ticked(GtkWidget* box) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(box)); }

void open_wizard(const std::string& command_line)
{
    language_index = -1;
    handover_file.clear();
    install_result = kNoRun;
    settings_backed_up = false;
    install_dir_existed = data_dir_existed = true;
    service_install_started = registry_entries_written = false;
    select_text_catalogue(false);
    parse_wizard_command_line(command_line);
    wizard_create();
    pump_for(50);
}

void close_wizard()
{
    if (wizard_closed() || !wizard.frame)
        return;
    if (page_index == kInstallingPage)
        gtk_button_clicked(GTK_BUTTON(wizard.cancel));
    if (page_index < kInstallingPage)
        answer_next_message(GTK_RESPONSE_OK);
    if (page_index == kFinishPage) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.launch_box), FALSE);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.autorun_box), FALSE);
    }
    gtk_button_clicked(GTK_BUTTON(wizard.cancel));
    pump_for(20);
}

void next_to(int page)
{
    while (page_index < page && page_index < kInstallingPage)
        gtk_button_clicked(GTK_BUTTON(wizard.next));
}

std::string what_is_cut()
{
    std::string cut;
    for (GtkWidget* button : {wizard.back, wizard.next, wizard.cancel}) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
        GtkRequisition asked{};
        gtk_widget_size_request(child, &asked);
        if (gtk_widget_get_visible(button) && child->allocation.width < asked.width)
            cut += "button " + button_text(button) + "; ";
    }
    GtkWidget* page = wizard.pages[page_index];
    GtkRequisition asked{};
    gtk_widget_size_request(page, &asked);
    if (page->allocation.height < asked.height || page->allocation.width < asked.width)
        cut += "page " + std::to_string(page_index);
    return cut;
}
