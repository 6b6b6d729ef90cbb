// Linked into a copy of the explorer for the fault tests. KAVREL_FAULT names
// one fault, put in place through the program's seams before start-up; every
// message box is answered as soon as it shows, its caption and text written
// to stdout, one line each.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

#include "app/client_area.h"
#include "app/messages.h"
#include "engine/palette.h"
#include "render/off_map.h"
#include "render/render_threads.h"
#include "tests/support/box_answerer.h"
#include "tests/support/faults.h"

namespace {

int stringMissing(int id, char* buffer, int capacity)
{
    return id == 300 ? 0 : loadStringResource(id, buffer, capacity);
}

// Three lines past the 500th; string 500 leaves ample room for them.
int stringWithSurplus(int id, char* buffer, int capacity)
{
    int n = loadStringResource(id, buffer, capacity);
    if (id == 500)
        n += std::snprintf(buffer + n, static_cast<std::size_t>(capacity - n), " 1 2 3\n 4 5 6\n 7 8 9\n");
    return n;
}

// Once the first layout has made the maps, runs `then` on the window.
void afterFirstLayout(void (*then)(ClientArea*))
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, then] {
        if (!gJMap || !gTheWindow)
            return;
        poll->deleteLater();
        poll->stop();
        then(gTheWindow->findChild<ClientArea*>());
    });
    poll->start(10);
}

void injectFault()
{
    new BoxAnswerer(
        [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        },
        qApp);
    const QByteArray fault = qgetenv("KAVREL_FAULT");
    if (fault == "palette-missing")
        setStringLoader(stringMissing);
    else if (fault == "palette-surplus")
        setStringLoader(stringWithSurplus);
    else if (fault == "thread-start")
        setRenderThreadStarter(noThread);
    else if (fault == "map-alloc")
        setMapAllocator(noPixels);
    else if (fault == "render-alert") {
        setRenderThreadStarter(alertWhenStopped);
        afterFirstLayout([](ClientArea* area) { area->setupWindow(); });
    } else if (fault == "none") {
        afterFirstLayout([](ClientArea* area) { area->window()->close(); });
    }
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(injectFault)
