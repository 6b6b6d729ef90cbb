#include "tools/video_encoder.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

VideoEncoder::~VideoEncoder()
{
    if (pipe_ >= 0)
        ::close(pipe_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool VideoEncoder::fail(std::string why)
{
    if (error_.empty())
        error_ = std::move(why);
    return false;
}

bool VideoEncoder::start(const std::string& path, int width, int height, int fps, const std::string& comment)
{
    // A dead encoder must fail a write, not end this program.
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return fail(std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno));
    const std::string size = std::to_string(width) + "x" + std::to_string(height), rate = std::to_string(fps);
    std::vector<std::string> args{"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                  "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", size, "-framerate", rate,
                                  "-i", "pipe:0",
                                  "-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
                                  "-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p",
                                  "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
                                  "-color_range", "tv", "-metadata", "comment=" + comment, "-f", "mp4", path};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = ::posix_spawnp(&pid_, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (spawned != 0) {
        ::close(fds[1]);
        pid_ = -1;
        return fail(std::string("cannot start ffmpeg: ") + std::strerror(spawned));
    }
    pipe_ = fds[1];
    frameBytes_ = static_cast<std::size_t>(width) * height * 3;
    return true;
}

bool VideoEncoder::write(const std::uint8_t* rgb)
{
    if (pipe_ < 0)
        return fail("the encoder is not running");
    for (std::size_t done = 0; done < frameBytes_;) {
        const ssize_t n = ::write(pipe_, rgb + done, frameBytes_ - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(std::string("ffmpeg stopped taking frames: ") + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool VideoEncoder::finish()
{
    if (pipe_ >= 0) {
        ::close(pipe_);
        pipe_ = -1;
    }
    if (pid_ <= 0)
        return fail("the encoder is not running");
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0)
        if (errno != EINTR)
            return fail(std::string("cannot wait for ffmpeg: ") + std::strerror(errno));
    pid_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return error_.empty();
    return fail(WIFEXITED(status) ? "ffmpeg failed with exit status " + std::to_string(WEXITSTATUS(status))
                                  : "ffmpeg was ended by signal " + std::to_string(WTERMSIG(status)));
}
