#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

#include "OmbrixServices/Services/PasswordStrength.h"

class QVariantAnimation;

// How strong a password is: four segments lit in the colour of the score's band and, unless
// compact, a line with the verdict, the estimated entropy and the length in characters. The
// rating is PasswordGenerator::strength; the meter adds only the bands below. It keeps the
// rating, never the password.
class StrengthMeter : public QWidget {
    Q_OBJECT

  public:
    // The verdict and colour of a score: below 25 "Çok zayıf" (danger), below 50 "Zayıf"
    // (warn), below 75 "İyi" (info), below 90 "Güçlü", else "Çok güçlü" (both success).
    struct Band {
        QString verdict;
        QColor color;

        friend bool operator==(const Band&, const Band&) = default;
    };
    static Band band(std::int64_t score);

    // Segment i (0...3) is lit exactly when score > 25 i.
    static bool isSegmentLit(int index, std::int64_t score);
    static int litSegments(std::int64_t score);

    // "· 13 bit entropi": whole bits, halves rounded away from zero.
    static QString entropyText(double bits);
    // "12 karakter", counting characters as the user sees them (grapheme clusters).
    static QString lengthText(const QString& password);
    static std::int64_t characterCount(const QString& password);

    explicit StrengthMeter(bool compact = false, QWidget* parent = nullptr);

    // Rates `password` at once; a new score animates the segments.
    void setPassword(const QString& password);

    PasswordGenerator::Strength strength() const { return strength_; }
    std::int64_t length() const { return length_; }

    // The colour each segment ends up in for the current score.
    std::array<QColor, 4> segmentColors() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qreal segmentHeight() const { return compact_ ? 4 : 5; }
    int lineHeight() const;

    bool compact_;
    PasswordGenerator::Strength strength_;
    std::int64_t length_ = 0;
    std::array<QColor, 4> from_;
    QVariantAnimation* animation_;
};
