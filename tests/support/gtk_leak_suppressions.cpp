// For an in-process GTK test program: GTK, GDK, fontconfig and Pango keep
// caches for the life of the process; the leak checker looks at our code only.
// The thread sanitizer sees those libraries (not instrumented) only through
// the C library calls they make, and Pango's font-loading thread shares its
// caches with the GUI thread under locks it cannot see: it ignores the calls
// made from them, and checks the accesses of our own code (those of text
// drawing aside, where a Pango frame is on the stack).
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libgtk-x11-2.0.so\nleak:libgdk-x11-2.0.so\nleak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\nleak:libgio-2.0.so\nleak:libfontconfig.so\n"
           "leak:libpango\nleak:libcairo.so\nleak:libgdk_pixbuf-2.0.so\nleak:libX11.so\n"
           "leak:libharfbuzz.so\nleak:libfreetype.so\n";
}

extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libgtk-x11-2.0.so\ncalled_from_lib:libgdk-x11-2.0.so\n"
           "called_from_lib:libglib-2.0.so\ncalled_from_lib:libgobject-2.0.so\n"
           "called_from_lib:libgio-2.0.so\ncalled_from_lib:libfontconfig.so\n"
           "called_from_lib:libpango-1.0.so\ncalled_from_lib:libpangoft2-1.0.so\n"
           "called_from_lib:libpangocairo-1.0.so\ncalled_from_lib:libcairo.so\n"
           "called_from_lib:libharfbuzz.so\ncalled_from_lib:libfreetype.so\n"
           "called_from_lib:libgdk_pixbuf-2.0.so\ncalled_from_lib:libatk-1.0.so\n"
           // Pango starts fontconfig on a thread of its own and hands it over
           // in code the checker cannot see.
           "race:libfontconfig.so.1\nrace:libpango-1.0.so.0\nrace:libpangoft2-1.0.so.0\n"
           // The X libraries: Xlib takes its display lock through its own hooks.
           "called_from_lib:libX11.so\ncalled_from_lib:libXext.so\ncalled_from_lib:libXfixes.so\n"
           "called_from_lib:libXrandr.so\ncalled_from_lib:libXi.so\ncalled_from_lib:libXrender.so\n"
           "called_from_lib:libXcursor.so\ncalled_from_lib:libXinerama.so\ncalled_from_lib:libXcomposite.so\n"
           "called_from_lib:libXdamage.so\ncalled_from_lib:libxcb.so\n";
}
