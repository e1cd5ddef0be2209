#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "OmbrixShell/TerminationSignals.h"

namespace {

using Handler = void (*)(int);

Handler currentHandler(int number) {
    struct sigaction action {};
    ::sigaction(number, nullptr, &action);
    return action.sa_handler;
}

}  // namespace

TEST(TerminationSignals, EachRequestToEndArrivesOnTheMainLoop) {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        // Should the handler not be ours, the test process ignores the signal instead of ending.
        const Handler before = std::signal(number, SIG_IGN);
        std::vector<int> received;
        {
            TerminationSignals termination;
            ASSERT_TRUE(termination.isActive());
            QObject::connect(&termination, &TerminationSignals::received,
                             [&](int n) { received.push_back(n); });

            ASSERT_EQ(std::raise(number), 0);
            EXPECT_TRUE(received.empty()) << number << ": nothing runs inside the handler";
            const QDeadlineTimer deadline(5000);
            while (received.empty() && !deadline.hasExpired()) QCoreApplication::processEvents();
            EXPECT_EQ(received, std::vector<int>{number});
        }
        EXPECT_EQ(currentHandler(number), SIG_IGN) << number << ": the earlier handler is back";
        std::signal(number, before);
    }
}
