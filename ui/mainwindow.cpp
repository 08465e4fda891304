#include "mainwindow.h"

#include <algorithm>
#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "application.h"
#include "core/regional.h"
#include "core/runplan.h"
#include "core/schedule.h"
#include "language.h"
#include "messagebox.h"
#include "newtaskdialog.h"
#include "server/controlloader.h"
#include "server/dblist.h"
#include "server/vismcontrol.h"
#include "textcodec.h"
#include "trayicon.h"

namespace tvl::ui {

namespace {

constexpr const char* kTimeMask = "09:99; ";

const std::array<const char*, 7> kDayNames = {"cbMon", "cbTue", "cbWed", "cbThu",
                                              "cbFri", "cbSat", "cbSun"};
const std::array<const char*, 7> kDayCaptions = {"&Monday", "&Tuesday",  "&Wednesday", "T&hursday",
                                                 "&Friday", "&Saturday", "S&unday"};
const std::array<const char*, 12> kMonthNames = {"cbJan", "cbFeb", "cbMar", "cbApr",
                                                 "cbMay", "cbJun", "cbJul", "cbAug",
                                                 "cbSep", "cbOct", "cbNov", "cbDec"};
const std::array<const char*, 12> kMonthCaptions = {
    "&January", "&February", "&March",     "&April",   "Ma&y",      "J&une",
    "Ju&ly",    "Au&gust",   "&September", "&October", "&November", "&December"};
const std::array<const char*, 4> kRunCaptions = {"&Once", "&Daily", "&Weekly", "&Monthly"};

template <class W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString decode(const std::string& bytes, bool utf8) {
    return utf8 ? QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
                : fromWindows1251(bytes);
}

// Keeps a hidden widget's place in the layout, so the window keeps its size whichever
// run mode's group is shown.
void keepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

}  // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_options(std::move(options)),
      m_clock(m_options.clock != nullptr ? m_options.clock : &systemClock()),
      m_log(kLogFileName, m_clock),
      m_scheduler(*m_clock),
      m_language(kEnglish) {
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Tarvel Utility"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    buildMenus();
    buildToolBar();
    buildEditor();
    buildStatusBar();
    connectChangeEvents();
    setFixedSize(sizeHint());

    m_ctx.reporter = this;
    m_ctx.messages = &m_messages;
    m_ctx.log = &m_log;
    m_control = m_options.control;
    if (m_control == nullptr) {
        std::string why;
        m_ownControl = loadControl(programDirectory(), &why);
        m_control = m_ownControl.get();
        if (m_control == nullptr && !why.empty()) {
            std::fprintf(stderr, "tarvel: %s\n", why.c_str());
        }
    }
    if (m_control != nullptr) {
        bindErrorHandler(*m_control, m_ctx);
    }

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    m_timer1->setTimerType(Qt::PreciseTimer);
    connect(m_timer1, &QTimer::timeout, this, [this] {
        // The next tick is set up whatever this one does: a timer that stops would miss
        // every backup from then on.
        struct Rearm {
            MainWindow* window;
            ~Rearm() { window->armTimer(); }
        } rearm{this};
        Timer1Timer();
    });

    FormCreate();
    armTimer();
}

MainWindow::~MainWindow() {
    // A control handed in by the caller outlives this window and its context.
    if (m_control != nullptr) {
        m_control->setOnError({});
    }
    // A window destroyed without its close still keeps the language chosen.
    storeLanguage();
}

// ---------------------------------------------------------------------------------------
// Building the window

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    auto action = [this](QMenu* menu, const char* name, const char* caption,
                         const QKeySequence& shortcut = {}) {
        auto* a = named(new QAction(QString::fromUtf8(caption), this), name);
        a->setShortcut(shortcut);
        menu->addAction(a);
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    QMenu* file = named(bar->addMenu(QStringLiteral("&File")), "miFile");
    m_miNew = action(file, "miNew", "&New", QKeySequence(Qt::CTRL | Qt::Key_N));
    m_miSave = action(file, "miSave", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S));
    separator(file, "N1");
    m_miExit = action(file, "miExit", "E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* task = named(bar->addMenu(QStringLiteral("&Task")), "miTask");
    m_miRemove = action(task, "miRemove", "Re&move", QKeySequence(Qt::CTRL | Qt::Key_Delete));
    m_miRun = action(task, "miRun", "&Run", QKeySequence(Qt::CTRL | Qt::Key_F5));
    m_miView = action(task, "miView", "Expected backups");

    QMenu* service = named(bar->addMenu(QStringLiteral("&Service")), "miService");
    QMenu* language = named(service->addMenu(QStringLiteral("&Language")), "miLanguage");
    m_miEng = action(language, "miEng", "&English");
    m_miRus = action(language, "miRus", "&Russian");
    m_miEng->setCheckable(true);
    m_miRus->setCheckable(true);

    QMenu* help = named(bar->addMenu(QStringLiteral("&Help")), "miHelp");
    m_miHlp = action(help, "miHlp", "&Help", QKeySequence(Qt::Key_F1));
    m_miAbout = action(help, "miAbout", "&About");

    // Expected backups, the language switch and About come with their own windows; until
    // then their commands are there but cannot be chosen.
    for (QAction* a : {m_miView, m_miEng, m_miRus, m_miAbout}) {
        a->setEnabled(false);
    }

    connect(m_miNew, &QAction::triggered, this, [this] { guarded([this] { NewClick(); }); });
    connect(m_miSave, &QAction::triggered, this, [this] { guarded([this] { SaveClick(); }); });
    connect(m_miExit, &QAction::triggered, this, [this] { guarded([this] { ExitClick(); }); });
    connect(m_miRemove, &QAction::triggered, this, [this] { guarded([this] { remove(); }); });
    connect(m_miRun, &QAction::triggered, this, [this] { guarded([this] { RunClick(); }); });
    connect(m_miHlp, &QAction::triggered, this, [this] { guarded([this] { miHlpClick(); }); });
}

void MainWindow::buildToolBar() {
    QToolBar* bar = named(addToolBar(QString()), "ToolBar1");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);

    auto button = [this, bar](const char* name, const char* hint, QStyle::StandardPixmap icon) {
        auto* b = named(new QToolButton(bar), name);
        b->setToolTip(QString::fromUtf8(hint));
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        // Toolbar buttons leave the focus where it is, so a command can come while a field
        // is still being edited; the commands tidy the focused field for that reason.
        b->setFocusPolicy(Qt::NoFocus);
        bar->addWidget(b);
        return b;
    };
    auto separator = [bar](const char* name) {
        bar->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    QToolButton* tbNew = button("tbNew", "New Task", QStyle::SP_FileIcon);
    QToolButton* tbSave = button("tbSave", "Save Task", QStyle::SP_DialogSaveButton);
    separator("ToolButton3");
    QToolButton* tbRemove = button("tbRemove", "Remove Task", QStyle::SP_TrashIcon);
    QToolButton* tbRun = button("tbRun", "Run Task", QStyle::SP_MediaPlay);
    separator("ToolButton6");
    QToolButton* tbView = button("tbView", "Expected backups", QStyle::SP_FileDialogDetailedView);
    separator("ToolButton8");
    QToolButton* tbAbout = button("tbAbout", "About", QStyle::SP_MessageBoxInformation);

    m_tbRun = tbRun;
    for (QToolButton* b : {tbView, tbAbout}) {
        b->setEnabled(false);
    }
    connect(tbRun, &QToolButton::clicked, this, [this] { guarded([this] { RunClick(); }); });
    connect(tbNew, &QToolButton::clicked, this, [this] { guarded([this] { NewClick(); }); });
    connect(tbSave, &QToolButton::clicked, this, [this] { guarded([this] { SaveClick(); }); });
    connect(tbRemove, &QToolButton::clicked, this, [this] { guarded([this] { remove(); }); });
}

void MainWindow::buildEditor() {
    auto* central = named(new QWidget(this), "pnMain");
    setCentralWidget(central);

    // Task selector.
    auto* lbName = named(new QLabel(QStringLiteral("Task Name"), central), "lbName");
    m_cbName = named(new QComboBox(central), "cbName");
    m_cbName->setEditable(false);
    m_cbName->setMinimumWidth(220);
    m_cbName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_cbName->setMinimumContentsLength(20);
    lbName->setBuddy(m_cbName);

    // Task parameters.
    auto* gbTask = named(new QGroupBox(QStringLiteral("Task Parameters"), central), "gbTask");
    auto* lbIP = named(new QLabel(QStringLiteral("Server IP"), gbTask), "lbIP");
    m_edIP = named(new QLineEdit(gbTask), "edIP");
    auto* lbPort = named(new QLabel(QStringLiteral("Port"), gbTask), "lbPort");
    m_edPort = named(new QLineEdit(gbTask), "edPort");
    auto* lbIn = named(new QLabel(QStringLiteral("DB Paths"), gbTask), "lbIn");
    m_edIn = named(new QLineEdit(gbTask), "edIn");
    m_btDB = named(new QPushButton(QStringLiteral(">>"), gbTask), "btDB");
    m_btDB->setFixedWidth(40);
    connect(m_btDB, &QPushButton::clicked, this, [this] { guarded([this] { btDBClick(); }); });
    m_clbDB = named(new QListWidget(gbTask), "clbDB");
    m_clbDB->hide();
    // Ticking a database is not an edit of the task; only closing the list with another
    // text is.
    connect(m_clbDB, &QListWidget::itemClicked, this, [this] { Enter(); });
    m_lbOut = named(new QLabel(QStringLiteral("Save Dir"), gbTask), "lbOut");
    m_edOut = named(new QLineEdit(gbTask), "edOut");
    m_lbBUTyp = named(new QLabel(QStringLiteral("BackUp Type"), gbTask), "lbBUTyp");
    m_cbBUTyp = named(new QComboBox(gbTask), "cbBUTyp");
    m_cbBUTyp->setEditable(false);
    for (QWidget* w : {static_cast<QWidget*>(m_lbOut), static_cast<QWidget*>(m_edOut),
                       static_cast<QWidget*>(m_lbBUTyp), static_cast<QWidget*>(m_cbBUTyp)}) {
        keepPlaceWhenHidden(w);
    }
    lbIP->setBuddy(m_edIP);
    lbPort->setBuddy(m_edPort);
    lbIn->setBuddy(m_edIn);
    m_lbOut->setBuddy(m_edOut);
    m_lbBUTyp->setBuddy(m_cbBUTyp);

    auto* taskGrid = new QGridLayout(gbTask);
    taskGrid->addWidget(lbIP, 0, 0);
    taskGrid->addWidget(m_edIP, 0, 1, 1, 2);
    taskGrid->addWidget(lbPort, 1, 0);
    taskGrid->addWidget(m_edPort, 1, 1, 1, 2);
    taskGrid->addWidget(lbIn, 2, 0);
    taskGrid->addWidget(m_edIn, 2, 1);
    taskGrid->addWidget(m_btDB, 2, 2);
    taskGrid->addWidget(m_lbOut, 3, 0);
    taskGrid->addWidget(m_edOut, 3, 1, 1, 2);
    taskGrid->addWidget(m_lbBUTyp, 4, 0);
    taskGrid->addWidget(m_cbBUTyp, 4, 1, 1, 2);
    // The database list takes the place of the save directory and backup type rows.
    taskGrid->addWidget(m_clbDB, 3, 0, 2, 3);
    taskGrid->setRowStretch(5, 1);

    // Start time.
    auto* gbStart = named(new QGroupBox(QStringLiteral("Start Time"), central), "gbStart");
    m_rgRun = named(new QGroupBox(QStringLiteral("Run"), gbStart), "rgRun");
    m_runButtons = new QButtonGroup(this);
    m_runButtons->setObjectName(QStringLiteral("rgRunButtons"));
    auto* runLayout = new QVBoxLayout(m_rgRun);
    for (int i = 0; i < 4; ++i) {
        auto* radio =
            new QRadioButton(QString::fromUtf8(kRunCaptions[static_cast<std::size_t>(i)]), m_rgRun);
        radio->setObjectName(QStringLiteral("rgRun%1").arg(i));
        m_runButtons->addButton(radio, i);
        runLayout->addWidget(radio);
    }
    auto* gbTime = named(new QGroupBox(QStringLiteral("Time"), gbStart), "gbTime");
    m_meTime = named(new QLineEdit(gbTime), "meTime");
    m_meTime->setInputMask(QString::fromLatin1(kTimeMask));
    m_meTime->setFixedWidth(70);
    auto* timeLayout = new QVBoxLayout(gbTime);
    timeLayout->addWidget(m_meTime);

    m_gbDay = named(new QGroupBox(QStringLiteral("Day"), gbStart), "gbDay");
    auto* dayGrid = new QGridLayout(m_gbDay);
    for (std::size_t k = 0; k < m_days.size(); ++k) {
        m_days[k] = named(new QCheckBox(QString::fromUtf8(kDayCaptions[k]), m_gbDay), kDayNames[k]);
        m_days[k]->setChecked(true);
        dayGrid->addWidget(m_days[k], static_cast<int>(k % 4), static_cast<int>(k / 4));
    }
    m_gbMonth = named(new QGroupBox(QStringLiteral("Month"), gbStart), "gbMonth");
    auto* monthGrid = new QGridLayout(m_gbMonth);
    for (std::size_t k = 0; k < m_months.size(); ++k) {
        m_months[k] =
            named(new QCheckBox(QString::fromUtf8(kMonthCaptions[k]), m_gbMonth), kMonthNames[k]);
        m_months[k]->setChecked(true);
        monthGrid->addWidget(m_months[k], static_cast<int>(k % 4), static_cast<int>(k / 4));
    }
    m_gbMonthDay = named(new QGroupBox(gbStart), "gbMonthDay");
    auto* lbDay = named(new QLabel(QStringLiteral("Day"), m_gbMonthDay), "lbDay");
    m_seDay = named(new QSpinBox(m_gbMonthDay), "seDay");
    m_seDay->setRange(1, 28);
    m_seDay->setValue(1);
    lbDay->setBuddy(m_seDay);
    auto* monthDayLayout = new QHBoxLayout(m_gbMonthDay);
    monthDayLayout->addWidget(lbDay);
    monthDayLayout->addWidget(m_seDay);
    monthDayLayout->addStretch(1);
    m_mcCal = named(new QCalendarWidget(gbStart), "mcCal");
    m_mcCal->setFirstDayOfWeek(Qt::Monday);
    m_mcCal->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);

    for (QWidget* w : {static_cast<QWidget*>(m_gbDay), static_cast<QWidget*>(m_gbMonth),
                       static_cast<QWidget*>(m_gbMonthDay), static_cast<QWidget*>(m_mcCal)}) {
        keepPlaceWhenHidden(w);
        w->hide();
    }

    auto* startGrid = new QGridLayout(gbStart);
    startGrid->addWidget(m_rgRun, 0, 0);
    startGrid->addWidget(gbTime, 1, 0);
    // The groups of the run modes share one place; only the chosen mode's are shown.
    startGrid->addWidget(m_mcCal, 0, 1, 2, 1);
    startGrid->addWidget(m_gbDay, 0, 1, 2, 1, Qt::AlignTop);
    startGrid->addWidget(m_gbMonth, 0, 1, Qt::AlignTop);
    startGrid->addWidget(m_gbMonthDay, 1, 1, Qt::AlignTop);
    startGrid->setRowStretch(2, 1);

    auto* left = new QVBoxLayout;
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(lbName);
    nameRow->addWidget(m_cbName, 1);
    left->addLayout(nameRow);
    left->addWidget(gbTask, 1);

    auto* main = new QHBoxLayout(central);
    main->addLayout(left, 1);
    main->addWidget(gbStart);

    // Field hints: each field's key, looked up when it takes the focus; the flags, the
    // calendar and the day field clear the hint.
    m_hintKeys = {{m_cbName, "choosetsk"}, {m_edIP, "ip"},        {m_edPort, "port"},
                  {m_edIn, "db"},          {m_edOut, "output"},   {m_cbBUTyp, "butyp"},
                  {m_rgRun, "period"},     {m_meTime, "runtime"}, {m_btDB, "dblst"},
                  {m_mcCal, nullptr},      {m_seDay, nullptr},    {m_clbDB, nullptr}};
    for (QCheckBox* box : m_days) {
        m_hintKeys.emplace(box, nullptr);
    }
    for (QCheckBox* box : m_months) {
        m_hintKeys.emplace(box, nullptr);
    }

    for (QWidget* w : {static_cast<QWidget*>(m_edIP), static_cast<QWidget*>(m_edPort),
                       static_cast<QWidget*>(m_edIn), static_cast<QWidget*>(m_edOut),
                       static_cast<QWidget*>(m_cbBUTyp), static_cast<QWidget*>(m_meTime)}) {
        w->installEventFilter(this);
    }
}

void MainWindow::buildStatusBar() {
    m_sbDesc = named(new QStatusBar(this), "sbDesc");
    m_sbDesc->setSizeGripEnabled(false);
    setStatusBar(m_sbDesc);
    m_panel0 = named(new QLabel(m_sbDesc), "sbDesc0");
    m_panel1 = named(new QLabel(m_sbDesc), "sbDesc1");
    // Panel 0 is 300 pixels wide as laid out at 120 pixels per inch.
    m_panel0->setFixedWidth(300 * logicalDpiX() / 120);
    m_panel0->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_sbDesc->addWidget(m_panel0);
    m_sbDesc->addWidget(m_panel1, 1);
}

void MainWindow::connectChangeEvents() {
    for (QLineEdit* field : {m_edIP, m_edPort, m_edIn, m_edOut, m_meTime}) {
        connect(field, &QLineEdit::textChanged, this, [this] { markPending(); });
    }
    connect(m_cbBUTyp, &QComboBox::currentIndexChanged, this, [this] { markPending(); });
    connect(m_seDay, &QSpinBox::textChanged, this, [this] { markPending(); });
    for (QCheckBox* box : m_days) {
        connect(box, &QCheckBox::toggled, this, [this] { markPending(); });
    }
    for (QCheckBox* box : m_months) {
        connect(box, &QCheckBox::toggled, this, [this] { markPending(); });
    }
    // Keyboard moves in the calendar change the date as much as clicks do.
    connect(m_mcCal, &QCalendarWidget::selectionChanged, this, [this] { markPending(); });
    connect(m_mcCal, &QCalendarWidget::clicked, this, [this] { markPending(); });

    connect(m_runButtons, &QButtonGroup::idClicked, this,
            [this] { guarded([this] { rgRunClick(); }); });
    // Only a pick by the user shows a task; the program's own selections do not.
    connect(m_cbName, &QComboBox::activated, this, [this] { guarded([this] { cbNameChange(); }); });

    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { showFieldHint(now); });
}

// ---------------------------------------------------------------------------------------
// Creation and ending

void MainWindow::FormCreate() {
    restoreLanguage();
    loadMessageTable();
    for (int digit = 0; digit <= 2; ++digit) {
        const std::string_view name = backupTypeText(digit);
        m_cbBUTyp->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    m_cbBUTyp->setCurrentIndex(-1);
    // Minimising goes through minimize() (changeEvent), which hides the window into the
    // tray that the application object hands over with setTrayIcon().
    loadTaskList();
    setStartTime(currentTimeText());
    if (!m_log.writeStart(m_messages.lookup("stwork"))) {
        MessageBox::error(this, message("freaderr") + QStringLiteral(" tvl.log"));
    }
    m_pending = -1;
    setInteractive(true);
}

std::unique_ptr<QSettings> MainWindow::openSettings() const {
    if (!m_options.settingsFile.isEmpty()) {
        return std::make_unique<QSettings>(m_options.settingsFile, QSettings::IniFormat);
    }
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Tarvel"), QStringLiteral("tarvel"));
}

void MainWindow::restoreLanguage() {
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("Sys"));
    if (settings->value(QStringLiteral("FormVersion"), 0).toInt() >= 0) {
        const QString stored =
            settings->value(QStringLiteral("crLng_Language"), languageIdentifier(m_language))
                .toString();
        const int language = languageFromIdentifier(stored);
        if (language >= 0) {
            m_language = language;
        }
    }
    m_languageRestored = true;
}

void MainWindow::storeLanguage() {
    if (!m_languageRestored || m_languageStored) {
        return;
    }
    m_languageStored = true;
    auto settings = openSettings();
    settings->beginGroup(QStringLiteral("Sys"));
    settings->setValue(QStringLiteral("FormVersion"), QStringLiteral("0"));
    settings->setValue(QStringLiteral("crLng_Language"), languageIdentifier(m_language));
    settings->endGroup();
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        std::fprintf(stderr, "tarvel: cannot store the language in %s\n",
                     settings->fileName().toLocal8Bit().constData());
    }
}

void MainWindow::loadMessageTable() {
    m_messages.clear();
    bool russian = false;
    if (m_language == kRussian) {
        russian = true;
        m_miRus->setChecked(true);
    } else if (m_language == kEnglish) {
        m_miEng->setChecked(true);
    } else {
        return;
    }
    if (!m_messages.load(russian ? kRussianTable : kEnglishTable)) {
        MessageBox::error(this, fromFileBytes(tableReadErrorText(russian)));
        m_startupFailed = true;
    }
}

void MainWindow::loadTaskList() {
    TaskFileLoad load = loadTasks(kTaskFileName);
    if (!load.ok()) {
        m_tasks = TaskList();
        MessageBox::error(this, message("freaderr") + QStringLiteral(" Task.txt"));
        m_startupFailed = true;
        return;
    }
    for (std::size_t i = 0; i < load.names.size(); ++i) {
        m_cbName->addItem(decode(load.names[i], isValidUtf8(load.lines[i])));
    }
    m_cbName->setCurrentIndex(-1);
    m_tasks = TaskList(std::move(load.lines));
}

void MainWindow::FormClose() {
    if (m_ended) {
        return;
    }
    m_ended = true;
    if (m_log.enabled() && !m_log.writeEnd(m_messages.lookup("endwork"))) {
        const QString text =
            QStringLiteral("Cannot write to %1").arg(QString::fromLatin1(kLogFileName));
        if (m_askAtExit) {
            reportUnexpectedError(text);
        } else {
            std::fprintf(stderr, "tarvel: %s\n", text.toLocal8Bit().constData());
        }
    }
    m_tasks.clear();
    storeLanguage();
}

void MainWindow::ExitClick() {
    m_exiting = true;
    if (m_tray != nullptr) {
        m_tray->remove();
    }
    savprm();
    close();
}

void MainWindow::endWithoutQuestion() {
    m_exiting = true;
    m_askAtExit = false;
    if (m_tray != nullptr) {
        m_tray->remove();
    }
    close();
}

void MainWindow::minimize() {
    if (m_tray != nullptr && m_tray->available()) {
        // In the tray the window has no taskbar entry; the tray icon brings it back.
        hide();
        return;
    }
    // Without a tray a hidden window could not be reached again: it stays on the taskbar.
    showMinimized();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_tray != nullptr &&
        m_tray->available()) {
        // The platform's minimise box: the window leaves the taskbar for the tray once the
        // state change is done.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                hide();
                setWindowState(windowState() & ~Qt::WindowMinimized);
            }
        });
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_exiting) {
        // The close box does not end the program: only Exit does. The window goes out of
        // the way, and the tray, a second start or the taskbar brings it back.
        event->ignore();
        minimize();
        return;
    }
    FormClose();
    event->accept();
    emit programEnded();
}

void MainWindow::wakeUp() {
    if (isMinimized() || !isVisible()) {
        showNormal();
    }
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

// ---------------------------------------------------------------------------------------
// Messages and the status bar

QString MainWindow::message(const char* key) const {
    return fromFileBytes(m_messages.lookup(key));
}

QString MainWindow::fieldHint() const {
    return m_panel0->text();
}

QString MainWindow::statusText() const {
    return m_panel1->text();
}

void MainWindow::setStatusText(const QString& text) {
    m_panel1->setText(text);
}

void MainWindow::Enter() {
    m_panel0->clear();
}

void MainWindow::showFieldHint(QWidget* focused) {
    for (QWidget* w = focused; w != nullptr && w != this; w = w->parentWidget()) {
        auto it = m_hintKeys.find(w);
        if (it == m_hintKeys.end()) {
            continue;
        }
        if (it->second == nullptr) {
            Enter();
        } else {
            m_panel0->setText(message(it->second));
        }
        return;
    }
}

void MainWindow::miHlpClick() {
    const QString page =
        QDir::current().absoluteFilePath(languageName(m_language) + QStringLiteral(".htm"));
    // A missing page or a missing program to open it is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

// ---------------------------------------------------------------------------------------
// Fields

QString MainWindow::currentTimeText() const {
    const LocalDateTime now = m_clock->localNow();
    return QString::fromStdString(tvl::currentTimeText(now.hour, now.minute));
}

QString MainWindow::startTimeText() const {
    return m_meTime->displayText();
}

void MainWindow::setStartTime(const QString& text) {
    // The mask fills from the left, so a four-character time goes in behind a blank.
    m_meTime->setText(text.rightJustified(5, QLatin1Char(' ')));
}

bool MainWindow::startTimeReadable() const {
    return parseStartTime(toFileBytes(startTimeText())).has_value();
}

void MainWindow::markPending() {
    m_pending = m_cbName->currentIndex();
    Enter();
}

int MainWindow::runMode() const {
    return m_runButtons->checkedId();
}

void MainWindow::clearRunMode() {
    m_runButtons->setExclusive(false);
    for (QAbstractButton* b : m_runButtons->buttons()) {
        b->setChecked(false);
    }
    m_runButtons->setExclusive(true);
}

void MainWindow::setRunMode(int mode) {
    if (QAbstractButton* b = m_runButtons->button(mode)) {
        b->setChecked(true);
    }
}

void MainWindow::rgRunClick() {
    for (QWidget* w : {static_cast<QWidget*>(m_mcCal), static_cast<QWidget*>(m_gbDay),
                       static_cast<QWidget*>(m_gbMonth), static_cast<QWidget*>(m_gbMonthDay)}) {
        w->hide();
    }
    switch (runMode()) {
        case kOnce:
            m_mcCal->show();
            break;
        case kWeekly:
            m_gbDay->show();
            break;
        case kMonthly:
            m_gbMonth->show();
            m_gbMonthDay->show();
            break;
        default:
            break;
    }
    m_pending = m_cbName->currentIndex();
}

void MainWindow::TrimTxt(QWidget* control) {
    auto* field = qobject_cast<QLineEdit*>(control);
    if (field == nullptr || field == m_meTime) {
        return;
    }
    if (field != m_edIP && field != m_edPort && field != m_edIn && field != m_edOut) {
        return;
    }
    const QString tidy = fromFileBytes(tidyText(toFileBytes(field->text())));
    if (tidy != field->text()) {
        field->setText(tidy);
    }
}

void MainWindow::addPathEnd(QLineEdit* field) {
    if (field->text().isEmpty()) {
        return;
    }
    const QString closed = fromFileBytes(tvl::addPathEnd(toFileBytes(field->text())));
    if (closed != field->text()) {
        field->setText(closed);
    }
}

void MainWindow::normPaths() {
    const int pending = m_pending;
    TrimTxt(focusWidget());
    // Text that came in without passing the keyboard (pasted, or set by the program) is
    // tidied too, so no control character of any field reaches the task line.
    for (QLineEdit* field : {m_edIP, m_edPort, m_edIn, m_edOut}) {
        TrimTxt(field);
    }
    addPathEnd(m_edIn);
    addPathEnd(m_edOut);
    m_pending = pending;
}

bool MainWindow::checkFields() {
    TrimTxt(focusWidget());
    return m_cbName->currentIndex() >= 0 && planRun(editorFields(m_cbName->currentIndex())).ok();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Leaving for a menu or another program is not leaving the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == m_meTime) {
                if (m_meTime->isModified() && !m_meTime->hasAcceptableInput()) {
                    // Hour units and both minute digits are needed: the field keeps the
                    // focus until they are there or Escape takes the typing back.
                    QApplication::beep();
                    QTimer::singleShot(0, m_meTime, [this] { m_meTime->setFocus(); });
                }
            } else {
                guarded([this, watched] { TrimTxt(qobject_cast<QWidget*>(watched)); });
            }
        }
    } else if (event->type() == QEvent::FocusIn && watched == m_meTime) {
        if (!m_meTime->isModified()) {
            m_timeOnEntry = m_meTime->displayText();
        }
    } else if (event->type() == QEvent::KeyPress && watched == m_meTime) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_meTime->isModified()) {
            m_meTime->setText(m_timeOnEntry);
            m_meTime->setModified(false);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Showing a task

void MainWindow::cbNameChange() {
    if (m_cbName->currentIndex() < 0) {
        m_edIP->clear();
        m_edPort->clear();
        m_edIn->clear();
        m_edOut->clear();
        m_cbBUTyp->setCurrentIndex(-1);
        clearRunMode();
        setStartTime(currentTimeText());
        m_refusedEdits = false;
        return;
    }
    if (!savprm()) {
        return;
    }
    const int entry = m_cbName->currentIndex();
    if (entry < 0) {
        return;
    }
    if (!m_tasks.ownsLine(static_cast<std::size_t>(entry))) {
        // A new task whose save failed at the save question: it has no line yet, so the
        // editor keeps what it shows and the task is pending again, ready to be saved.
        closeDatabaseList();
        m_panel1->clear();
        m_pending = entry;
        return;
    }
    showTaskLine(m_tasks.line(static_cast<std::size_t>(entry)));
    m_pending = -1;
    m_refusedEdits = false;
}

void MainWindow::showConversionError(const QString& text) {
    if (m_inTick) {
        // The minute timer never waits for a person; the run that follows finds the
        // editor incomplete and does nothing.
        reportQuietly(text);
        return;
    }
    MessageBox::error(this, text);
    m_panel1->clear();
}

void MainWindow::showTaskLine(const std::string& line) {
    const TaskFields fields = splitTaskLine(line);
    const bool utf8 = isValidUtf8(line);
    m_edIP->setText(decode(fields.ip, utf8));
    m_edPort->setText(decode(fields.port, utf8));
    m_edIn->setText(decode(fields.dbPaths, utf8));
    m_edOut->setText(decode(fields.saveDir, utf8));

    // A line that cannot be read whole shows up to the field that fails, with the reason.
    const auto digitAfter = [&line](char separator) {
        const auto at = line.find(separator);
        return at == std::string::npos || at + 1 >= line.size()
                   ? QString()
                   : decode(line.substr(at + 1, 1), true);
    };
    if (fields.backupType < 0) {
        showConversionError(
            QStringLiteral("'%1' is not a valid integer value").arg(digitAfter(kSepType)));
        return;
    }
    m_cbBUTyp->setCurrentIndex(fields.backupType <= 2 ? fields.backupType : -1);
    setStartTime(decode(fields.startTime, utf8));
    if (fields.runMode < 0) {
        showConversionError(
            QStringLiteral("'%1' is not a valid integer value").arg(digitAfter(kSepRunMode)));
        return;
    }
    const int mode = std::min(fields.runMode, static_cast<int>(kMonthly));
    setRunMode(mode);
    rgRunClick();

    switch (mode) {
        case kOnce: {
            const std::optional<CivilDate> date = parseShortDate(fields.tail);
            if (!date) {
                showConversionError(
                    QStringLiteral("'%1' is not a valid date").arg(decode(fields.tail, utf8)));
                return;
            }
            m_mcCal->setSelectedDate(QDate(date->year, date->month, date->day));
            break;
        }
        case kWeekly:
            for (std::size_t k = 0; k < m_days.size(); ++k) {
                m_days[k]->setChecked(tailFlag(fields.tail, static_cast<int>(k) + 1));
            }
            break;
        case kMonthly: {
            for (std::size_t k = 0; k < m_months.size(); ++k) {
                m_months[k]->setChecked(tailFlag(fields.tail, static_cast<int>(k) + 1));
            }
            bool ok = false;
            const int day = QString::fromLatin1(monthDayText(fields.tail)).toInt(&ok);
            // The field holds 1 to 28; a stored day outside comes to the nearer bound.
            if (ok) {
                m_seDay->setValue(day);
            }
            break;
        }
        default:
            break;
    }
    closeDatabaseList();
    m_panel1->clear();
}

void MainWindow::closeDatabaseList() {
    if (m_clbDB->isHidden()) {
        return;
    }
    ToggleDBList();
    m_clbDB->clear();
    m_dbEntries.clear();
    m_btDB->setText(QStringLiteral(">>"));
}

// ---------------------------------------------------------------------------------------
// Selector bookkeeping

void MainWindow::moveSelectorEntry(int from, int to) {
    if (from == to) {
        return;
    }
    const auto follow = [from, to](int index) {
        if (index == from) {
            return to;
        }
        if (to < from && index >= to && index < from) {
            return index + 1;
        }
        if (to > from && index > from && index <= to) {
            return index - 1;
        }
        return index;
    };
    const int current = follow(m_cbName->currentIndex());
    const QString text = m_cbName->itemText(from);
    m_cbName->removeItem(from);
    m_cbName->insertItem(to, text);
    m_cbName->setCurrentIndex(current);
    if (m_remembered != nullptr) {
        *m_remembered = follow(*m_remembered);
    }
}

void MainWindow::removeSelectorEntry(int entry) {
    const auto follow = [entry](int index) {
        return index == entry ? -1 : (index > entry ? index - 1 : index);
    };
    const int current = follow(m_cbName->currentIndex());
    m_cbName->removeItem(entry);
    m_cbName->setCurrentIndex(current);
    if (m_remembered != nullptr) {
        *m_remembered = follow(*m_remembered);
    }
}

// ---------------------------------------------------------------------------------------
// Commands

void MainWindow::NewClick() {
    savprm();
    if (m_newDlg == nullptr) {
        return;
    }
    QStringList taken;
    for (int i = 0; i < m_cbName->count(); ++i) {
        taken << m_cbName->itemText(i);
    }
    m_newDlg->prepare(taken, message("tskname"));
    if (m_newDlg->exec() != QDialog::Accepted) {
        return;
    }
    m_cbName->addItem(m_newDlg->name());
    m_cbName->setCurrentIndex(m_cbName->count() - 1);
    m_pending = m_cbName->currentIndex();
}

void MainWindow::SaveClick() {
    saveTask();
}

TaskFields MainWindow::editorFields(int entry) const {
    TaskFields fields;
    fields.name = toFileBytes(m_cbName->itemText(entry));
    fields.ip = toFileBytes(m_edIP->text());
    fields.port = toFileBytes(m_edPort->text());
    fields.dbPaths = toFileBytes(m_edIn->text());
    fields.saveDir = toFileBytes(m_edOut->text());
    fields.backupType = m_cbBUTyp->currentIndex();
    fields.startTime = toFileBytes(startTimeText());
    fields.runMode = runMode();
    return fields;
}

std::string MainWindow::buildLine(int entry) const {
    TaskFields fields = editorFields(entry);
    switch (fields.runMode) {
        case kOnce: {
            const QDate date = m_mcCal->selectedDate();
            fields.tail = formatShortDate(CivilDate{date.year(), date.month(), date.day()});
            break;
        }
        case kWeekly: {
            std::array<bool, 7> days{};
            for (std::size_t k = 0; k < days.size(); ++k) {
                days[k] = m_days[k]->isChecked();
            }
            fields.tail = weekdayTail(days);
            break;
        }
        case kMonthly: {
            std::array<bool, 12> months{};
            for (std::size_t k = 0; k < months.size(); ++k) {
                months[k] = m_months[k]->isChecked();
            }
            fields.tail = monthTail(months, toFileBytes(m_seDay->text()));
            break;
        }
        default:
            break;
    }
    return buildTaskLine(fields).value_or(std::string());
}

MainWindow::SaveOutcome MainWindow::saveTask() {
    normPaths();
    if (m_pending < 0) {
        return SaveOutcome::NothingPending;
    }
    const int pending = m_pending;
    // A start time that the minute timer could never read would make a task that never
    // runs; it is refused like an empty field.
    const bool complete = checkFields() && startTimeReadable();
    m_pending = pending;
    const std::string line = complete ? buildLine(pending) : std::string();
    if (line.empty()) {
        m_cbName->setCurrentIndex(pending);
        MessageBox::error(this, message("fieldreq"));
        return SaveOutcome::Refused;
    }

    const auto at = static_cast<int>(m_tasks.store(static_cast<std::size_t>(pending), line));
    moveSelectorEntry(pending, at);
    m_pending = -1;
    m_refusedEdits = false;
    writeTaskFile();
    return SaveOutcome::Saved;
}

void MainWindow::writeTaskFile() {
    // Once the program has ended the task list is gone; a handler that comes back from a box
    // after that must not write it over the file.
    if (m_ended) {
        return;
    }
    if (!saveTasks(kTaskFileName, m_tasks.lines())) {
        MessageBox::error(this, message("fwriterr") + QStringLiteral(" task.txt"));
    }
}

bool MainWindow::savprm() {
    if (m_pending < 0) {
        return true;
    }
    // The question names the task whose edits are at stake, not the one just picked.
    const QString text =
        message("savtxt") + QLatin1Char(' ') + m_cbName->itemText(m_pending) + QLatin1Char('?');
    if (MessageBox::question(this, text)) {
        int remembered = m_cbName->currentIndex();
        m_remembered = &remembered;
        const SaveOutcome outcome = saveTask();
        m_remembered = nullptr;
        m_pending = -1;
        if (outcome == SaveOutcome::Refused) {
            // The edits stay on screen though nothing is pending; the minute timer must not
            // load another task over them.
            m_refusedEdits = true;
            return false;
        }
        m_cbName->setCurrentIndex(remembered);
        return true;
    }
    // No: the edits are dropped, and a new task that was never saved goes with them.
    if (!m_tasks.ownsLine(static_cast<std::size_t>(m_pending))) {
        removeSelectorEntry(m_pending);
    }
    m_pending = -1;
    return true;
}

void MainWindow::remove() {
    const int entry = m_cbName->currentIndex();
    if (entry < 0) {
        return;
    }
    if (!MessageBox::question(this, message("remask"))) {
        return;
    }
    m_tasks.remove(static_cast<std::size_t>(entry));
    m_cbName->removeItem(entry);
    m_cbName->setCurrentIndex(std::min(entry, m_cbName->count() - 1));
    m_pending = -1;
    // Written before the next task is shown: showing it may open a box, and the removal must
    // be on disk whatever happens while the box is open.
    writeTaskFile();
    cbNameChange();
}

}  // namespace tvl::ui
