// The picture bundle compiled into the program: register it before the first
// picture is looked up under /org/gtk/app/pictures, unregister it at exit.
#pragma once

#include <gio/gio.h>

extern "C" {
void satclock_pictures_register_resource(void);
void satclock_pictures_unregister_resource(void);
GResource* satclock_pictures_get_resource(void);
}
