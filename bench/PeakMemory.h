#pragma once

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// Peak resident memory, measured in a fresh child process so that nothing an earlier benchmark
// left in the heap hides or inflates the figure. The kernel's high-water mark (VmHWM) is reset
// before the measured steps start, so every figure is the growth above what the process held then.
namespace peakmemory {

inline std::size_t statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) return std::strtoull(line.c_str() + prefix.size(), nullptr, 10);
    }
    return 0;
}

// Starts measuring: the heap's free pages go back to the system and the high-water mark drops to
// what is resident now. Returns that baseline in bytes.
inline std::size_t start() {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKiB("VmRSS") * 1024;
}

// The highest resident size since start(), in bytes.
inline std::size_t peak() {
    return statusKiB("VmHWM") * 1024;
}

// Runs `measure` in a child process; it returns figures (in bytes), which come back in order.
// An empty result means the child failed.
template <class Fn>
std::vector<double> inChild(Fn&& measure) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        close(fds[0]);
        const std::vector<double> figures = measure();
        const auto size = static_cast<ssize_t>(figures.size() * sizeof(double));
        const bool wrote = write(fds[1], figures.data(), static_cast<std::size_t>(size)) == size;
        _exit(wrote ? 0 : 1);
    }
    close(fds[1]);
    std::vector<double> figures;
    double value = 0;
    while (read(fds[0], &value, sizeof value) == static_cast<ssize_t>(sizeof value)) figures.push_back(value);
    close(fds[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return figures;
}

inline double mib(double bytes) {
    return bytes / (1 << 20);
}

}  // namespace peakmemory
