#pragma once

#include <QWidget>

#include <optional>

class ElidedLabel;

// The head of a card or section: the title (BrandFont::sectionTitle(), Palette::text) and,
// when given, a subtitle below it (11 px regular, Palette::textMuted), each on one line cut
// with "…"; then a flexible space; then the optional trailing widget, 12 apart, everything
// centred vertically. The header takes ownership of `trailing`.
class SectionHeader : public QWidget {
    Q_OBJECT

  public:
    SectionHeader(const QString& title, const std::optional<QString>& subtitle = std::nullopt,
                  QWidget* trailing = nullptr, QWidget* parent = nullptr);

    QString title() const;
    void setTitle(const QString& title);

    // Absent: the title line alone.
    std::optional<QString> subtitle() const;
    void setSubtitle(const std::optional<QString>& subtitle);

    QWidget* trailing() const { return trailing_; }

    ElidedLabel* titleLabel() const { return title_; }
    ElidedLabel* subtitleLabel() const { return subtitle_; }

  private:
    ElidedLabel* title_;
    ElidedLabel* subtitle_;
    bool hasSubtitle_ = false;
    QWidget* trailing_;
};
