// Reads the keyboard's lock indicators from the X server.
#ifdef EXAVORO_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

static Display* display()
{
    static Display* d = XOpenDisplay(nullptr);
    return d;
}

static bool indicator(Display* d, const char* name)
{
    const Atom atom = XInternAtom(d, name, True);
    if (atom == None) return false;
    Bool on = False;
    if (!XkbGetNamedIndicator(d, atom, nullptr, &on, nullptr, nullptr)) return false;
    return on;
}

bool x11Indicators(bool& num, bool& caps, bool& scroll)
{
    Display* d = display();
    if (!d) return false;
    num = indicator(d, "Num Lock");
    caps = indicator(d, "Caps Lock");
    scroll = indicator(d, "Scroll Lock");
    return true;
}
#else
bool x11Indicators(bool& num, bool& caps, bool& scroll)
{
    num = caps = scroll = false;
    return false;
}
#endif
