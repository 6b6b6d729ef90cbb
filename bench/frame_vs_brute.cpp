// The brute force evaluates every pixel with the project's own batched kernel
// (the best instruction set, z^2 + c, the frame's pixel-to-plane rule) and
// keeps each pixel's palette index: what a renderer without the outline test
// would cost. It runs in a forked child, kavrel-render in an exec'd one, and
// wait4 gives each child's user and system time: start-up, rendering and, for
// kavrel-render, writing its PNG.
#include "bench/frame_vs_brute.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/escape_batch.h"
#include "engine/plane_evaluator.h"
#include "engine/view.h"

namespace {

struct BenchView {
    const char* name;
    const char* arg;  // as kavrel-render's --view takes it
    double xmin, xmax, ymin, ymax;
    int iters;  // 0: the automatic limit
};

const BenchView kViews[] = {
    {"boundary, 2000 iterations", "-0.75,-0.74,0.1,0.11", -0.75, -0.74, 0.1, 0.11, 2000},
    {"deep, 20000 iterations", "-0.743643887,-0.743643787,0.131825854,0.131825954", -0.743643887, -0.743643787,
     0.131825854, 0.131825954, 20000},
    {"default, automatic limit", "-2,2,-2,2", -2, 2, -2, 2, 0},
};

// Feeds the frame a row at a time, keeps the palette indices and adds up the
// passes.
class BruteFeeder final : public EscapeFeeder {
public:
    BruteFeeder(const PlaneEvaluator& f, int side, std::int32_t limit)
        : f_(f), side_(side), limit_(limit), indices_(static_cast<std::size_t>(side) * side)
    {}
    bool refill(EscapeRun& run) override
    {
        takeFinished(run);
        if (row_ < side_) {
            const double im = planeIm(f_, row_);
            for (int col = 0; col < side_; ++col)
                run.add({0.0, 0.0, planeRe(f_, col), im, limit_});
            ++row_;
        }
        return true;
    }
    void takeFinished(EscapeRun& run)
    {
        for (; taken_ < run.size() && run.isDone(taken_); ++taken_) {
            indices_[taken_] = static_cast<std::uint16_t>(run.result(taken_).colorIdx);
            passes += static_cast<std::uint64_t>(run.result(taken_).passes);
        }
        run.forget(taken_);
    }
    std::uint64_t passes = 0;

private:
    const PlaneEvaluator& f_;
    const int side_;
    const std::int32_t limit_;
    std::vector<std::uint16_t> indices_;
    int row_ = 0;
    std::size_t taken_ = 0;
};

std::uint64_t brutePasses(const PlaneEvaluator& f, int side, std::int32_t limit)
{
    EscapeRun run;
    BruteFeeder feeder(f, side, limit);
    escapeKernel(batchedIsas().back(), 1)(run, feeder);
    feeder.takeFinished(run);
    return feeder.passes;
}

struct Child {
    double cpu = 0.0;     // user + system seconds
    std::string output;   // what it wrote on stdout
};

double cpuSeconds(const rusage& u)
{
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs `body` in a child whose stdout goes to a pipe; exits on failure, as a
// benchmark with a broken contender has nothing to report.
template <class Body>
Child runChild(Body body)
{
    int out[2];
    if (pipe(out) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) {
        close(out[0]);
        dup2(out[1], STDOUT_FILENO);
        close(out[1]);
        body();
        std::fflush(stdout);
        _exit(0);
    }
    close(out[1]);
    Child child;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        child.output.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "frame-vs-brute: a contender failed\n");
        std::exit(1);
    }
    child.cpu = cpuSeconds(usage);
    return child;
}

std::uint64_t statLine(const std::string& text, const char* key)
{
    const std::size_t at = text.find(std::string(key) + " ");
    if (at == std::string::npos) {
        std::fprintf(stderr, "frame-vs-brute: kavrel-render printed no '%s'\n", key);
        std::exit(1);
    }
    return std::strtoull(text.c_str() + at + std::strlen(key) + 1, nullptr, 10);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

void frameVsBruteLines(const std::vector<std::string>& renderTools, int side, int rounds)
{
    char dir[] = "/tmp/frame-vs-brute-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    const std::string png = std::string(dir) + "/frame.png";
    const std::string sideArg = std::to_string(side);
    std::printf("frame-vs-brute: %d px, 1 thread, %s kernel, whole-process CPU, median of %d\n", side,
                isaName(batchedIsas().back()), rounds);
    std::printf("%-27s %21s %17s %28s %12s\n", "view", "iterations vs brute", "CPU / brute CPU",
                "useful G it/s per CPU second", "bare kernel");
    const std::size_t tools = renderTools.size();
    for (const BenchView& v : kViews) {
        FrameSpec frame;
        frame.view = PlaneView{v.xmin, v.xmax, v.ymin, v.ymax};
        frame.width = frame.height = side;
        const PlaneEvaluator f(frame);
        const std::int32_t limit = v.iters != 0 ? v.iters : autoIters(f.Xpxl);
        const std::string itersArg = std::to_string(limit);
        std::vector<std::vector<double>> toolCpu(tools);
        std::vector<double> bruteCpu;
        std::vector<std::uint64_t> toolIterations(tools);
        std::uint64_t bruteIterations = 0;
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t t = 0; t < tools; ++t) {
                const char* tool = renderTools[t].c_str();
                const Child run = runChild([&] {
                    execl(tool, tool, "--view", v.arg, "--iters", itersArg.c_str(), "--size", sideArg.c_str(),
                          "--threads", "1", "--output", png.c_str(), "--stats", nullptr);
                    std::perror(tool);
                    _exit(127);
                });
                toolCpu[t].push_back(run.cpu);
                toolIterations[t] = statLine(run.output, "iterations");
            }
            const Child brute = runChild([&] {
                std::printf("iterations %llu\n", static_cast<unsigned long long>(brutePasses(f, side, limit)));
            });
            bruteCpu.push_back(brute.cpu);
            bruteIterations = statLine(brute.output, "iterations");
        }
        const double b = median(bruteCpu);
        for (std::size_t t = 0; t < tools; ++t) {
            const double k = median(toolCpu[t]);
            std::printf("%-27s %20.0f%% %17.2f %28.2f %12.2f%s%s\n", v.name,
                        100.0 * toolIterations[t] / bruteIterations, k / b, toolIterations[t] / k / 1e9,
                        bruteIterations / b / 1e9, tools > 1 ? "  " : "", tools > 1 ? renderTools[t].c_str() : "");
        }
        std::fflush(stdout);
    }
    std::remove(png.c_str());
    rmdir(dir);
}
