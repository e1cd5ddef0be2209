#pragma once

#include "OmbrixTheme/FieldChrome.h"

class QLineEdit;
class SymbolButton;
class SymbolView;

// The one-line search box: a magnifier (accent while focused, muted otherwise), the text and,
// while there is text, a clear button ("Aramayı temizle"), in the field frame.
//
// Keys: Return emits submitted(). Escape empties a non-empty text and keeps the focus; on an
// empty text it gives the focus up, so clearing and leaving take two presses. The clear button
// empties the text without touching the focus. Down (without modifiers) emits downPressed(), so
// the owner can move the keyboard user on to the results.
//
// Focus on request: the owner changes `focusToken` (e.g. increments it) to put the keyboard
// focus into the field; only a change counts, never the value itself.
class SearchField : public FieldChrome {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(int focusToken READ focusToken WRITE setFocusToken)

  public:
    explicit SearchField(const QString& placeholder, int focusToken = 0, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

    QString placeholder() const;
    void setPlaceholder(const QString& placeholder);

    int focusToken() const { return focusToken_; }
    void setFocusToken(int token);

    QLineEdit* lineEdit() const { return edit_; }
    SymbolButton* clearButton() const { return clear_; }
    SymbolView* magnifier() const { return magnifier_; }

  signals:
    // Every change of the text, typed or made by the field (Escape, the clear button).
    void textChanged(const QString& text);
    void submitted();
    void downPressed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void syncLook();

    SymbolView* magnifier_;
    QLineEdit* edit_;
    SymbolButton* clear_;
    int focusToken_;
};
