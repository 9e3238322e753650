// sesame-pi-chimes: the chime player that sesame-pi starts and feeds through
// its standard input, one line a command:
//
//   play MS NAME   play the chime NAME from its start, replacing the one that
//                  sounds; MS is when it was asked for, in milliseconds of the
//                  steady clock
//   stop           stop the chime that sounds
//
// It answers on standard output only with warnings, one a line. Not meant to
// be run by hand.
//
// Each chime sounds from a process of its own, forked for it and killed when
// the next command comes: a sound server that stalls holds up that one chime
// and nothing else, one that is missing, restarted or appears later is met
// afresh by the next chime, and a chime that the server answers only after
// LateMs is not played at all.

#include <pulse/error.h>
#include <pulse/simple.h>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr long long LateMs = 1000;
constexpr long MaxBytes = 16L * 1024 * 1024; // of a chime's file, and of the sound it decodes to
constexpr std::size_t MaxSeconds = 60;

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void warn(const std::string &path, const std::string &cause)
{
    const std::string line = "cannot play \"" + path + "\": " + cause + '\n';
    [[maybe_unused]] const auto written = ::write(STDOUT_FILENO, line.data(), line.size());
}

// The chime as the server takes it: 16-bit samples at the file's own rate,
// mono or stereo; more channels are mixed down to mono, so that none is lost.
struct Chime
{
    std::string problem; // why it cannot be played; empty when it can
    pa_sample_spec spec{PA_SAMPLE_S16LE, 0, 0};
    std::vector<std::int16_t> samples;
};

// Whatever stands under the name is checked before a byte is read (a regular
// file, opened without blocking, not too large); libsndfile decodes it, and a
// header's length is not trusted: reading stops where a chime would end.
Chime decode(const std::string &path)
{
    Chime chime;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat file = {};
    SF_INFO info = {};
    SNDFILE *sound = nullptr;
    if (fd < 0 || ::fstat(fd, &file) != 0)
        chime.problem = std::strerror(errno);
    else if (!S_ISREG(file.st_mode))
        chime.problem = "not a regular file";
    else if (file.st_size > MaxBytes)
        chime.problem = "larger than 16 MiB";
    else if (!(sound = sf_open_fd(fd, SFM_READ, &info, SF_FALSE)))
        chime.problem = sf_strerror(nullptr);
    else if (info.samplerate < 4000 || info.samplerate > 192000)
        chime.problem = "unsupported sample rate " + std::to_string(info.samplerate) + " Hz";
    if (chime.problem.empty()) {
        const auto channels = static_cast<std::size_t>(info.channels);
        chime.spec.rate = static_cast<std::uint32_t>(info.samplerate);
        chime.spec.channels = channels == 2 ? 2 : 1;
        const std::size_t seconds = MaxSeconds * chime.spec.rate * chime.spec.channels;
        const std::size_t most = std::min<std::size_t>(seconds, MaxBytes / sizeof(std::int16_t)) + 1;
        // Read as floats from -1 to 1, whatever the encoding, and mixed
        // down there; loud floats clip rather than wrap round.
        const auto toSample
            = [](float v) { return static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767)); };
        std::vector<float> block(4096 * channels);
        for (sf_count_t n = 0; chime.samples.size() < most && (n = sf_readf_float(sound, block.data(), 4096)) > 0;) {
            for (auto frame = block.begin(); frame < block.begin() + n * info.channels; frame += info.channels) {
                if (channels == 2)
                    chime.samples.insert(chime.samples.end(), {toSample(frame[0]), toSample(frame[1])});
                else
                    chime.samples.push_back(
                        toSample(std::accumulate(frame, frame + info.channels, 0.0f) / info.channels));
            }
        }
        if (chime.samples.size() >= most)
            chime.problem = chime.samples.size() > seconds ? "longer than 60 s" : "more than 16 MiB of sound";
        else if (chime.samples.empty())
            chime.problem = "no sound in it";
    }
    if (sound)
        sf_close(sound);
    if (fd >= 0)
        ::close(fd);
    return chime;
}

// The chime's own process: it meets the server, and plays the chime if the
// server answered in time.
[[noreturn]] void sound(const std::string &path, const Chime &chime, long long askedMs)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    int error = 0;
    pa_simple *stream = pa_simple_new(nullptr, "sesame-pi", PA_STREAM_PLAYBACK, nullptr, "chime", &chime.spec, nullptr,
                                      nullptr, &error);
    if (!stream)
        warn(path, std::string("no sound server (") + pa_strerror(error) + ')');
    else if (nowMs() - askedMs <= LateMs
             && pa_simple_write(stream, chime.samples.data(), chime.samples.size() * sizeof(std::int16_t), &error) == 0)
        pa_simple_drain(stream, &error);
    ::_exit(0);
}

// The first directory that has something under the name, whatever it turns
// out to be; a name with a directory is taken as it is.
std::string find(const std::string &name, char **dirs)
{
    if (name.find('/') != std::string::npos)
        return name;
    for (; *dirs; ++dirs)
        if (::faccessat(AT_FDCWD, (*dirs + ('/' + name)).c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0)
            return *dirs + ('/' + name);
    return {};
}

pid_t sounding = 0;

void stop()
{
    // A chime that has ended stays a zombie until here, so that its number
    // cannot be another process's when it is killed.
    if (sounding > 0 && ::waitpid(sounding, nullptr, WNOHANG) == 0) {
        ::kill(sounding, SIGKILL);
        ::waitpid(sounding, nullptr, 0);
    }
    sounding = 0;
}

void command(const std::string &line, char **dirs)
{
    stop();
    if (line.rfind("play ", 0) != 0)
        return;
    const std::string name = line.substr(std::min(line.find(' ', 5), line.size() - 1) + 1);
    const std::string path = find(name, dirs);
    const Chime chime = path.empty() ? Chime{"file not found", {}, {}} : decode(path);
    if (!chime.problem.empty())
        return warn(path.empty() ? name : path, chime.problem);
    const long long askedMs = std::atoll(line.c_str() + 5);
    if (nowMs() - askedMs > LateMs)
        return;
    if ((sounding = ::fork()) == 0)
        sound(path, chime, askedMs);
    if (sounding < 0)
        warn(path, std::strerror(errno));
}

} // namespace

int main(int, char **argv)
{
    // Ends with the program, however the program ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        return 0;
    ::close_range(3, ~0U, 0); // nothing of the program's but the pipes
    std::signal(SIGPIPE, SIG_IGN);
    // libpulse would otherwise open a connection to the X display at every
    // chime, to look for a sound server named there, and slow the window's
    // own picture; the server is found as usual (PULSE_SERVER, client.conf,
    // the user's runtime directory).
    ::unsetenv("DISPLAY");

    char line[1024];
    for (bool skipping = false; std::fgets(line, sizeof line, stdin);) {
        const bool whole = std::strchr(line, '\n') != nullptr;
        if (!std::exchange(skipping, !whole) && whole)
            command(std::string(line, std::strlen(line) - 1), argv + 1);
    }
    stop();
    return 0;
}
