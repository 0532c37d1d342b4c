#pragma once

class QWidget;

// Whether one of the application's windows is listed in the desktop's taskbar and pager: the
// Linux counterpart of a Dock icon. On X11 it is the window manager's _NET_WM_STATE_SKIP_TASKBAR
// and _NET_WM_STATE_SKIP_PAGER state, written on the window before it is mapped and asked of the
// window manager once it is. On other platforms (offscreen) only the choice is kept. Main thread
// only.
class TaskbarPresence {
public:
    static void setListed(QWidget* window, bool listed);
    // The last choice made for the window; listed unless told otherwise.
    static bool isListed(const QWidget* window);
};
