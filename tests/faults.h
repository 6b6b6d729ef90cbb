#pragma once

#include <new>
#include <system_error>
#include <thread>

#include "render/off_map.h"
#include "render/render_threads.h"

// Stand-ins for the render runtime's seams that fail as the system would.
inline std::thread noThread(gridParams*)
{
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

inline MapPixels noPixels(std::size_t) { throw std::bad_alloc(); }
