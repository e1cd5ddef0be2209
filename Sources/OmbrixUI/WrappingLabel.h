#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

// A label of plain text that wraps at word boundaries, in one font and one colour.
QLabel* wrappingLabel(const QString& text, const QFont& font, const QColor& color);
