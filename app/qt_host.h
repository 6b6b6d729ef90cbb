#pragma once

#include "render/host.h"

class ClientArea;
class QAction;

// The render runtime's window: every request is carried out on the
// user-interface thread, queued when it comes from a render thread, so a
// render thread never waits for the window.
class QtHost final : public RenderHost {
public:
    void attach(ClientArea* area, QAction* copyPopup);

    void invalidateFrame(short FuncSwitch) override;
    void startTimer(int timerId) override;
    void killTimer(int timerId) override;
    void refreshCopyMenu() override;
    void fatalAlert(const char* msg) override;

private:
    ClientArea* area_ = nullptr;
    QAction* copyPopup_ = nullptr;
};
