#include "OmbrixState/AutoTypeRunner.h"

#include "OmbrixServices/Services/AutoTypeError.h"
#include "OmbrixServices/Services/AutoTypeService.h"

void ServiceAutoTypeRunner::run(const QString& sequence, const KdbxEntry& entry, Completion done) {
    AutoTypeService::shared().perform(sequence.toStdString(), entry,
                                      [done = std::move(done)](std::optional<AutoTypeError> error) {
                                          if (error) {
                                              done(QString::fromStdString(error->description()));
                                          } else {
                                              done(std::nullopt);
                                          }
                                      });
}

void ServiceAutoTypeRunner::cancel() {
    AutoTypeService::shared().cancel();
}
