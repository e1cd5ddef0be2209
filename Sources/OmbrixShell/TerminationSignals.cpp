#include "OmbrixShell/TerminationSignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <QSocketNotifier>

#include "OmbrixCore/Foundation/Precondition.h"

namespace {

constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the socket; the handler reads it, so it is a sig_atomic_t.
volatile std::sig_atomic_t writeEnd = -1;

extern "C" void onTerminationSignal(int number) {
    // Only async-signal-safe calls here; errno belongs to the code the signal interrupted.
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    const int fd = writeEnd;
    if (fd >= 0) {
        const ssize_t written = ::write(fd, &byte, 1);
        // A full socket already holds a request to end; one more byte would add nothing.
        (void)written;
    }
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    OMBRIX_PRECONDITION(writeEnd < 0, "one TerminationSignals at a time");
    int ends[2];
    // Non-blocking both ways: the handler never waits, and drain() reads until nothing is left.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) return;
    readEnd_ = ends[0];
    writeEnd = ends[1];

    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(handled); ++i) ::sigaction(handled[i], &action, &previous_[i]);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (std::size_t i = 0; i < std::size(handled); ++i) ::sigaction(handled[i], &previous_[i], nullptr);
    const int fd = writeEnd;
    writeEnd = -1;
    ::close(fd);
    delete notifier_;
    ::close(readEnd_);
}

void TerminationSignals::drain() {
    unsigned char numbers[16];
    for (;;) {
        const ssize_t n = ::read(readEnd_, numbers, sizeof numbers);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) emit received(numbers[i]);
    }
}
