// Pictures of the bundle and the picture-and-text widget.
#include "src/ui/pixtex.h"
#include "src/ui/resources.h"
#include "tests/ui/ui_test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(Pictures, MissingPictureWarnsAndGivesAnEmptyImageBesideTheText)
{
    LogCapture log;
    GtkWidget* widget = pixtex_new_from_resource("no-such-picture.png", "Text stays", 16, 16);
    g_object_ref_sink(widget);
    ASSERT_EQ(1u, log.messages().size());
    EXPECT_EQ("Resource file not found: /org/gtk/app/pictures/no-such-picture.png", log.messages()[0]);
    Mygtk_pixtex* pixtex = MYGTK_PIXTEX(widget);
    ASSERT_TRUE(GTK_IS_IMAGE(pixtex->image));
    EXPECT_EQ(GTK_IMAGE_EMPTY, gtk_image_get_storage_type(GTK_IMAGE(pixtex->image)));
    EXPECT_STREQ("Text stays", gtk_label_get_text(GTK_LABEL(pixtex->label)));
    EXPECT_STREQ("Text stays", gtk_widget_get_name(widget));
    g_object_unref(widget);
}

TEST(Pictures, ResourcePathOfAMissingOrEmptyName)
{
    LogCapture log;
    EXPECT_EQ(nullptr, res_get_res_path("absent.png"));
    EXPECT_EQ(nullptr, res_load_pixbuf("absent.png"));
    EXPECT_EQ(nullptr, res_get_res_path(nullptr));
    ASSERT_EQ(3u, log.messages().size());
    EXPECT_EQ("Resource file not found: /org/gtk/app/pictures/absent.png", log.messages()[0]);
    EXPECT_EQ("res_get_res_path: assertion 'pixfile != NULL' failed", log.messages()[2]);
}

TEST(Pictures, BundleHoldsEachPictureAtItsSize)
{
#ifndef SATCLOCK_HAVE_PICTURES
    GTEST_SKIP() << "built without the picture bundle";
#endif
    struct Size {
        const char* file;
        int width, height;
    } const sizes[] = {
        {"info.png", 94, 94}, {"configure.png", 60, 60}, {"preferences.png", 48, 48},
        {"about.png", 60, 60}, {"quit.png", 48, 48}, {"help.png", 24, 24}, {"web.png", 48, 48},
        {"icon.png", 80, 80}, {"tray_sample.png", 217, 135}, {"update.png", 64, 64},
    };
    for (const Size& size : sizes) {
        gchar* path = res_get_res_path(size.file);
        ASSERT_NE(nullptr, path) << size.file;
        EXPECT_STREQ((std::string("/org/gtk/app/pictures/") + size.file).c_str(), path);
        g_free(path);
        GdkPixbuf* pixbuf = res_load_pixbuf(size.file);
        ASSERT_NE(nullptr, pixbuf) << size.file;
        EXPECT_EQ(size.width, gdk_pixbuf_get_width(pixbuf)) << size.file;
        EXPECT_EQ(size.height, gdk_pixbuf_get_height(pixbuf)) << size.file;
        g_object_unref(pixbuf);
    }
}

TEST(Pictures, PictureIsScaledToTheAskedSize)
{
#ifndef SATCLOCK_HAVE_PICTURES
    GTEST_SKIP() << "built without the picture bundle";
#endif
    GtkWidget* widget = pixtex_new_from_resource("info.png", "GPS info", 24, 24);
    g_object_ref_sink(widget);
    GdkPixbuf* shown = gtk_image_get_pixbuf(GTK_IMAGE(MYGTK_PIXTEX(widget)->image));
    ASSERT_NE(nullptr, shown);
    EXPECT_EQ(24, gdk_pixbuf_get_width(shown));
    EXPECT_EQ(24, gdk_pixbuf_get_height(shown));
    g_object_unref(widget);
}

TEST(Pictures, StockPictureScaledOrAtItsOwnSize)
{
    struct Case {
        const char* stock;
        int width, height;
        bool has_image;
        GtkImageType type;
    } const cases[] = {
        {"gtk-ok", 16, 16, true, GTK_IMAGE_PIXBUF},
        {"gtk-ok", 0, 0, true, GTK_IMAGE_STOCK},
        {"no-such-stock", 16, 16, true, GTK_IMAGE_EMPTY},
        {"no-such-stock", 0, 0, false, GTK_IMAGE_EMPTY},
    };
    for (const Case& c : cases) {
        GtkWidget* widget = pixtex_new_from_stock(c.stock, "Close", c.width, c.height);
        g_object_ref_sink(widget);
        Mygtk_pixtex* pixtex = MYGTK_PIXTEX(widget);
        EXPECT_EQ(c.has_image, pixtex->image != nullptr) << c.stock << " " << c.width;
        if (pixtex->image) {
            EXPECT_EQ(c.type, gtk_image_get_storage_type(GTK_IMAGE(pixtex->image))) << c.stock;
        }
        if (c.type == GTK_IMAGE_PIXBUF) {
            GdkPixbuf* shown = gtk_image_get_pixbuf(GTK_IMAGE(pixtex->image));
            EXPECT_EQ(c.width, gdk_pixbuf_get_width(shown));
        }
        EXPECT_STREQ("Close", gtk_label_get_text(GTK_LABEL(pixtex->label)));
        g_object_unref(widget);
    }
}

}  // namespace
