#pragma once

// What the render runtime needs from the window that shows the frames. Render
// threads call these, so an implementation hands the work to its own
// user-interface thread and must never make a render thread wait for it.
class RenderHost {
public:
    virtual ~RenderHost() = default;
    // Repaint the frame (11 Mandelbrot, 22 Julia) from its map.
    virtual void invalidateFrame(short FuncSwitch) = 0;
    // Start or stop the 1000 ms progress timer 464 (Mandelbrot) or 797 (Julia).
    virtual void startTimer(int timerId) = 0;
    virtual void killTimer(int timerId) = 0;
    // A render started or ended: the Copy popup is grayed exactly while
    // anyRenderRunning() holds.
    virtual void refreshCopyMenu() = 0;
    // Beep, show msg in a box captioned "Fatal Error!" and make the program
    // end once the box is closed.
    virtual void fatalAlert(const char* msg) = 0;
};

// Installs the host (null: a headless one that reports alerts on stderr) and
// routes every fatal error of the engine to ShowAlert.
void setRenderHost(RenderHost* host);
RenderHost& renderHost();

// The fatal alert: asks both renders to stop, then lets the host tell the
// user and end the program. Returns to its caller, on any thread.
void ShowAlert(const char* msg);
