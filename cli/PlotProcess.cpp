#include "PlotProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <system_error>

#include "CommandLine.h"

namespace kexcalc {

namespace {

constexpr int kChildFailed = 3;
// The library sizes its text by the page's smaller side; text is scaled so
// that it keeps the size it has on a page of this many pixels.
constexpr double kTextReferencePixels = 1000.0;
constexpr double kTextScale = 0.8;

// Messages of the plotting library's recoverable errors, kept by the child.
bool plotAborted = false;
void onPlotAbort(const char* message) {
    plotAborted = true;
    std::fprintf(stderr, "%s\n", message);
}

// Runs in the child process: 0 when the picture was written.
int drawInChild(const std::filesystem::path& file, PictureSize size, const std::function<void()>& draw) {
    plsabort(onPlotAbort);
    plsdev("pngcairo");
    plsfnam(file.c_str());
    const std::string geometry = std::to_string(size.width) + "x" + std::to_string(size.height);
    plsetopt("geometry", geometry.c_str());
    plscolbg(255, 255, 255);
    plscol0(kForeground, 0, 0, 0);
    plscol0(kPhaseA, 200, 30, 30);
    plscol0(kPhaseB, 20, 140, 40);
    plscol0(kPhaseC, 30, 70, 200);
    plscol0(kGrid, 215, 215, 215);
    plscol0(kMarker, 90, 90, 90);
    plscol0(kPhaseALight, 235, 150, 150);
    plscol0(kPhaseBLight, 140, 200, 150);
    plscol0(kPhaseCLight, 150, 170, 235);
    plscol0(kZoomBand, 250, 232, 190);
    plinit();
    pladv(0);
    plschr(0.0, kTextScale * kTextReferencePixels / static_cast<double>(std::min(size.width, size.height)));
    draw();
    plend();
    return plotAborted ? kChildFailed : 0;
}

std::string firstLine(const std::string& text) {
    const std::size_t start = text.find_first_not_of("\n *");
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t end = text.find('\n', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool looksLikePng(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, 8> signature{};
    in.read(signature.data(), signature.size());
    static constexpr std::array<unsigned char, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return in.gcount() == static_cast<std::streamsize>(signature.size()) &&
           std::equal(signature.begin(), signature.end(), kPngSignature.begin(),
                      [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

}  // namespace

std::string plainText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c == '#' ? std::string("##") : std::string(1, c);
    }
    return escaped;
}

void drawPicture(const std::filesystem::path& file, const std::string& what, PictureSize size,
                 const std::function<void()>& draw) {
    std::array<int, 2> channel{};
    if (pipe2(channel.data(), O_CLOEXEC) != 0) {
        throw ArgumentError(what + ": cannot start drawing: " + std::generic_category().message(errno));
    }
    // Buffered output would otherwise be written twice.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(channel[0]);
        close(channel[1]);
        throw ArgumentError(what + ": cannot start drawing: " + std::generic_category().message(error));
    }
    if (child == 0) {
        // Everything the plotting library says goes to the parent, and it
        // must never wait for an answer (it asks for a device when it has none).
        dup2(channel[1], STDOUT_FILENO);
        dup2(channel[1], STDERR_FILENO);
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0) {
            dup2(nothing, STDIN_FILENO);
        }
        const int status = drawInChild(file, size, draw);
        std::fflush(nullptr);
        _exit(status);
    }
    close(channel[1]);
    std::string messages;
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t count = read(channel[0], buffer.data(), buffer.size());
        if (count > 0) {
            messages.append(buffer.data(), static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            break;
        }
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const bool exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!exited || !looksLikePng(file)) {
        std::string reason = firstLine(messages);
        if (reason.empty()) {
            reason = WIFSIGNALED(status) ? "the drawing process ended on signal " + std::to_string(WTERMSIG(status))
                                         : "no picture was written";
        }
        throw ArgumentError(what + " could not be drawn (" + reason + "); --no-plot skips it");
    }
}

}  // namespace kexcalc
