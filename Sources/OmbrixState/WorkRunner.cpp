#include "OmbrixState/WorkRunner.h"

#include <thread>
#include <utility>

#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>

#include "OmbrixCore/Foundation/Precondition.h"

struct ThreadWorkRunner::Job {
    StopFlag stop{false};
    std::exception_ptr failure;
    std::thread thread;
    Done done;
};

ThreadWorkRunner::ThreadWorkRunner() = default;

ThreadWorkRunner::~ThreadWorkRunner() {
    abandon();
}

void ThreadWorkRunner::start(Work work, Done done, QObject* context) {
    OMBRIX_PRECONDITION(!job_, "one piece of work at a time");
    auto job = std::make_shared<Job>();
    job->done = std::move(done);
    const QPointer<QObject> receiver(context);
    try {
        job->thread = std::thread([this, job, work = std::move(work), receiver] {
            try {
                work(job->stop);
            } catch (...) {
                job->failure = std::current_exception();
            }
            // The receiver lives until the work is joined (its owner abandons it first).
            QMetaObject::invokeMethod(
                receiver.data(), [this, job] { finish(job); }, Qt::QueuedConnection);
        });
    } catch (...) {
        // No thread to be had: the failure is the work's result, told at once.
        Done told = std::move(job->done);
        told(std::current_exception());
        return;
    }
    job_ = std::move(job);
}

void ThreadWorkRunner::finish(const std::shared_ptr<Job>& job) {
    // Abandoned meanwhile.
    if (job_ != job) return;
    job->thread.join();
    job_.reset();
    Done done = std::move(job->done);
    done(job->failure);
}

void ThreadWorkRunner::runAndWait(const Work& work) {
    OMBRIX_PRECONDITION(!job_, "one piece of work at a time");
    StopFlag stop{false};
    std::exception_ptr failure;
    QEventLoop loop;
    std::thread thread([&] {
        try {
            work(stop);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Input is taken as it comes: held back, the X server's key events came through late and
    // short of their first characters.
    loop.exec();
    thread.join();
    if (failure) std::rethrow_exception(failure);
}

bool ThreadWorkRunner::isRunning() const {
    return job_ != nullptr;
}

void ThreadWorkRunner::stop() {
    if (job_) job_->stop = true;
}

void ThreadWorkRunner::abandon() {
    if (!job_) return;
    const std::shared_ptr<Job> job = std::move(job_);
    job->stop = true;
    job->thread.join();
}

void InlineWorkRunner::start(Work work, Done done, QObject* context) {
    (void)context;
    const StopFlag stop{false};
    std::exception_ptr failure;
    try {
        work(stop);
    } catch (...) {
        failure = std::current_exception();
    }
    done(failure);
}

void InlineWorkRunner::runAndWait(const Work& work) {
    const StopFlag stop{false};
    work(stop);
}
