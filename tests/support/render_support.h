#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/host.h"
#include "render/off_map.h"
#include "render/stop.h"

// Records, in order, what the runtime asked of the window.
class RecordingHost final : public RenderHost {
public:
    RecordingHost() { setRenderHost(this); }
    ~RecordingHost() override { setRenderHost(nullptr); }

    void invalidateFrame(short fs) override { add("invalidate " + std::to_string(fs)); }
    void startTimer(int id) override { add("start " + std::to_string(id)); }
    void killTimer(int id) override { add("kill " + std::to_string(id)); }
    void refreshCopyMenu() override { add(anyRenderRunning() ? "copy grayed" : "copy enabled"); }
    void fatalAlert(const char* msg) override
    {
        add(std::string("alert ") + msg);
        std::lock_guard lock(mutex_);
        alertThread_ = std::this_thread::get_id();
    }

    std::vector<std::string> events()
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    long indexOf(const std::string& event)
    {
        const auto all = events();
        const auto it = std::find(all.begin(), all.end(), event);
        return it == all.end() ? -1 : it - all.begin();
    }
    // The thread that raised the latest alert.
    std::thread::id alertThread()
    {
        std::lock_guard lock(mutex_);
        return alertThread_;
    }
    long count(const std::string& event)
    {
        const auto all = events();
        return std::count(all.begin(), all.end(), event);
    }

private:
    void add(std::string e)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
    }
    std::mutex mutex_;
    std::vector<std::string> events_;
    std::thread::id alertThread_;
};

// Whether the map shows nothing but the window background.
inline bool mapIsBlank(const offBMP& map)
{
    for (int y = 0; y < map.height; ++y)
        for (int x = 0; x < map.width; ++x)
            if (map.pixel(x, y) != displayColor(kWindowColor))
                return false;
    return true;
}
