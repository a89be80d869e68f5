// The NMEA view: received bytes as text, in a small font, emptied now and
// then so that a long run does not grow the buffer without end.
#include "src/ui/nmea_view.h"

#include "src/receiver/receiver_threads.h"

#include <cstring>
#include <glib/gi18n.h>
#include <string>

long nmea_view_count = 0;

namespace {

constexpr int kFeedMax = 300;       // bytes taken from the ring per refresh
constexpr int kFeedBuffer = 302;    // zeroed, a little longer than that
constexpr char kSmallText[] = "small_text";
constexpr double kSmallTextScale = 0.8333333333333;

GtkWidget* view = nullptr;          // the text view; null once destroyed
GtkWidget* overrun_label = nullptr; // null once destroyed
GtkTextMark* end_mark = nullptr;    // stays at the end of the text
bool after_cr = false;              // the last text appended ended with a carriage return

void forget_view(GtkWidget*, gpointer)
{
    view = nullptr;
    end_mark = nullptr;
}

void forget_overrun_label(GtkWidget*, gpointer) { overrun_label = nullptr; }

RingOverrun shown_view{}, shown_analiz{};  // what the overrun line says

GtkTextBuffer* view_buffer() { return view ? gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)) : nullptr; }

bool at_line_start()
{
    GtkTextBuffer* buffer = view_buffer();
    GtkTextIter end;
    if (!buffer)
        return true;
    gtk_text_buffer_get_end_iter(buffer, &end);
    return !gtk_text_iter_backward_char(&end) || gtk_text_iter_get_char(&end) == '\n';
}

// The line marking where the ring overran the view, once per overrun.
void mark_loss(uint64_t lost_bytes)
{
    gchar* text = g_strdup_printf(_("[receive buffer overrun, lost bytes: %llu]"),
                                  static_cast<unsigned long long>(lost_bytes));
    std::string line = std::string(at_line_start() ? "" : "\n") + text + "\n";
    g_free(text);
    nmea_view_append(line.c_str(), kSmallText);
    after_cr = false;
}

// Every CR, LF and CR LF becomes one LF, also when a refresh splits a CR LF:
// the text view takes a lone CR or LF as a line break of its own, so a split
// pair would show as an empty line. In place; the text only gets shorter.
void one_line_break_each(gchar* text)
{
    gchar* out = text;
    for (const gchar* in = text; *in; ++in) {
        if (*in == '\n' && after_cr) {
            after_cr = false;
            continue;
        }
        after_cr = *in == '\r';
        *out++ = after_cr ? '\n' : *in;
    }
    *out = '\0';
}

}  // namespace

GtkWidget* nmea_view_new()
{
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_ETCHED_IN);
    view = gtk_text_view_new();
    g_signal_connect(view, "destroy", G_CALLBACK(forget_view), nullptr);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_CHAR);
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    GtkTextBuffer* buffer = view_buffer();
    gtk_text_buffer_create_tag(buffer, kSmallText, "scale", kSmallTextScale, nullptr);
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    end_mark = gtk_text_buffer_create_mark(buffer, nullptr, &end, FALSE);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    GtkWidget* box = gtk_vbox_new(FALSE, 2);
    gtk_box_pack_start(GTK_BOX(box), scrolled, TRUE, TRUE, 0);
    overrun_label = gtk_label_new(nullptr);
    g_signal_connect(overrun_label, "destroy", G_CALLBACK(forget_overrun_label), nullptr);
    gtk_misc_set_alignment(GTK_MISC(overrun_label), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(box), overrun_label, FALSE, FALSE, 0);
    gtk_widget_show_all(box);
    gtk_widget_set_no_show_all(overrun_label, TRUE);
    gtk_widget_hide(overrun_label);
    shown_view = shown_analiz = RingOverrun{};
    nmea_view_overrun_refresh();
    return box;
}

GtkWidget* nmea_view_widget() { return view; }

GtkWidget* nmea_view_overrun_label() { return overrun_label; }

void nmea_view_overrun_refresh()
{
    RingOverrun view_now = receiver_ring_overrun_view(), analiz_now = receiver_ring_overrun_analiz();
    if (!overrun_label || (view_now.count == shown_view.count && analiz_now.count == shown_analiz.count &&
                           gtk_widget_get_visible(overrun_label) == (view_now.count + analiz_now.count > 0)))
        return;
    shown_view = view_now;
    shown_analiz = analiz_now;
    gchar* text = g_strdup_printf(_("Receive buffer overruns: NMEA view %u (lost bytes: %llu), analysis %u (lost "
                                    "bytes: %llu)"),
                                  view_now.count, static_cast<unsigned long long>(view_now.lost_bytes),
                                  analiz_now.count, static_cast<unsigned long long>(analiz_now.lost_bytes));
    gtk_label_set_text(GTK_LABEL(overrun_label), text);
    g_free(text);
    gtk_widget_set_visible(overrun_label, view_now.count + analiz_now.count > 0);
}

gchar* nmea_view_text(const uint8_t* bytes, int count)
{
    if (count <= 0)
        return g_strdup("");
    gsize written = 0;
    gchar* text = g_locale_to_utf8(reinterpret_cast<const gchar*>(bytes), count, nullptr, &written, nullptr);
    // A NUL (a framing error on a wrong speed reads as one) is text in no
    // charset, and the text buffer takes none.
    if (text && !std::memchr(text, '\0', written))
        return text;
    g_free(text);
    return g_strdup_printf("%s %d %s (%s)\n", _("received bad data"), count, ngettext("byte", "bytes", count),
                           _("need change baudrate"));
}

void nmea_view_append(const char* text, const char* tag)
{
    GtkTextBuffer* buffer = view_buffer();
    if (!buffer || !text)
        return;
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    gtk_text_buffer_insert_with_tags_by_name(buffer, &end, text, -1, tag, nullptr);
    // Through a mark: the view scrolls once the new lines have been measured.
    gtk_text_buffer_get_end_iter(buffer, &end);
    gtk_text_buffer_move_mark(buffer, end_mark, &end);
    gtk_text_view_scroll_to_mark(GTK_TEXT_VIEW(view), end_mark, 0.0, TRUE, 0.0, 0.5);
}

void nmea_view_clear()
{
    if (GtkTextBuffer* buffer = view_buffer())
        gtk_text_buffer_set_text(buffer, "", 0);
}

void nmea_view_feed()
{
    uint8_t bytes[kFeedBuffer] = {};
    uint64_t lost_before = receiver_ring_overrun_view().lost_bytes;
    int count = receiver_ring_read_view(bytes, kFeedMax);
    uint64_t lost = receiver_ring_overrun_view().lost_bytes - lost_before;
    if (lost > 0)
        mark_loss(lost);
    // Nothing new: no append, so a user who scrolled back stays where he is.
    if (count <= 0)
        return;
    gchar* text = nmea_view_text(bytes, count);
    one_line_break_each(text);
    nmea_view_append(text, kSmallText);
    nmea_view_count += static_cast<long>(std::strlen(text));
    g_free(text);
    if (nmea_view_count > nmea_view_limit) {
        nmea_view_count = 0;
        nmea_view_clear();
    }
}
