// The GNSS mode's check box and the refused-receiver hint.
#include "src/ui/gnss_box.h"

#include "src/receiver/receiver_state.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/widget_helpers.h"

#include <glib/gi18n.h>
#include <string>

namespace {

void on_gnss_toggled(GtkToggleButton* box, gpointer)
{
    app_settings.accept_gnss_talkers = gtk_toggle_button_get_active(box);
    receiver_accept_gnss(app_settings.accept_gnss_talkers);
    settings_post_bool(settings_keys::accept_gnss_talkers, app_settings.accept_gnss_talkers);
}

// Long (info page) or short (tray) text of the hint now; empty without one.
std::string hint_text(bool long_form)
{
    GnssHint hint = receiver_gnss_hint();
    gchar* text = nullptr;
    switch (hint.why) {
    case GnssRefusal::none:
        return {};
    case GnssRefusal::talker:
        // TRANSLATORS: %s is the receiver's two-letter talker, such as GN (GNSS) or GL (GLONASS).
        text = long_form ? g_strdup_printf(_("Receiver talks GNSS (%s): tick 'Accept GNSS receivers' on the GPS "
                                             "configuration page"), hint.talker)
                         : g_strdup_printf(_("GNSS receiver (%s): see GPS configuration"), hint.talker);
        break;
    case GnssRefusal::time_format:
        text = g_strdup(long_form ? _("Receiver sends whole-second times: tick 'Accept GNSS receivers' on the GPS "
                                      "configuration page")
                                  : _("Whole-second times: see GPS configuration"));
        break;
    case GnssRefusal::satellites:
        text = g_strdup(long_form ? _("Receiver sends a one-digit satellite count: tick 'Accept GNSS receivers' on "
                                      "the GPS configuration page")
                                  : _("One-digit satellite count: see GPS configuration"));
        break;
    }
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

const char* kept_or_null(std::string& kept, std::string text)
{
    kept = std::move(text);
    return kept.empty() ? nullptr : kept.c_str();
}

}  // namespace

void gnss_box_load_settings(void)
{
    settings_load(settings_keys::accept_gnss_talkers, app_settings.accept_gnss_talkers);
    receiver_accept_gnss(app_settings.accept_gnss_talkers);
}

GtkWidget* gnss_box_create(void)
{
    gnss_box_load_settings();
    // Wrapped: in some languages the text alone is wider than half a screen.
    return wrap_button_label(check_box_new(
        _("Accept GNSS receivers (GN, GL, GA, GB talkers, whole-second times)"),
        _("Also take the GGA and RMC sentences of receivers that talk as GN, GL, GA, GB or BD, send times "
          "without fractions of a second or a one-digit satellite count, and take the RMC status as the fix "
          "of a receiver that sends no GGA. Leave it unticked for a receiver that sends $GPGGA and $GPRMC."),
        app_settings.accept_gnss_talkers, G_CALLBACK(on_gnss_toggled)), 40);
}

GtkWidget* gnss_hint_label_new(void)
{
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_no_show_all(label, TRUE);  // shown only while there is a hint
    return label;
}

void gnss_hint_label_update(GtkWidget* label)
{
    if (!label)
        return;
    const char* text = gnss_hint_text();
    if (!text) {
        gtk_widget_hide(label);
        return;
    }
    gchar* markup = g_markup_printf_escaped("<span foreground=\"#c60\" weight=\"bold\">%s</span>", text);
    if (g_strcmp0(gtk_label_get_label(GTK_LABEL(label)), markup) != 0)
        gtk_label_set_markup(GTK_LABEL(label), markup);
    g_free(markup);
    gtk_widget_show(label);
}

const char* gnss_hint_text(void)
{
    static std::string kept;
    return kept_or_null(kept, hint_text(true));
}

const char* gnss_hint_short(void)
{
    static std::string kept;
    return kept_or_null(kept, hint_text(false));
}
