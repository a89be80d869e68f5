// Main window contents and menus: page switching, help, home page and quit.
#include "src/ui/main_window.h"

#include "src/ui/about_page.h"
#include "src/ui/app.h"
#include "src/ui/chrony_frame.h"
#include "src/ui/config_page.h"
#include "src/ui/help.h"
#include "src/ui/info_page.h"
#include "src/ui/pixtex.h"
#include "src/ui/preferences_page.h"
#include "src/ui/settings_notice.h"
#include "src/ui/window_fit.h"

#include <cstdio>
#include <cstring>
#include <gdk/gdkkeysyms.h>
#include <glib/gi18n.h>

GtkAccelGroup* main_accel_group = nullptr;
GtkWidget* main_notebook = nullptr;
int menu_current_page = -1;

const char satclock_home_page[] = "https://satclock.example.org/";
const char satclock_email[] = "satclock@example.org";

namespace {

struct PageAction {
    const char* action;
    int page;
};

constexpr PageAction page_actions[] = {
    {"gps_info", 0}, {"gps_config", 1}, {"preference", 2}, {"about", 3}};

int page_of_action(const gchar* action)
{
    for (const PageAction& entry : page_actions)
        if (std::strcmp(entry.action, action) == 0)
            return entry.page;
    return -1;
}

// Menu texts carry one blank before and two after the translated text.
gchar* menu_text(const gchar* text)
{
    return g_strdup_printf(" %s  ", text);
}

GtkWidget* menu_item_fill(GtkWidget* item, GtkWidget* menu, const gchar* pixfile, const gchar* text,
                          const gchar* accel_text, const gchar* action)
{
    GtkWidget* align = gtk_alignment_new(0.0, 0.5, 0.0, 0.0);
    GtkWidget* content = pixfile ? pixtex_new_from_resource(pixfile, text, 16, 16) : gtk_label_new(text);
    gtk_container_add(GTK_CONTAINER(align), content);
    if (!accel_text) {
        gtk_container_add(GTK_CONTAINER(item), align);
    } else {
        GtkWidget* row = gtk_hbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(row), align, FALSE, FALSE, 0);
        gtk_box_pack_end(GTK_BOX(row), gtk_label_new(accel_text), FALSE, FALSE, 0);
        gtk_container_add(GTK_CONTAINER(item), row);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    g_signal_connect(item, "activate", G_CALLBACK(menu_activate), const_cast<gchar*>(action));
    return item;
}

void bind_key(GtkWidget* item, guint key, GdkModifierType modifiers)
{
    gtk_widget_add_accelerator(item, "activate", main_accel_group, key, modifiers, GTK_ACCEL_VISIBLE);
}

struct MenuEntry {
    const char* pixfile;
    const char* text;  // untranslated
    const char* accel_text;
    const char* action;
    guint key;         // 0: no key binding
    GdkModifierType modifiers;
};

const MenuEntry options_pages[] = {
    {"info.png", N_("GPS info"), "Ctrl+1", "gps_info", GDK_1, GDK_CONTROL_MASK},
    {"configure.png", N_("GPS Configuration"), "Ctrl+2", "gps_config", GDK_2, GDK_CONTROL_MASK},
    {"preferences.png", N_("Preferences"), "Ctrl+3", "preference", GDK_3, GDK_CONTROL_MASK},
    {"about.png", N_("About"), "Ctrl+4", "about", GDK_4, GDK_CONTROL_MASK},
};
const MenuEntry quit_entry = {"quit.png", N_("Quit"), "Ctrl+Q", "quit", GDK_Q, GDK_CONTROL_MASK};
const MenuEntry help_entries[] = {
    {"help.png", N_("Contents"), "F1", "help", GDK_F1, GdkModifierType(0)},
    {"about.png", N_("About"), "Ctrl+4", "about", 0, GdkModifierType(0)},
    {"web.png", N_("Satclock Homepage"), "      ", "online", 0, GdkModifierType(0)},
};

GtkWidget* add_entry(GtkWidget* menu, const MenuEntry& entry, GSList* group, bool radio)
{
    gchar* text = menu_text(_(entry.text));
    GtkWidget* item = radio
        ? radio_menu_item_new(menu, group, entry.pixfile, text, entry.accel_text, entry.action)
        : menu_item_new(menu, entry.pixfile, text, entry.accel_text, entry.action);
    g_free(text);
    if (entry.key != 0)
        bind_key(item, entry.key, entry.modifiers);
    return item;
}

GtkWidget* submenu_in(GtkWidget* bar, const gchar* mnemonic)
{
    GtkWidget* top = gtk_menu_item_new_with_mnemonic(mnemonic);
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    return menu;
}

void on_help_clicked(GtkButton*, gpointer) { help_show(); }

void on_close_clicked(GtkButton*, gpointer)
{
    if (main_window)
        main_window_close(main_window);
}

GtkWidget* tab_label(const gchar* pixfile, const gchar* text)
{
    return pixtex_new_from_resource(pixfile, text, 24, 24);
}

void build_notebook()
{
    // Built in this order because each page loads its settings while it is built,
    // and the Preferences page decides the start-up's behaviour.
    GtkWidget* preferences = create_preferences_page();
    GtkWidget* config = create_config_page();
    config_page_add_row(config, chrony_frame_create());
    GtkWidget* info = create_info_page();
    GtkWidget* about = build_about_page();
    // Pages scroll where a small screen leaves them less room than they would like.
    for (GtkWidget** page : {&info, &config, &preferences, &about})
        *page = window_fit_page(*page);
    GtkNotebook* notebook = GTK_NOTEBOOK(main_notebook);
    gtk_notebook_append_page(notebook, info, tab_label("info.png", _("GPS info")));
    gtk_notebook_append_page(notebook, config, tab_label("configure.png", _("GPS Configuration")));
    gtk_notebook_append_page(notebook, preferences, tab_label("preferences.png", _("Preferences")));
    gtk_notebook_append_page(notebook, about, tab_label("about.png", _("About")));
    gtk_notebook_set_tab_label_packing(notebook, info, FALSE, FALSE, GTK_PACK_START);
    gtk_notebook_set_tab_label_packing(notebook, config, FALSE, FALSE, GTK_PACK_START);
}

GtkWidget* build_button_row()
{
    GtkWidget* row = gtk_hbutton_box_new();
    gtk_button_box_set_layout(GTK_BUTTON_BOX(row), GTK_BUTTONBOX_END);
    gtk_box_set_spacing(GTK_BOX(row), 10);
    GtkWidget* help = gtk_button_new();
    gtk_container_add(GTK_CONTAINER(help), pixtex_new_from_resource("help.png", _("Help"), 16, 16));
    GtkWidget* close = gtk_button_new();
    gtk_container_add(GTK_CONTAINER(close), pixtex_new_from_stock("gtk-ok", _("Close"), 16, 16));
    gtk_container_add(GTK_CONTAINER(row), help);
    gtk_container_add(GTK_CONTAINER(row), close);
    g_signal_connect(help, "clicked", G_CALLBACK(on_help_clicked), nullptr);
    g_signal_connect(close, "clicked", G_CALLBACK(on_close_clicked), nullptr);
    return row;
}

}  // namespace

GtkWidget* create_main_contents()
{
    GtkWidget* outer = gtk_vbox_new(FALSE, 4);
    gtk_container_add(GTK_CONTAINER(main_window), outer);
    window_fit_screen(main_window);
    gtk_box_pack_start(GTK_BOX(outer), create_menu_bar(), FALSE, TRUE, 0);
    GtkWidget* inner = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(inner), 6);
    gtk_box_pack_start(GTK_BOX(outer), inner, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(inner), settings_notice_new(), FALSE, FALSE, 0);
    main_notebook = gtk_notebook_new();
    gtk_notebook_set_show_border(GTK_NOTEBOOK(main_notebook), FALSE);
    gtk_box_pack_start(GTK_BOX(inner), main_notebook, TRUE, TRUE, 0);
    build_notebook();
    gtk_box_pack_start(GTK_BOX(inner), build_button_row(), FALSE, FALSE, 0);
    gtk_widget_show_all(outer);
    return outer;
}

GtkWidget* create_menu_bar()
{
    main_accel_group = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(main_window), main_accel_group);
    GtkWidget* bar = gtk_menu_bar_new();

    GtkWidget* options = submenu_in(bar, _("_Options"));
    GSList* group = nullptr;
    for (const MenuEntry& entry : options_pages) {
        GtkWidget* item = add_entry(options, entry, group, true);
        group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(options), gtk_separator_menu_item_new());
    add_entry(options, quit_entry, nullptr, false);

    GtkWidget* help = submenu_in(bar, _("_Help"));
    for (const MenuEntry& entry : help_entries)
        add_entry(help, entry, nullptr, false);
    return bar;
}

GtkWidget* menu_item_new(GtkWidget* menu, const gchar* pixfile, const gchar* text,
                         const gchar* accel_text, const gchar* action)
{
    return menu_item_fill(gtk_menu_item_new(), menu, pixfile, text, accel_text, action);
}

GtkWidget* radio_menu_item_new(GtkWidget* menu, GSList* group, const gchar* pixfile,
                               const gchar* text, const gchar* accel_text, const gchar* action)
{
    return menu_item_fill(gtk_radio_menu_item_new(group), menu, pixfile, text, accel_text, action);
}

void menu_activate(GtkMenuItem* item, const gchar* action)
{
    std::printf("menuitem %s\n", action);
    if (GTK_IS_RADIO_MENU_ITEM(item)) {
        if (!gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)))
            return;
        int page = page_of_action(action);
        if (page != menu_current_page)
            gtk_notebook_set_current_page(GTK_NOTEBOOK(main_notebook), page);
        menu_current_page = page;
        return;
    }
    if (std::strcmp(action, "online") == 0)
        open_url(satclock_home_page);
    if (std::strcmp(action, "help") == 0)
        help_show();
    if (std::strcmp(action, "quit") == 0 && main_window)
        gtk_widget_destroy(main_window);
    if (std::strcmp(action, "about") == 0)
        gtk_notebook_set_current_page(GTK_NOTEBOOK(main_notebook), 3);
}
