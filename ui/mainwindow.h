#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QIcon>
#include <QMainWindow>
#include <QString>
#include <QStyle>

#include "autostart.h"
#include "core/activitylog.h"
#include "core/clock.h"
#include "core/history.h"
#include "core/jobjournal.h"
#include "core/messagetable.h"
#include "core/taskfile.h"
#include "languagesettings.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace tvl {
class VismControl;
struct WalkLimits;
struct WalkOutcome;
}  // namespace tvl

namespace tvl::ui {

class AboutWindow;
class BackupService;
class DateIntervalDialog;
class ExpectedBackupsCommand;
class TaskViewerWindow;
class WaitWindow;
class NewTaskDialog;
class TJKCaptionReader;
class TaskBook;
class TaskEditor;
class RunsRow;
class JobWatch;

struct MainWindowOptions {
    // INI file that keeps the chosen language; empty means the user's settings file.
    QString settingsFile;
    // The clock of the start-time field, the log and the minute timer; null means the
    // system clock.
    const Clock* clock = nullptr;
    // The control every server operation goes through; it must outlive the window. Null
    // means the window loads the control library from the program's folder itself.
    VismControl* control = nullptr;
    // Makes the control instances of the work done off the window thread (the database
    // list); null means the control library beside the program makes them.
    std::function<std::unique_ptr<VismControl>()> workerControl;
    // The bounds of the database list's walk; null means the usual ones.
    std::shared_ptr<const WalkLimits> walkLimits;
    // Makes the control instance that follows the started jobs; null means as
    // workerControl.
    std::function<std::unique_ptr<VismControl>()> followerControl;
    // Folder of the caption files and LngCnf.cfg. Empty means the program's folder, with
    // the user's data folder for what cannot be written there.
    QString languageFolder;
    // The login start entry; empty means the one in the user's autostart folder.
    QString autostartFile;
};

// The main window: the shell around the task editor (menus, toolbar, status bar, close and
// minimise) and the program's life from creation to end. The work is done by the task
// editor (the fields), the task book (the task list and its commands) and the backup
// service (the control, the log and the minute timer).
//
// The handlers carry the names the program's documentation uses for them.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Creation, in order: language, message table, task list, time, log; then the minute
    // timer starts. False when a file needed at start-up could not be read: the program
    // ends instead of running.
    bool FormCreate();

    void setNewTaskDialog(NewTaskDialog* dialog);
    void setAboutWindow(AboutWindow* about) { m_about = about; }
    // The windows of the Expected backups command, created after this one.
    void setExpectedBackupsWindows(DateIntervalDialog& dialog, WaitWindow& wait,
                                   TaskViewerWindow& viewer);

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
    // Service > Language: the messages, captions and check marks of the language when its
    // files are there; else an error box in the language being left, and nothing changes.
    void miEngClick();
    void miRusClick();
    // Help > About and its toolbar button: the About window centred on this one.
    void AboutClick();
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
    // The last and next run of the task shown in the editor, as they stand now.
    void refreshRuns();
    // A job's end was learnt: a failed or unknown one warns (backupWarning).
    void jobEnded(const JobRecord& job);
    void startsMissed(const std::vector<HistoryRow>& rows);
    // Out of the way: into the tray when there is one, else minimised on the taskbar.
    void minimize();
    // Task > Expected backups: the backups the start rules will start in a date interval.
    void tbViewClick();

    // Ends the program the way Exit does, but without the save question (SIGTERM, SIGINT).
    void endWithoutQuestion();
    // A second start of the program, or the tray's Open: back to the front.
    void wakeUp();
    // A click on the tray icon: into the tray when shown, else back to the front.
    void toggleFromTray();
    // Whether a tray icon is there to bring the window back; without one the window
    // minimises onto the taskbar instead of hiding.
    void setTrayAvailable(bool available) { m_trayAvailable = available; }

    bool hasEnded() const { return m_lifecycle == Lifecycle::Ended; }
    int pendingIndex() const;
    bool interactive() const;
    void setInteractive(bool on);
    // The language in force for the whole program, as the caption reader holds it.
    int language() const;
    TJKCaptionReader& captionReader() { return *m_crLng; }
    const TaskList& tasks() const;
    ActivityLog& activityLog();
    BackupService& backupService() { return *m_service; }
    TaskEditor& editor() { return *m_editor; }
    RunsRow& runsRow() { return *m_runs; }
    JobWatch& jobWatch() { return *m_watch; }

    // The menus and toolbar buttons by object name ("miView", "tbView", ...), for the
    // windows that come with commands of their own.
    QAction* menuAction(const char* name) const;
    QToolButton* toolButton(const char* name) const;

    // Alt and a letter reach one control each: the menu bar first, then the run modes,
    // then the weekday and month boxes. Run again after the captions change.
    void settleMnemonics();

    // The message-table text of a key, empty when the key is missing.
    QString message(const char* key) const;

    // Status panel 0 holds the field hint; panel 1 the progress of server operations.
    QString fieldHint() const;
    QString statusText() const;
    void setStatusText(const QString& text);

    // The start-time field as it is written into a task line: always five characters.
    QString startTimeText() const;
    // Puts a time into the field right-aligned (" 9:05"), as the mask reads it.
    void setStartTime(const QString& text);

signals:
    // Exit or a termination signal has begun the end of the program (the tray icon goes).
    void endingStarted();
    // The main window has closed for good; the program ends.
    void programEnded();
    // Who starts the backups when it is not this program (empty when it is).
    void schedulerNotice(const QString& text);
    // A backup of `task` failed or its outcome is unknown: `line` says which, `why` the
    // reason (the job log's last line or what kept it from being read).
    void backupWarning(const QString& task, const QString& line, const QString& why);
    // The window was shown or brought to the front: the user has seen it.
    void opened();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Running until Exit (with the save question) or a termination signal (without);
    // Ended once the log's end line is written and the task list freed.
    enum class Lifecycle { Running, Exiting, EndingQuietly, Ended };

    struct Icon {
        const char* themeName;
        QStyle::StandardPixmap fallback;
    };
    QIcon toolIcon(const Icon& icon) const;
    void fitHintPanel();
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void connectParts();
    bool loadMessageTable();
    void switchLanguage(int language);
    void showCheckMarks();
    // Ending: the log's end line, the task list freed, the language stored.
    void FormClose();
    void beginEnd(Lifecycle how);

    // A due task goes through the editor as if the user had picked it and pressed Run;
    // while the editor is in use it is run from its stored line instead.
    void startScheduled(std::size_t index);
    bool editorInUse() const;
    void openDatabaseList();
    void databasesListed(const WalkOutcome& walk, const QString& ip, const QString& port,
                         int entry);
    void showConversionError(const QString& text);

    MainWindowOptions m_options;
    const Clock* m_clock;
    LanguageSettings m_settings;
    TJKCaptionReader* m_crLng = nullptr;
    AboutWindow* m_about = nullptr;
    Autostart m_autostart;
    MessageTable m_messages;
    Lifecycle m_lifecycle = Lifecycle::Running;
    bool m_trayAvailable = false;

    class ExpectedHost;
    std::unique_ptr<ExpectedHost> m_expectedHost;
    std::unique_ptr<ExpectedBackupsCommand> m_expected;

    BackupService* m_service = nullptr;
    TaskEditor* m_editor = nullptr;
    TaskBook* m_book = nullptr;
    RunsRow* m_runs = nullptr;
    JobWatch* m_watch = nullptr;

    QToolBar* m_toolBar = nullptr;
    QAction* m_miEng = nullptr;
    QAction* m_miRus = nullptr;
    QLabel* m_panel0 = nullptr;
    QLabel* m_panel1 = nullptr;
};

}  // namespace tvl::ui
