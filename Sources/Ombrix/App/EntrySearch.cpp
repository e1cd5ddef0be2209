#include "Ombrix/App/EntrySearch.h"

namespace {

bool isHorizontalSpace(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString folded(const QString& text) {
    return text.toLower().normalized(QString::NormalizationForm_C);
}

}  // namespace

QStringView EntrySearch::trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalSpace(text[begin])) ++begin;
    while (end > begin && isHorizontalSpace(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

QString EntrySearch::searchedText(const KdbxEntry& entry) {
    QString text;
    text.reserve(static_cast<qsizetype>(entry.title.size() + entry.username.size() + entry.url.size() +
                                        entry.notes.size() + 64));
    text += QString::fromStdString(entry.title);
    text += u' ';
    text += QString::fromStdString(entry.username);
    text += u' ';
    text += QString::fromStdString(entry.url);
    text += u' ';
    text += QString::fromStdString(entry.notes);
    text += u' ';
    for (std::size_t i = 0; i < entry.tags.size(); ++i) {
        if (i > 0) text += u' ';
        text += QString::fromStdString(entry.tags[i]);
    }
    text += u' ';
    bool first = true;
    for (const auto& [name, value] : entry.customFields) {
        if (entry.protectedCustomFields.contains(name)) continue;
        if (!first) text += u' ';
        first = false;
        text += QString::fromStdString(name);
        text += u' ';
        text += QString::fromStdString(value);
    }
    return folded(text);
}

EntrySearch::EntrySearch(QStringView query) {
    const QString lowered = folded(trimmed(query).toString());
    words_ = lowered.split(u' ', Qt::SkipEmptyParts);
}

bool EntrySearch::matches(const KdbxEntry& entry) const {
    if (words_.isEmpty()) return true;
    const QString text = searchedText(entry);
    for (const QString& word : words_) {
        if (!text.contains(word)) return false;
    }
    return true;
}
