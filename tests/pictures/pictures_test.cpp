// The picture bundle: every picture the windows ask for is registered under
// /org/gtk/app/pictures at the pixel size the windows are laid out for.
#include "src/pictures/pictures.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

struct Picture {
    const char* name;
    int width;
    int height;
};

constexpr Picture kPictures[] = {
    {"info.png", 94, 94},        {"configure.png", 60, 60}, {"preferences.png", 48, 48},
    {"about.png", 60, 60},       {"quit.png", 48, 48},      {"help.png", 24, 24},
    {"web.png", 48, 48},         {"icon.png", 80, 80},      {"tray_sample.png", 217, 135},
    {"update.png", 64, 64},      {"tray_nodata.png", 32, 32}, {"tray_nofix.png", 32, 32},
    {"tray_fix.png", 32, 32},    {"satclock.png", 48, 48},
};

constexpr const char* kTrayIcons[] = {"tray_nodata.png", "tray_nofix.png", "tray_fix.png"};

void register_bundle_once()
{
    static const bool registered = [] {
        satclock_pictures_register_resource();
        return true;
    }();
    (void)registered;
}

std::string resource_path(const char* name)
{
    return std::string("/org/gtk/app/pictures/") + name;
}

GdkPixbuf* load(const char* name)
{
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_resource(resource_path(name).c_str(), &error);
    if (error) {
        ADD_FAILURE() << name << ": " << error->message;
        g_error_free(error);
    }
    return pixbuf;
}

bool same_pixels(GdkPixbuf* a, GdkPixbuf* b)
{
    gsize len_a = 0;
    gsize len_b = 0;
    const guint8* pa = gdk_pixbuf_read_pixels(a);
    const guint8* pb = gdk_pixbuf_read_pixels(b);
    len_a = gdk_pixbuf_get_byte_length(a);
    len_b = gdk_pixbuf_get_byte_length(b);
    return len_a == len_b && std::memcmp(pa, pb, len_a) == 0;
}

guint8 alpha_at(GdkPixbuf* pixbuf, int x, int y)
{
    const guint8* row = gdk_pixbuf_read_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
    return row[x * gdk_pixbuf_get_n_channels(pixbuf) + 3];
}

TEST(pictures, EveryPictureLoadsAtItsDesignedSize)
{
    register_bundle_once();
    for (const Picture& picture : kPictures) {
        SCOPED_TRACE(picture.name);
        GdkPixbuf* pixbuf = load(picture.name);
        ASSERT_NE(pixbuf, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), picture.width);
        EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), picture.height);
        EXPECT_TRUE(gdk_pixbuf_get_has_alpha(pixbuf));
        g_object_unref(pixbuf);
    }
}

TEST(pictures, BundleHoldsOnlyTheDesignedPictures)
{
    register_bundle_once();
    std::set<std::string> expected;
    for (const Picture& picture : kPictures)
        expected.insert(picture.name);

    GError* error = nullptr;
    char** children = g_resources_enumerate_children("/org/gtk/app/pictures/",
                                                     G_RESOURCE_LOOKUP_FLAGS_NONE, &error);
    ASSERT_NE(children, nullptr) << (error ? error->message : "");
    std::set<std::string> found;
    for (char** child = children; *child; ++child)
        found.insert(*child);
    g_strfreev(children);
    EXPECT_EQ(found, expected);
}

// A tray in a dark or light panel shows through everything but the drawing.
TEST(pictures, TrayIconsAreDrawnOnATransparentGround)
{
    register_bundle_once();
    for (const char* name : kTrayIcons) {
        SCOPED_TRACE(name);
        GdkPixbuf* pixbuf = load(name);
        ASSERT_NE(pixbuf, nullptr);
        const int last = gdk_pixbuf_get_width(pixbuf) - 1;
        EXPECT_EQ(alpha_at(pixbuf, 0, last), 0);
        EXPECT_EQ(alpha_at(pixbuf, last, last), 0);
        g_object_unref(pixbuf);
    }
}

TEST(pictures, TheThreeTrayStatesLookDifferent)
{
    register_bundle_once();
    GdkPixbuf* icons[3];
    for (int i = 0; i < 3; ++i) {
        icons[i] = load(kTrayIcons[i]);
        ASSERT_NE(icons[i], nullptr);
    }
    EXPECT_FALSE(same_pixels(icons[0], icons[1]));
    EXPECT_FALSE(same_pixels(icons[0], icons[2]));
    EXPECT_FALSE(same_pixels(icons[1], icons[2]));
    for (GdkPixbuf* icon : icons)
        g_object_unref(icon);
}

TEST(pictures, UnregisteredBundleYieldsNothing)
{
    register_bundle_once();
    const std::string path = resource_path("info.png");
    EXPECT_TRUE(g_resources_get_info(path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr, nullptr,
                                     nullptr));
    satclock_pictures_unregister_resource();
    EXPECT_FALSE(g_resources_get_info(path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr,
                                      nullptr, nullptr));
    satclock_pictures_register_resource();
}

} // namespace
