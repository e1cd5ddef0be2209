#pragma once

#include "OmbrixTheme/FieldChrome.h"

class QLineEdit;
class SymbolButton;

// A password box in the field frame: the text masked, or in clear while `revealed`, in the
// monospaced font (14 px when large, else 12), and an eye button that flips `revealed`
// ("eye" in Palette::textMuted with "Parolayı göster"; "eye.slash" in Palette::accent with
// "Parolayı gizle" while revealed). Flipping keeps the text and moves no focus. Return emits
// submitted() in either mode. The eye takes no keyboard focus, so that Tab goes from a password
// straight to its confirmation; from the keyboard, the field's own menu (the Menu key or
// Shift+F10, as well as a right click) offers the same words first.
class SecretField : public FieldChrome {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(bool revealed READ isRevealed WRITE setRevealed NOTIFY revealedChanged)

  public:
    explicit SecretField(const QString& placeholder, bool large = false, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

    QString placeholder() const;
    void setPlaceholder(const QString& placeholder);

    bool isRevealed() const { return revealed_; }
    void setRevealed(bool revealed);

    QLineEdit* lineEdit() const { return edit_; }
    SymbolButton* revealButton() const { return eye_; }

  signals:
    void textChanged(const QString& text);
    void revealedChanged(bool revealed);
    void submitted();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void syncLook();
    // What the eye's tip and the field's menu say it does now.
    QString revealWords() const;
    void showMenu(const QPoint& at);

    QLineEdit* edit_;
    SymbolButton* eye_;
    bool revealed_ = false;
};
