#pragma once

#include <atomic>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#include "engine/fatal.h"
#include "render/off_map.h"
#include "render/render_threads.h"
#include "render/stop.h"

// Stand-ins for the render runtime's seams that fail as the system would.
inline std::thread noThread(gridParams*)
{
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

inline MapPixels noPixels(std::size_t) { throw std::bad_alloc(); }

// Armed, a render started by alertWhenStopped meets a fatal error once it has
// been asked to stop, so that the alert is raised while the user-interface
// thread waits for that render to end. Disarmed, it just renders.
inline std::atomic<bool> alertsArmed{true};

inline std::thread alertWhenStopped(gridParams* gp)
{
    return std::thread([gp] {
        while (alertsArmed && !userHalt(static_cast<short>(gp->fs)))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (alertsArmed)
            raiseFatal("bad func switch");
        preFigure(gp);
    });
}
