#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/block_render.h"
#include "engine/fatal.h"

// Collects the fatal alerts raised while it lives, from any thread.
class AlertRecorder {
public:
    AlertRecorder()
    {
        instance() = this;
        setFatalHandler(&AlertRecorder::record);
    }
    ~AlertRecorder()
    {
        setFatalHandler(nullptr);
        instance() = nullptr;
    }
    std::vector<std::string> messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    static AlertRecorder*& instance()
    {
        static AlertRecorder* current = nullptr;
        return current;
    }
    static void record(const char* msg)
    {
        AlertRecorder* self = instance();
        std::lock_guard lock(self->mutex_);
        self->messages_.emplace_back(msg);
    }
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

// Remembers every plotted pixel, in order.
class RecordingCanvas final : public FrameCanvas {
public:
    struct Plot {
        int x, y, idx;
        bool operator==(const Plot&) const = default;
    };
    void plotXY(int x, int y, int clrIdx) override { plots.push_back({x, y, clrIdx}); }
    bool userHalt() override { return false; }
    std::vector<Plot> plots;
};
