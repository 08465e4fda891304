#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QString>

#include "core/activitylog.h"
#include "core/clock.h"
#include "core/messagetable.h"
#include "core/scheduler.h"
#include "core/taskfile.h"
#include "core/taskline.h"
#include "server/backuprun.h"
#include "server/controlsession.h"
#include "server/reporter.h"

class QAction;
class QButtonGroup;
class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QSettings;
class QSpinBox;
class QStatusBar;
class QTimer;
class QToolButton;

namespace tvl {
class VismControl;
}

namespace tvl::ui {

class NewTaskDialog;
class TrayIcon;

struct MainWindowOptions {
    // INI file that keeps the chosen language; empty means the user's settings file.
    QString settingsFile;
    // The clock of the start-time field, the log and the minute timer; null means the
    // system clock.
    const Clock* clock = nullptr;
    // The control every server operation goes through; it must outlive the window. Null
    // means the window loads the control library from the program's folder itself.
    VismControl* control = nullptr;
};

// The main window: the task editor. It shows one task at a time, picked in the task
// selector, keeps track of the one task with unsaved edits (the pending task) and asks
// whether to save it before the user leaves it.
//
// The handlers carry the names the program's documentation uses for them.
class MainWindow : public QMainWindow, public Reporter {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    void setNewTaskDialog(NewTaskDialog* dialog) { m_newDlg = dialog; }
    // The tray icon that the window goes into when it is minimised or closed; null, or a
    // tray the desktop does not offer, leaves the window minimised on the taskbar instead.
    void setTrayIcon(TrayIcon* tray) { m_tray = tray; }

    // Show the task selected in the selector.
    void cbNameChange();
    void NewClick();
    void SaveClick();
    void remove();
    // The save question; false when the pending task could not be saved.
    bool savprm();
    // Shows the groups of the chosen run mode.
    void rgRunClick();
    // Tidies one field: ends trimmed, control characters inside removed.
    void TrimTxt(QWidget* control);
    // Tidies before saving or running without making a task pending.
    void normPaths();
    // Whether the shown task is complete.
    bool checkFields();
    void addPathEnd(QLineEdit* field);
    // Clears the field hint.
    void Enter();
    // Opens the help page of the language in force.
    void miHlpClick();
    // File > Exit: the save question, then the end of the program whatever it answered.
    void ExitClick();
    // Task > Run: runs the shown task on its server now, unsaved edits included.
    void RunClick();
    // ">>" opens the server's list of databases with the field's directories checked;
    // "<<" writes the checked ones back into the field and closes the list.
    void btDBClick();
    // Swaps the database list with the save directory and backup type rows.
    void ToggleDBList();
    // The minute timer: starts every task due in the minutes since the last tick.
    void Timer1Timer();
    // Out of the way: into the tray when there is one, else minimised on the taskbar.
    void minimize();

    // Ends the program the way Exit does, but without the save question (SIGTERM, SIGINT).
    void endWithoutQuestion();
    // A second start of the program: come back from minimised or hidden, to the front.
    void wakeUp();

    // A file needed at start-up could not be read: the program ends instead of running.
    bool startupFailed() const { return m_startupFailed; }
    bool hasEnded() const { return m_ended; }
    int pendingIndex() const { return m_pending; }
    bool interactive() const { return m_interactive; }
    void setInteractive(bool on) {
        m_interactive = on;
        m_ctx.interactive = on;
    }
    int language() const { return m_language; }
    const TaskList& tasks() const { return m_tasks; }
    ActivityLog& activityLog() { return m_log; }

    // The message-table text of a key, empty when the key is missing.
    QString message(const char* key) const;
    // Reports of the server operations: status panel 1, boxes only while interactive.
    void showStatus(const std::string& text) override;
    void showError(const std::string& text) override;
    void showInfo(const std::string& text) override;

    // Status panel 0 holds the field hint; panel 1 the progress of server operations.
    QString fieldHint() const;
    QString statusText() const;
    void setStatusText(const QString& text);

    // The start-time field as it is written into a task line: always five characters.
    QString startTimeText() const;
    // Puts a time into the field right-aligned (" 9:05"), as the mask reads it.
    void setStartTime(const QString& text);

signals:
    // The main window has closed for good; the program ends.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class SaveOutcome { NothingPending, Refused, Saved };

    void buildMenus();
    void buildToolBar();
    void buildEditor();
    void buildStatusBar();
    void connectChangeEvents();

    // Creation, in order: language, message table, backup types, task list, time, log.
    void FormCreate();
    void restoreLanguage();
    void loadMessageTable();
    void loadTaskList();
    // Ending: the log's end line, the task list freed, the language stored.
    void FormClose();
    void storeLanguage();
    std::unique_ptr<QSettings> openSettings() const;

    SaveOutcome saveTask();
    bool startTimeReadable() const;
    std::string buildLine(int entry) const;
    void writeTaskFile();
    void showTaskLine(const std::string& line);
    void showConversionError(const QString& text);
    void closeDatabaseList();
    void openDatabaseList();
    void writeDatabaseListBack();

    void armTimer();
    // A due task goes through the editor as if the user had picked it and pressed Run;
    // while the editor is in use it is run from its stored line instead.
    void startScheduled(std::size_t index);
    bool editorInUse() const;
    void runStoredLine(const std::string& line);
    void runWith(const RunInputs& inputs, bool interactive);
    // The task of selector entry `entry` as the editor's controls show it.
    TaskFields editorFields(int entry) const;
    void reportQuietly(const QString& text);
    void markPending();
    void clearRunMode();
    void setRunMode(int mode);
    int runMode() const;
    QString currentTimeText() const;
    void showFieldHint(QWidget* focused);

    // Selector entries move when a new task's line goes before hidden lines or an unsaved
    // entry is dropped; the current entry and a remembered index follow them.
    void moveSelectorEntry(int from, int to);
    void removeSelectorEntry(int entry);

    MainWindowOptions m_options;
    const Clock* m_clock;
    MessageTable m_messages;
    TaskList m_tasks;
    ActivityLog m_log;
    NewTaskDialog* m_newDlg = nullptr;
    TrayIcon* m_tray = nullptr;

    // The context lives before and after the control: the control's error handler uses it.
    ControlContext m_ctx;
    std::unique_ptr<VismControl> m_ownControl;
    VismControl* m_control = nullptr;
    // The server's databases as the open list shows them, byte for byte.
    std::vector<std::string> m_dbEntries;

    MinuteScheduler m_scheduler;
    QTimer* m_timer1 = nullptr;
    bool m_inTick = false;

    int m_pending = -1;
    int* m_remembered = nullptr;
    int m_language;
    bool m_interactive = false;
    bool m_startupFailed = false;
    bool m_languageRestored = false;
    bool m_languageStored = false;
    bool m_exiting = false;
    bool m_askAtExit = true;
    bool m_ended = false;
    bool m_refusedEdits = false;  // edits on screen after a refused save at the save question
    QString m_timeOnEntry;

    // Menus and commands.
    QAction* m_miNew = nullptr;
    QAction* m_miSave = nullptr;
    QAction* m_miExit = nullptr;
    QAction* m_miRemove = nullptr;
    QAction* m_miRun = nullptr;
    QAction* m_miView = nullptr;
    QAction* m_miEng = nullptr;
    QAction* m_miRus = nullptr;
    QAction* m_miHlp = nullptr;
    QAction* m_miAbout = nullptr;
    QToolButton* m_tbRun = nullptr;

    // The editor.
    QComboBox* m_cbName = nullptr;
    QLineEdit* m_edIP = nullptr;
    QLineEdit* m_edPort = nullptr;
    QLineEdit* m_edIn = nullptr;
    QPushButton* m_btDB = nullptr;
    QListWidget* m_clbDB = nullptr;
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
    QStatusBar* m_sbDesc = nullptr;
    QLabel* m_panel0 = nullptr;
    QLabel* m_panel1 = nullptr;

    // Fields that show a hint when they take the focus; a null key clears the hint.
    std::map<QWidget*, const char*> m_hintKeys;
};

}  // namespace tvl::ui
