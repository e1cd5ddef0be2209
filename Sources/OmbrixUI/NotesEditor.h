#pragma once

#include "OmbrixTheme/FieldChrome.h"

class QPlainTextEdit;

// A multi-line plain-text box for notes: the text family at 13 px in Palette::text, 8 of inner
// space, on Palette::canvas in a rounded rectangle (radius 8) with a Palette::line hairline. It
// takes the full width offered and is `minimumHeight` high, or more where a layout gives it more;
// longer text scrolls inside. While it has the keyboard its border is the accent, with the focus
// ring, as a text field's is.
// Return starts a new line, so inside a sheet it never confirms.
//
// The text comes back as it was given until the user edits it: the text document turns CR LF,
// CR and U+2028 into its own line breaks, which would rewrite a stored note on every save.
// Edited text keeps its no-break spaces, which the document's plain-text export turns into
// ordinary spaces.
class NotesEditor : public FieldChrome {
    Q_OBJECT

  public:
    explicit NotesEditor(int minimumHeight, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

    QPlainTextEdit* textEdit() const { return edit_; }

    QSize sizeHint() const override;

  signals:
    void textChanged();

  private:
    // Line breaks of the document as '\n', every other character as it is.
    QString documentText() const;

    QPlainTextEdit* edit_;
    // What setText() was given, and the document's text right after it.
    QString given_;
    QString shown_;
};
