#include "OmbrixUI/EntryDrag.h"

#include <QMimeData>
#include <QStringList>

namespace EntryDrag {

QString text(std::span<const UUID> ids) {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(ids.size()));
    for (const UUID& id : ids) lines.append(QString::fromStdString(id.uuidString()));
    return lines.join(QLatin1Char('\n'));
}

QMimeData* mimeData(std::span<const UUID> ids) {
    auto* data = new QMimeData;
    data->setText(text(ids));
    return data;
}

std::set<UUID> parse(const QString& text) {
    std::set<UUID> ids;
    // Split on line feeds and trim, so that texts written with CR LF parse as well.
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.size() != 36) continue;
        if (const std::optional<UUID> id = UUID::fromString(trimmed.toStdString())) ids.insert(*id);
    }
    return ids;
}

std::set<UUID> parse(const QMimeData* data) {
    if (!data || !data->hasText()) return {};
    return parse(data->text());
}

}  // namespace EntryDrag
