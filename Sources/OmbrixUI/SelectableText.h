#pragma once

#include <QColor>
#include <QTextEdit>

// A read-only block of plain text that the user can select and copy. It wraps onto as many
// lines as its width needs, breaking inside a word when one word (a long address, a password)
// is wider than a line, and is always as tall as its text: it never scrolls or cuts the text.
class SelectableText : public QTextEdit {
    Q_OBJECT

  public:
    explicit SelectableText(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }
    void setText(const QString& text);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

  protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QColor color_;
};
