#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

#include "core/taskline.h"
#include "server/backuprun.h"

class QAbstractButton;
class QButtonGroup;
class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tvl {
class MessageTable;
}

namespace tvl::ui {

class DatabaseList;
class TaskSelector;

// What the time field says when it is left with a time that is not whole.
inline constexpr const char* kInvalidTimeText =
    "Invalid input value: type the hours and both minute digits, or Esc to undo";

// The task editor: the task selector and the fields of the task it shows. It puts a task
// line into the fields and builds one from them, tidies the fields, shows the groups of
// the chosen run mode, keeps the time field's mask and tells the hint of the focused field.
// It says when the user edits (edited()); what an edit means for the task list is the
// caller's business.
class TaskEditor : public QWidget {
    Q_OBJECT
public:
    explicit TaskEditor(const MessageTable& messages, QWidget* parent = nullptr);
    ~TaskEditor() override;

    TaskSelector* selector() const { return m_cbName; }
    int currentEntry() const;

    // Empties every field for "no task": the start time becomes the current time.
    void clearFields(const QString& currentTime);
    // Shows a stored line. A line that cannot be read whole is shown up to the field that
    // fails; the text of that failure is returned, empty when the line was read whole.
    QString showLine(const std::string& line);
    // The task line the fields make under the name of selector entry `entry`; empty when
    // the fields do not make one.
    std::string buildLine(int entry) const;
    // The fields as the controls show them, under the name of selector entry `entry`.
    TaskFields fields(int entry) const;
    // The inputs a run of the shown task sends (planRun of its fields).
    RunInputs runInputs() const;

    // Tidies one field: ends trimmed, control characters inside removed.
    void TrimTxt(QWidget* control);
    // Tidies every field and closes the paths with a separator; not an edit of the task.
    void normPaths();
    void addPathEnd(QLineEdit* field);
    // Whether the shown task is complete.
    bool checkFields();

    // Shows the groups of the chosen run mode.
    void rgRunClick();
    std::vector<QAbstractButton*> runModeButtons() const;
    std::vector<QAbstractButton*> dayBoxes() const;
    std::vector<QAbstractButton*> monthBoxes() const;

    // The message-table keys of the field hints.
    std::vector<const char*> hintKeys() const;
    // Each field with a hint shows it as its tooltip too, in the language in force.
    void applyHintTooltips();
    int runMode() const;

    // The start-time field as it is written into a task line: always five characters.
    QString startTimeText() const;
    // Puts a time into the field right-aligned (" 9:05"), as the mask reads it.
    void setStartTime(const QString& text);
    bool startTimeReadable() const;

    // The database list, which takes the place of the save directory and backup type rows.
    bool databaseListOpen() const;
    void openDatabaseList(const std::vector<std::string>& entries, const std::vector<bool>& marks);
    // Closes the list, writing the checked entries into the paths field when they differ.
    // Returns the paths of the field that the server does not list, which are left out.
    std::vector<std::string> writeDatabaseListBack();
    // Closes the list without writing anything back.
    void closeDatabaseList();
    // While the server's list is being read the button takes no second click.
    void setDatabaseButtonBusy(bool busy);
    // Swaps the database list with the save directory and backup type rows.
    void ToggleDBList();
    DatabaseList* databaseList() const { return m_clbDB; }
    QString databasePaths() const;
    QString serverAddress() const;
    QString serverPort() const;

signals:
    // The user changed a field of the shown task.
    void edited();
    // The user chose a run mode.
    void runModeClicked();
    // The user picked an entry in the selector.
    void taskPicked();
    // ">>" or "<<".
    void databaseButtonClicked();
    // The hint of the focused field; empty clears it.
    void hintChanged(const QString& hint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTaskGroup(QWidget* central);
    QWidget* buildStartGroup();
    void buildRunModeGroups(QWidget* gbStart);
    void layOut(QWidget* taskGroup, QWidget* startGroup);
    void connectEdits();
    void collectHintKeys();
    void showFieldHint(QWidget* focused);
    void clearRunMode();
    void setRunMode(int mode);
    QString showRule(const TaskFields& fields, bool utf8);
    std::string ruleTail(int mode) const;
    bool timeFieldEvent(QEvent* event);
    void edit();

    const MessageTable& m_messages;
    // Changes the program makes itself, such as tidying, are not edits of the task.
    int m_quiet = 0;
    QString m_timeOnEntry;

    TaskSelector* m_cbName = nullptr;
    QLineEdit* m_edIP = nullptr;
    QLineEdit* m_edPort = nullptr;
    QLineEdit* m_edIn = nullptr;
    QPushButton* m_btDB = nullptr;
    DatabaseList* m_clbDB = nullptr;
    QLabel* m_lbOut = nullptr;
    QLineEdit* m_edOut = nullptr;
    QLabel* m_lbBUTyp = nullptr;
    QComboBox* m_cbBUTyp = nullptr;
    QGroupBox* m_rgRun = nullptr;
    QButtonGroup* m_runButtons = nullptr;
    QLineEdit* m_meTime = nullptr;
    QGroupBox* m_gbDay = nullptr;
    std::array<QCheckBox*, 7> m_days{};
    QGroupBox* m_gbMonth = nullptr;
    std::array<QCheckBox*, 12> m_months{};
    QGroupBox* m_gbMonthDay = nullptr;
    QSpinBox* m_seDay = nullptr;
    QCalendarWidget* m_mcCal = nullptr;

    // Fields that show a hint when they take the focus; a null key clears the hint.
    std::map<QWidget*, const char*> m_hintKeys;
};

}  // namespace tvl::ui
