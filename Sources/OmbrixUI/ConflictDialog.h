#pragma once

#include <QDialog>
#include <QString>

class AppButton;
class QLabel;

// Asked when a save meets a file that another program changed since it was opened or last saved
// here: what becomes of the changes. Modal over the whole application, so that nothing else
// starts a save while it waits.
class ConflictDialog : public QDialog {
    Q_OBJECT

  public:
    enum Choice { keepEditing = 0, saveElsewhere, overwrite, discardMine, writeBeside };

    explicit ConflictDialog(const QString& fileName, QWidget* parent = nullptr);

    // Closes the dialog as if the changes were to be kept in a file of their own: when the
    // program is told to end while it waits, nothing may be lost and nobody can answer.
    void answerForTermination() { done(writeBeside); }

    QLabel* message() const { return message_; }
    AppButton* button(Choice choice) const;

  private:
    QLabel* message_;
    AppButton* saveElsewhere_;
    AppButton* overwrite_;
    AppButton* discardMine_;
    AppButton* keepEditing_;
};
