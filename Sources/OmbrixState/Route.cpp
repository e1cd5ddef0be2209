#include "OmbrixState/Route.h"

namespace {

QString text(const UUID& id) {
    return QString::fromStdString(id.uuidString());
}

template <class... Fs>
struct Overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace

QString Route::id() const {
    return std::visit(Overloaded{
                          [](const NewEntry& r) { return QStringLiteral("newEntry-") + text(r.groupID); },
                          [](const EditEntry& r) { return QStringLiteral("editEntry-") + text(r.id); },
                          [](const NewGroup& r) { return QStringLiteral("newGroup-") + text(r.parentID); },
                          [](const EditGroup& r) { return QStringLiteral("editGroup-") + text(r.id); },
                          [](const Generator& r) {
                              return QStringLiteral("generator-") +
                                     (r.target ? text(*r.target) : QStringLiteral("-"));
                          },
                      },
                      case_);
}
