// About page: program name, version and date, links, translator and GTK version.
#include "src/ui/about_page.h"

#include "src/correction/calendar.h"
#include "src/ui/app.h"
#include "src/ui/help.h"
#include "src/ui/main_window.h"
#include "src/ui/resources.h"

#include <cstring>
#include <gdk/gdkkeysyms.h>
#include <glib/gi18n.h>

GtkWidget* about_text_view = nullptr;
bool about_link_hover = false;

namespace {

// 19 September 2018 as a J2000 day number.
constexpr double last_change_jd = 6836.0;
constexpr char gtk_site[] = "https://www.gtk.org/";
constexpr char credit_key[] = "Last-Translator:";
constexpr size_t credit_key_length = sizeof credit_key - 1;
// The message id whose translation is the catalogue's header entry.
constexpr char catalogue_header_id[] = "";

enum AboutPage { about_text = 1, about_home = 2, about_mail = 3, about_gtk = 4 };

GdkCursor* about_cursor_hand = nullptr;
GdkCursor* about_cursor_text = nullptr;

void insert_link(GtkTextBuffer* buffer, GtkTextIter* at, int page, const char* text, GtkTextTag* extra = nullptr)
{
    GtkTextTag* tag =
        gtk_text_buffer_create_tag(buffer, nullptr, "foreground", "blue", "underline", PANGO_UNDERLINE_SINGLE, nullptr);
    g_object_set_data(G_OBJECT(tag), "page", GINT_TO_POINTER(page));
    gtk_text_buffer_insert_with_tags(buffer, at, text, -1, tag, extra, nullptr);
}

void insert_link_text(GtkTextBuffer* buffer, GtkTextIter* at, int page, const char* address)
{
    gchar* text = g_strconcat(" ", address, nullptr);
    insert_link(buffer, at, page, text);
    g_free(text);
}

void fill_text(GtkTextBuffer* buffer)
{
    GtkTextTag* centre = gtk_text_buffer_create_tag(buffer, nullptr, "justification", GTK_JUSTIFY_CENTER, nullptr);
    gtk_text_buffer_set_text(buffer, "", 0);
    GtkTextIter at;
    gtk_text_buffer_get_iter_at_offset(buffer, &at, 0);
    gtk_text_buffer_insert(buffer, &at, "\n\n", -1);
    gtk_text_buffer_insert(buffer, &at, " ", -1);
    gtk_text_buffer_insert(buffer, &at, _("Home Page:"), -1);
    insert_link_text(buffer, &at, about_home, satclock_home_page);
    gtk_text_buffer_insert(buffer, &at, "\n ", -1);
    gtk_text_buffer_insert(buffer, &at, _("E-mail:"), -1);
    insert_link_text(buffer, &at, about_mail, satclock_email);
    if (gchar* credit = about_translator_credit(gettext(catalogue_header_id))) {
        gtk_text_buffer_insert(buffer, &at, "\n\n ", -1);
        gtk_text_buffer_insert(buffer, &at, _("Translation by"), -1);
        gtk_text_buffer_insert(buffer, &at, "  ", -1);
        gtk_text_buffer_insert(buffer, &at, credit, -1);
        g_free(credit);
    }
    gtk_text_buffer_insert(buffer, &at, "\n\n ", -1);
    gtk_text_buffer_insert(buffer, &at, _("Developed using GTK+ library"), -1);
    gchar* version = about_gtk_version_text(gtk_major_version, gtk_minor_version, gtk_micro_version);
    gtk_text_buffer_insert(buffer, &at, version, -1);
    g_free(version);
    gtk_text_buffer_insert(buffer, &at, "  ", -1);
    insert_link(buffer, &at, about_gtk, gtk_site, centre);
    gtk_text_buffer_insert(buffer, &at, "\n", -1);
}

void follow_link_at(GtkTextView* view, gint widget_x, gint widget_y)
{
    gint x = 0, y = 0;
    gtk_text_view_window_to_buffer_coords(view, GTK_TEXT_WINDOW_WIDGET, widget_x, widget_y, &x, &y);
    GtkTextIter iter;
    gtk_text_view_get_iter_at_location(view, &iter, x, y);
    about_follow_link(view, &iter);
}

gboolean on_key_press(GtkWidget* widget, GdkEventKey* event, gpointer)
{
    if (event->keyval != GDK_Return && event->keyval != GDK_KP_Enter)
        return FALSE;
    GtkTextView* view = GTK_TEXT_VIEW(widget);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
    GtkTextIter iter;
    gtk_text_buffer_get_iter_at_mark(buffer, &iter, gtk_text_buffer_get_insert(buffer));
    about_follow_link(view, &iter);
    return FALSE;
}

// A release of button 1 opens the link under it, unless the press-and-drag
// that ended there selected text.
void on_event_after(GtkWidget* widget, GdkEvent* event, gpointer)
{
    if (event->type != GDK_BUTTON_RELEASE || event->button.button != 1)
        return;
    GtkTextView* view = GTK_TEXT_VIEW(widget);
    GtkTextIter start, end;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
    if (gtk_text_buffer_get_selection_bounds(buffer, &start, &end) &&
        gtk_text_iter_get_offset(&start) != gtk_text_iter_get_offset(&end))
        return;
    follow_link_at(view, gint(event->button.x), gint(event->button.y));
}

gboolean on_motion_notify(GtkWidget* widget, GdkEventMotion* event, gpointer)
{
    GtkTextView* view = GTK_TEXT_VIEW(widget);
    gint x = 0, y = 0;
    gtk_text_view_window_to_buffer_coords(view, GTK_TEXT_WINDOW_WIDGET, gint(event->x), gint(event->y), &x, &y);
    about_update_cursor(view, x, y);
    gdk_window_get_pointer(widget->window, nullptr, nullptr, nullptr);
    return FALSE;
}

gboolean on_visibility_notify(GtkWidget* widget, GdkEventVisibility*, gpointer)
{
    GtkTextView* view = GTK_TEXT_VIEW(widget);
    gint wx = 0, wy = 0, x = 0, y = 0;
    gdk_window_get_pointer(widget->window, &wx, &wy, nullptr);
    gtk_text_view_window_to_buffer_coords(view, GTK_TEXT_WINDOW_WIDGET, wx, wy, &x, &y);
    about_update_cursor(view, x, y);
    return FALSE;
}

void on_view_destroy(GtkWidget*, gpointer)
{
    about_text_view = nullptr;
    about_link_hover = false;
}

GtkWidget* heading()
{
    GtkWidget* row = gtk_hbox_new(FALSE, 12);
    GdkPixbuf* icon = res_load_pixbuf("icon.png");
    GtkWidget* image = icon ? gtk_image_new_from_pixbuf(icon) : gtk_image_new();
    if (icon)
        g_object_unref(icon);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    gchar* date = jd_format_date(last_change_jd);
    gchar* markup = g_markup_printf_escaped(
        "<span foreground=\"#00f\" weight=\"bold\" size=\"x-large\">Satclock v.%s</span><b>  (%s)</b>",
        program_version, date);
    g_free(date);
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label), markup);
    g_free(markup);
    if (shared_tooltips)
        gtk_tooltips_set_tip(shared_tooltips, label, _("The program name, its version and date of the last change."),
                             nullptr);
    gtk_box_pack_start(GTK_BOX(row), label, FALSE, FALSE, 10);
    return row;
}

GtkWidget* link_view()
{
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD);
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    g_signal_connect(view, "key-press-event", G_CALLBACK(on_key_press), nullptr);
    g_signal_connect(view, "event-after", G_CALLBACK(on_event_after), nullptr);
    g_signal_connect(view, "motion-notify-event", G_CALLBACK(on_motion_notify), nullptr);
    g_signal_connect(view, "visibility-notify-event", G_CALLBACK(on_visibility_notify), nullptr);
    g_signal_connect(view, "destroy", G_CALLBACK(on_view_destroy), nullptr);
    return view;
}

}  // namespace

GtkWidget* build_about_page()
{
    GtkWidget* page = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(page), 4);
    gtk_box_pack_start(GTK_BOX(page), heading(), FALSE, FALSE, 0);
    GtkWidget* inner = gtk_vbox_new(FALSE, 2);
    gtk_box_pack_start(GTK_BOX(page), inner, TRUE, TRUE, 0);
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_ETCHED_IN);
    gtk_box_pack_start(GTK_BOX(inner), scrolled, TRUE, TRUE, 0);

    if (!about_cursor_hand)
        about_cursor_hand = gdk_cursor_new(GDK_HAND2);
    if (!about_cursor_text)
        about_cursor_text = gdk_cursor_new(GDK_XTERM);
    about_link_hover = false;
    about_text_view = link_view();
    gtk_container_add(GTK_CONTAINER(scrolled), about_text_view);
    about_open_page(gtk_text_view_get_buffer(GTK_TEXT_VIEW(about_text_view)), about_text);
    gtk_widget_set_size_request(about_text_view, -1, 90);
    return page;
}

void about_open_page(GtkTextBuffer* buffer, int page)
{
    switch (page) {
    case about_text:
        fill_text(buffer);
        break;
    case about_home:
        open_url(satclock_home_page);
        break;
    case about_mail: {
        gchar* mail = g_strdup_printf("mailto:%s?Subject=Satclock", satclock_email);
        open_url(mail);
        g_free(mail);
        break;
    }
    case about_gtk:
        open_url(gtk_site);
        break;
    default:
        break;
    }
}

void about_follow_link(GtkTextView* view, GtkTextIter* iter)
{
    GSList* tags = gtk_text_iter_get_tags(iter);
    for (GSList* at = tags; at; at = at->next) {
        int page = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(at->data), "page"));
        if (page != 0) {
            about_open_page(gtk_text_view_get_buffer(view), page);
            break;
        }
    }
    g_slist_free(tags);
}

void about_update_cursor(GtkTextView* view, gint x, gint y)
{
    GtkTextIter iter;
    gtk_text_view_get_iter_at_location(view, &iter, x, y);
    bool hovering = false;
    GSList* tags = gtk_text_iter_get_tags(&iter);
    for (GSList* at = tags; at && !hovering; at = at->next)
        hovering = g_object_get_data(G_OBJECT(at->data), "page") != nullptr;
    g_slist_free(tags);
    if (hovering == about_link_hover)
        return;
    about_link_hover = hovering;
    if (GdkWindow* window = gtk_text_view_get_window(view, GTK_TEXT_WINDOW_TEXT))
        gdk_window_set_cursor(window, hovering ? about_cursor_hand : about_cursor_text);
}

gchar* about_translator_credit(const char* header)
{
    if (!header)
        return nullptr;
    gchar** lines = g_strsplit(header, "\n", -1);
    gchar* credit = nullptr;
    for (gchar** line = lines; *line && !credit; ++line)
        if (std::strncmp(*line, credit_key, credit_key_length) == 0)
            credit = g_strdup(*line + credit_key_length);
    g_strfreev(lines);
    return credit;
}

gchar* about_gtk_version_text(guint major, guint minor, guint micro)
{
    if (micro != 0)
        return g_strdup_printf(" v.%u.%u.%u", major, minor, micro);
    return g_strdup_printf(" v.%u.%u", major, minor);
}
