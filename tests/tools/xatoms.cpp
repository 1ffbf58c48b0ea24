// Prepares a bare X server (Xvfb, no window manager) for JUCE windows.
//
// JUCE looks up the window-manager atoms (WM_STATE and friends) with "only if exists"
// and then passes them to X calls unchecked; on a server where no window manager ever
// ran they are 0 and the first window dies with BadAtom. Interning them once is all a
// window manager would have done for these calls. Run it on a server started with
// -noreset, so that the atoms outlive this client.
#include <X11/Xlib.h>

#include <cstdio>

int main()
{
    const char* names[] = {
        "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "WM_CHANGE_STATE", "WM_STATE",
        "_NET_WM_PING", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_COMBO",
        "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_ABOVE",
        "_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_SKIP_TASKBAR",
        "_NET_FRAME_EXTENTS", "_NET_WORKAREA", "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_CLOSE",
        "_NET_WM_ACTION_FULLSCREEN", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_RESIZE", "_NET_WM_ICON",
        "_MOTIF_WM_HINTS"
    };

    Display* display = XOpenDisplay (nullptr);

    if (display == nullptr)
    {
        std::fprintf (stderr, "velmora-xatoms: cannot open display\n");
        return 1;
    }

    for (auto* name : names)
        XInternAtom (display, name, False);

    XSync (display, False);
    XCloseDisplay (display);
    return 0;
}
