#pragma once

#include <functional>

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace tvl::ui {

// Asks for the name of a new task. OK is refused, with the dialog left open, while the
// name is empty or already names a task (ignoring case).
class NewTaskDialog : public QDialog {
    Q_OBJECT
public:
    explicit NewTaskDialog(QWidget* parent = nullptr);

    // Whether a name, tidied, already names a task (ignoring case).
    using NameTaken = std::function<bool(const QString&)>;

    // Empties the field and sets what the check asks and says when it refuses.
    void prepare(NameTaken taken, const QString& refusalText);
    // The tidied name of the last OK.
    QString name() const { return m_name; }

    void accept() override;
    void reject() override;

    // Blanks and control characters at the ends removed, control characters inside too,
    // so the name can never carry a separator of the task file.
    static QString tidyName(const QString& text);

private:
    QLineEdit* m_edNew = nullptr;
    QPushButton* m_bbOk = nullptr;
    QPushButton* m_bbCancel = nullptr;
    NameTaken m_taken;
    QString m_refusal;
    QString m_name;
};

}  // namespace tvl::ui
