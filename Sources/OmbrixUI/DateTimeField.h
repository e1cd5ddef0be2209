#pragma once

#include <QDateTimeEdit>

// A date and time field for forms that scroll. The mouse wheel changes its value only while the
// field has the keyboard focus; over a field without it, the wheel scrolls what holds the field.
// Turning the wheel does not give it the focus either: a click or Tab does. Its calendar opens
// from it, turns the months with the interface's chevrons and shows the weekend in the soft text
// colour.
class DateTimeField : public QDateTimeEdit {
    Q_OBJECT

  public:
    explicit DateTimeField(QWidget* parent = nullptr);

  protected:
    void wheelEvent(QWheelEvent* event) override;
};
