#include "Ombrix/App/AutoTypeRunner.h"

// PENDING: AutoTypeSequence::parse and AutoTypeService::shared() once they are merged.
void ServiceAutoTypeRunner::run(const QString&, const KdbxEntry&, Completion done) {
    done(std::nullopt);
}
void ServiceAutoTypeRunner::cancel() {}
