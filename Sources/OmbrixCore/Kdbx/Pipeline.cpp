#include "OmbrixCore/Kdbx/Pipeline.h"

void Pipeline::then(Work work, std::size_t capacity) {
    PartChannel* in = stages_.empty() ? nullptr : &stages_.back().out;
    Stage& stage = stages_.emplace_back(capacity);
    try {
        stage.thread = std::thread([in, &stage, work = std::move(work)] {
            try {
                work(in, stage.out);
                stage.out.close(false);
            } catch (const PartChannel::UpstreamFailed&) {
                stage.out.close(true);
            } catch (...) {
                // A failure of any kind, an allocation among them, is this stage's error: never
                // an exception leaving the thread, which would end the program.
                stage.error = std::current_exception();
                // The stage before runs on to its end: its error, if any, comes first.
                if (in != nullptr) in->abandon();
                stage.out.close(true);
            }
        });
    } catch (...) {
        stages_.pop_back();
        throw;
    }
}

void Pipeline::endInOrder(std::exception_ptr own, bool done) {
    // Each stage runs on to its end (its own error needs the whole input) once nobody reads its
    // output; only then may the stage before it be told the same.
    for (auto stage = stages_.rbegin(); stage != stages_.rend(); ++stage) {
        stage->out.abandon();
        if (stage->thread.joinable()) stage->thread.join();
    }
    for (const Stage& stage : stages_) {
        if (stage.error) std::rethrow_exception(stage.error);
    }
    if (own) std::rethrow_exception(own);
    if (!done) throw PartChannel::UpstreamFailed{};
}

Pipeline::~Pipeline() {
    for (Stage& stage : stages_) stage.out.abandon();
    for (Stage& stage : stages_) {
        if (stage.thread.joinable()) stage.thread.join();
    }
}
