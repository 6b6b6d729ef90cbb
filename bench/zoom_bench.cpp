// The window's deep zooms: the time from the release of a zoom to the
// finished frame, on Qt's offscreen platform, with frames of 400 pixels,
// automatic limits and the Julia frame idle. Each round starts from the view
// 100 times wider around the same centre and zooms by pressing at its centre
// for ten selection ticks, as a user's press and hold does.
#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/client_area.h"
#include "app/gestures.h"
#include "app/main_window.h"
#include "app/qt_host.h"
#include "app/start_up.h"
#include "app/window_requests.h"
#include "commands/handle_menu.h"
#include "engine/deep/deep_view.h"
#include "engine/view.h"
#include "render/render_threads.h"
#include "render/stop.h"

namespace {

struct Case {
    const char* name;
    const char* note;
    std::string re, im, radius, wider;  // the zoom goes from `wider` to `radius`
};

// The README's copies of period 140 and 406, and seahorse valley near a
// copy of period 8007, its centre cut short.
const std::vector<Case> kCases = {
    {"copy100", "1e-100 around the copy of period 140",
     "-0.000000000000000000000000000000000000000000000000018567686206858138927252448110429341529609613287478880394324",
     "0.999999999999999999999999999999999999999999999999998011098265951700795958845135187484726516543308103832042742",
     "1e-100", "1e-98"},
    {"copy300", "1e-300 around the copy of period 406",
     "0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
     "00000000000000000000000000000000000000000117479604121206611951133730468980583794307242692872659891193826001914"
     "144213534483503343676087532017243067098073575991716412479027082922140094735060114884444250",
     "0.999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
     "99999999999999999999999999999999999999999905253291923959973817084279270158750432234000972168495548278812339330"
     "516483283722514767234508839450839383722564598810097553005753091905763791088904604193660310",
     "1e-300", "1e-298"},
    {"seahorse", "1e-24 in seahorse valley, not a copy's centre", "-0.743643887037158704752191506114774",
     "0.131825904205311970493132056385139", "1e-24", "1e-22"},
};

// As the window's own event loop waits: idle between events, not spinning
// on a core the render needs.
void waitForRender()
{
    while (mThdHand || jThdHand) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QApplication::processEvents();
}

// One zoom from the wider view; the seconds from the release to the end.
double zoomOnce(ClientArea* area, const Case& c)
{
    restartFrameDeep(kMandelbrot, DeepView{c.re, c.im, c.wider});
    waitForRender();
    const int side = gMRect.right - gMRect.left;
    const tagPOINT centre{gMRect.left + side / 2, gMRect.top + side / 2};
    area->gestures().press(centre);
    for (int tick = 0; tick < 10; ++tick)
        area->gestures().tick();
    QElapsedTimer clock;
    clock.start();
    area->gestures().release(centre);
    waitForRender();
    return static_cast<double>(clock.nsecsElapsed()) * 1e-9;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 5;
    const char* only = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
    }
    QtHost host;
    MainWindow* window = startUp(host, handleMenu);
    window->show();
    auto* area = window->clientArea();
    // Frames of 400 pixels: (830 - 30) / 2 wide, 420 - 20 high.
    window->resize(830, 420 + window->height() - area->height());
    while (area->layoutCount() == 0 || gMRect.right - gMRect.left != 400)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    waitForRender();
    std::printf("zoom: release to finished frame, 400 px, automatic limits, %d threads, median of %d\n",
                static_cast<int>(std::max(1u, std::thread::hardware_concurrency())), rounds);
    for (const Case& c : kCases) {
        if (only && std::strcmp(only, c.name) != 0)
            continue;
        std::vector<double> times;
        for (int round = 0; round < rounds; ++round)
            times.push_back(zoomOnce(area, c));
        std::sort(times.begin(), times.end());
        std::printf("  %-9s %-46s %.3f s (fastest %.3f, slowest %.3f), limit %d, radius %s\n", c.name, c.note,
                    times[times.size() / 2], times.front(), times.back(), static_cast<int>(Mgraph.iters),
                    gMDeep ? gMDeep->radius.c_str() : "?");
    }
    haltRenders();
    setRenderHost(nullptr);
    delete window;
    return 0;
}
