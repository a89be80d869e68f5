// The main window's fit to a small screen: pages in scrollers that ask for
// their page's size, and a cap on the window's request.
#include "src/ui/window_fit.h"

#include <algorithm>

namespace {

// Run after the scroller's own request, which counts only its scroll bar in
// the scrolled direction: ask for the page's height as well.
void on_page_size_request(GtkWidget* scroller, GtkRequisition* requisition, gpointer)
{
    GtkWidget* viewport = gtk_bin_get_child(GTK_BIN(scroller));
    if (!viewport || !gtk_widget_get_visible(viewport))
        return;
    GtkRequisition page{};
    gtk_widget_size_request(viewport, &page);
    requisition->height = std::max(requisition->height, page.height);
}

void on_window_size_request(GtkWidget*, GtkRequisition* requisition, gpointer)
{
    requisition->width = std::min(requisition->width, kFitWidth);
    requisition->height = std::min(requisition->height, kFitHeight);
}

}  // namespace

GtkWidget* window_fit_page(GtkWidget* page)
{
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_NONE);
    gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(scroller), page);
    gtk_viewport_set_shadow_type(GTK_VIEWPORT(gtk_bin_get_child(GTK_BIN(scroller))), GTK_SHADOW_NONE);
    g_signal_connect_after(scroller, "size-request", G_CALLBACK(on_page_size_request), nullptr);
    gtk_widget_show_all(scroller);
    return scroller;
}

void window_fit_screen(GtkWidget* window)
{
    g_signal_connect_after(window, "size-request", G_CALLBACK(on_window_size_request), nullptr);
}
