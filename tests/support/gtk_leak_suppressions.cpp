// For an in-process GTK test program: GTK, GDK, fontconfig and Pango keep
// caches for the life of the process; the leak checker looks at our code only.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libgtk-x11-2.0.so\nleak:libgdk-x11-2.0.so\nleak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\nleak:libgio-2.0.so\nleak:libfontconfig.so\n"
           "leak:libpango\nleak:libcairo.so\nleak:libgdk_pixbuf-2.0.so\nleak:libX11.so\n"
           "leak:libharfbuzz.so\nleak:libfreetype.so\n";
}
