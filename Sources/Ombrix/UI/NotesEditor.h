#pragma once

#include <QWidget>

class QPlainTextEdit;

// A multi-line plain-text box for notes: the text family at 13 px in Palette::text, 8 of inner
// space, on Palette::canvas in a rounded rectangle (radius 8) with a Palette::line hairline. It
// takes the full width offered and is `minimumHeight` high, or more where a layout gives it more;
// longer text scrolls inside.
// Return starts a new line, so inside a sheet it never confirms.
class NotesEditor : public QWidget {
    Q_OBJECT

  public:
    explicit NotesEditor(int minimumHeight, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

    QPlainTextEdit* textEdit() const { return edit_; }

    QSize sizeHint() const override;

  signals:
    void textChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPlainTextEdit* edit_;
};
