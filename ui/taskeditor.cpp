#include "taskeditor.h"

#include <algorithm>

#include <QApplication>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "captionreader.h"
#include "core/messagetable.h"
#include "core/regional.h"
#include "core/runplan.h"
#include "core/schedule.h"
#include "databaselist.h"
#include "named.h"
#include "server/dblist.h"
#include "taskselector.h"
#include "textcodec.h"

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

// Keeps a hidden widget's place in the layout, so the window keeps its size whichever
// run mode's group is shown.
void keepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

// A line that cannot be read whole names the text after the separator that fails.
QString digitAfter(const std::string& line, char separator) {
    const auto at = line.find(separator);
    return at == std::string::npos || at + 1 >= line.size()
               ? QString()
               : fromFileBytes(line.substr(at + 1, 1), true);
}

QString notAnInteger(const std::string& line, char separator) {
    return QStringLiteral("'%1' is not a valid integer value").arg(digitAfter(line, separator));
}

// The day of the month: 1 to 28, at most two digits. A typed value outside (31) is taken
// while typing and brought to the nearer bound when the field is left, as the field's
// rule says, instead of the second digit being refused.
class DaySpinBox : public QSpinBox {
public:
    explicit DaySpinBox(QWidget* parent) : QSpinBox(parent) {
        setRange(1, 28);
        setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
        lineEdit()->setMaxLength(2);
    }

    QValidator::State validate(QString& text, int& pos) const override {
        const QValidator::State state = QSpinBox::validate(text, pos);
        if (state != QValidator::Invalid) {
            return state;
        }
        const QString digits = text.trimmed();
        const bool twoDigits =
            !digits.isEmpty() && digits.size() <= 2 &&
            std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
        return twoDigits ? QValidator::Intermediate : QValidator::Invalid;
    }

    void fixup(QString& input) const override {
        bool ok = false;
        const int day = input.trimmed().toInt(&ok);
        if (ok) {
            input = QString::number(std::clamp(day, minimum(), maximum()));
        }
    }
};

// Changes made by the program itself are not edits of the task.
class Quiet {
public:
    explicit Quiet(int& depth) : m_depth(depth) { ++m_depth; }
    ~Quiet() { --m_depth; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int& m_depth;
};

}  // namespace

TaskEditor::TaskEditor(const MessageTable& messages, QWidget* parent)
    : QWidget(parent), m_messages(messages) {
    setObjectName(QStringLiteral("pnMain"));
    buildTaskGroup(this);
    QWidget* gbTask = m_edIP->parentWidget();
    QWidget* gbStart = buildStartGroup();
    layOut(gbTask, gbStart);
    collectHintKeys();
    for (int digit = 0; digit <= 2; ++digit) {
        const std::string_view name = backupTypeText(digit);
        m_cbBUTyp->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    m_cbBUTyp->setCurrentIndex(-1);
    connectEdits();
}

TaskEditor::~TaskEditor() {
    // Deleting the focused field moves the focus; the hint lookup must not see a half
    // destroyed editor.
    disconnect(qApp, nullptr, this, nullptr);
}

// ---------------------------------------------------------------------------------------
// Building

void TaskEditor::buildTaskGroup(QWidget* central) {
    m_cbName = named(new TaskSelector(central), "cbName");
    m_cbName->setMinimumWidth(220);
    m_cbName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_cbName->setMinimumContentsLength(20);

    auto* gbTask = named(new QGroupBox(QStringLiteral("Task Parameters"), central), "gbTask");
    const auto row = [gbTask](const char* labelName, const char* caption, QWidget* field) {
        auto* label = named(new QLabel(QString::fromLatin1(caption), gbTask), labelName);
        label->setBuddy(field);
        return label;
    };
    m_edIP = named(new QLineEdit(gbTask), "edIP");
    m_edPort = named(new QLineEdit(gbTask), "edPort");
    m_edIn = named(new QLineEdit(gbTask), "edIn");
    m_btDB = named(new QPushButton(QStringLiteral(">>"), gbTask), "btDB");
    m_btDB->setFixedWidth(40);
    m_clbDB = named(new DatabaseList(gbTask), "clbDB");
    m_clbDB->hide();
    m_edOut = named(new QLineEdit(gbTask), "edOut");
    m_cbBUTyp = named(new QComboBox(gbTask), "cbBUTyp");
    m_cbBUTyp->setEditable(false);
    m_lbOut = row("lbOut", "Save Dir", m_edOut);
    m_lbBUTyp = row("lbBUTyp", "BackUp Type", m_cbBUTyp);
    for (QWidget* w : {static_cast<QWidget*>(m_lbOut), static_cast<QWidget*>(m_edOut),
                       static_cast<QWidget*>(m_lbBUTyp), static_cast<QWidget*>(m_cbBUTyp)}) {
        keepPlaceWhenHidden(w);
    }

    auto* taskGrid = new QGridLayout(gbTask);
    taskGrid->addWidget(row("lbIP", "Server IP", m_edIP), 0, 0);
    taskGrid->addWidget(m_edIP, 0, 1, 1, 2);
    taskGrid->addWidget(row("lbPort", "Port", m_edPort), 1, 0);
    taskGrid->addWidget(m_edPort, 1, 1, 1, 2);
    taskGrid->addWidget(row("lbIn", "DB Paths", m_edIn), 2, 0);
    taskGrid->addWidget(m_edIn, 2, 1);
    taskGrid->addWidget(m_btDB, 2, 2);
    taskGrid->addWidget(m_lbOut, 3, 0);
    taskGrid->addWidget(m_edOut, 3, 1, 1, 2);
    taskGrid->addWidget(m_lbBUTyp, 4, 0);
    taskGrid->addWidget(m_cbBUTyp, 4, 1, 1, 2);
    // The database list takes the place of the save directory and backup type rows.
    taskGrid->addWidget(m_clbDB, 3, 0, 2, 3);
    taskGrid->setRowStretch(5, 1);
}

QWidget* TaskEditor::buildStartGroup() {
    auto* gbStart = named(new QGroupBox(QStringLiteral("Start Time"), this), "gbStart");
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

    buildRunModeGroups(gbStart);

    auto* startGrid = new QGridLayout(gbStart);
    startGrid->addWidget(m_rgRun, 0, 0);
    startGrid->addWidget(gbTime, 1, 0);
    // The groups of the run modes share one place; only the chosen mode's are shown.
    startGrid->addWidget(m_mcCal, 0, 1, 2, 1);
    startGrid->addWidget(m_gbDay, 0, 1, 2, 1, Qt::AlignTop);
    startGrid->addWidget(m_gbMonth, 0, 1, Qt::AlignTop);
    startGrid->addWidget(m_gbMonthDay, 1, 1, Qt::AlignTop);
    startGrid->setRowStretch(2, 1);
    return gbStart;
}

void TaskEditor::buildRunModeGroups(QWidget* gbStart) {
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
    m_seDay = named(new DaySpinBox(m_gbMonthDay), "seDay");
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
}

void TaskEditor::layOut(QWidget* taskGroup, QWidget* startGroup) {
    auto* lbName = named(new QLabel(QStringLiteral("Task Name"), this), "lbName");
    lbName->setBuddy(m_cbName);
    auto* left = new QVBoxLayout;
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(lbName);
    nameRow->addWidget(m_cbName, 1);
    left->addLayout(nameRow);
    left->addWidget(taskGroup, 1);

    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 1);
    main->addWidget(startGroup);
}

void TaskEditor::collectHintKeys() {
    // Each field's key, looked up when it takes the focus; the flags, the calendar and the
    // day field clear the hint.
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
}

void TaskEditor::connectEdits() {
    for (QLineEdit* field : {m_edIP, m_edPort, m_edIn, m_edOut, m_meTime}) {
        connect(field, &QLineEdit::textChanged, this, &TaskEditor::edit);
    }
    connect(m_cbBUTyp, &QComboBox::currentIndexChanged, this, &TaskEditor::edit);
    connect(m_seDay, &QSpinBox::textChanged, this, &TaskEditor::edit);
    for (QCheckBox* box : m_days) {
        connect(box, &QCheckBox::toggled, this, &TaskEditor::edit);
    }
    for (QCheckBox* box : m_months) {
        connect(box, &QCheckBox::toggled, this, &TaskEditor::edit);
    }
    // Keyboard moves in the calendar change the date as much as clicks do.
    connect(m_mcCal, &QCalendarWidget::selectionChanged, this, &TaskEditor::edit);
    connect(m_mcCal, &QCalendarWidget::clicked, this, &TaskEditor::edit);

    connect(m_runButtons, &QButtonGroup::idClicked, this, &TaskEditor::runModeClicked);
    // Only a pick by the user shows a task; the program's own selections do not.
    connect(m_cbName, &QComboBox::activated, this, &TaskEditor::taskPicked);
    connect(m_btDB, &QPushButton::clicked, this, &TaskEditor::databaseButtonClicked);
    // Ticking a database is not an edit of the task; only closing the list with another
    // text is.
    connect(m_clbDB, &QListWidget::itemClicked, this, [this] { emit hintChanged(QString()); });
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { showFieldHint(now); });

    for (QWidget* w : {static_cast<QWidget*>(m_edIP), static_cast<QWidget*>(m_edPort),
                       static_cast<QWidget*>(m_edIn), static_cast<QWidget*>(m_edOut),
                       static_cast<QWidget*>(m_cbBUTyp), static_cast<QWidget*>(m_meTime)}) {
        w->installEventFilter(this);
    }
}

void TaskEditor::edit() {
    if (m_quiet == 0) {
        emit edited();
    }
}

std::vector<const char*> TaskEditor::hintKeys() const {
    std::vector<const char*> keys;
    for (const auto& [field, key] : m_hintKeys) {
        if (key != nullptr) {
            keys.push_back(key);
        }
    }
    return keys;
}

void TaskEditor::applyHintTooltips() {
    for (const auto& [field, key] : m_hintKeys) {
        if (key != nullptr) {
            // The tooltip is the field's hint from the message table, not a caption: the
            // caption files leave it alone.
            field->setProperty(kMessageHintProperty, true);
            field->setToolTip(fromFileBytes(m_messages.lookup(key)));
        }
    }
}

std::vector<QAbstractButton*> TaskEditor::runModeButtons() const {
    const QList<QAbstractButton*> buttons = m_runButtons->buttons();
    return {buttons.begin(), buttons.end()};
}

std::vector<QAbstractButton*> TaskEditor::dayBoxes() const {
    return {m_days.begin(), m_days.end()};
}

std::vector<QAbstractButton*> TaskEditor::monthBoxes() const {
    return {m_months.begin(), m_months.end()};
}

void TaskEditor::showFieldHint(QWidget* focused) {
    for (QWidget* w = focused; w != nullptr && w != this; w = w->parentWidget()) {
        auto it = m_hintKeys.find(w);
        if (it == m_hintKeys.end()) {
            continue;
        }
        emit hintChanged(it->second == nullptr ? QString()
                                               : fromFileBytes(m_messages.lookup(it->second)));
        return;
    }
}

// ---------------------------------------------------------------------------------------
// Fields

int TaskEditor::currentEntry() const {
    return m_cbName->currentIndex();
}

QString TaskEditor::startTimeText() const {
    return m_meTime->displayText();
}

void TaskEditor::setStartTime(const QString& text) {
    // The mask fills from the left, so a four-character time goes in behind a blank.
    m_meTime->setText(text.rightJustified(5, QLatin1Char(' ')));
}

bool TaskEditor::startTimeReadable() const {
    return parseStartTime(toFileBytes(startTimeText())).has_value();
}

int TaskEditor::runMode() const {
    return m_runButtons->checkedId();
}

void TaskEditor::clearRunMode() {
    m_runButtons->setExclusive(false);
    for (QAbstractButton* b : m_runButtons->buttons()) {
        b->setChecked(false);
    }
    m_runButtons->setExclusive(true);
}

void TaskEditor::setRunMode(int mode) {
    if (QAbstractButton* b = m_runButtons->button(mode)) {
        b->setChecked(true);
    }
}

void TaskEditor::rgRunClick() {
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
}

void TaskEditor::TrimTxt(QWidget* control) {
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

void TaskEditor::addPathEnd(QLineEdit* field) {
    if (field->text().isEmpty()) {
        return;
    }
    const QString closed = fromFileBytes(tvl::addPathEnd(toFileBytes(field->text())));
    if (closed != field->text()) {
        field->setText(closed);
    }
}

void TaskEditor::normPaths() {
    const Quiet quiet(m_quiet);
    TrimTxt(focusWidget());
    // Text that came in without passing the keyboard (pasted, or set by the program) is
    // tidied too, so no control character of any field reaches the task line.
    for (QLineEdit* field : {m_edIP, m_edPort, m_edIn, m_edOut}) {
        TrimTxt(field);
    }
    addPathEnd(m_edIn);
    addPathEnd(m_edOut);
}

bool TaskEditor::checkFields() {
    {
        const Quiet quiet(m_quiet);
        TrimTxt(focusWidget());
    }
    return m_cbName->currentIndex() >= 0 && planRun(fields(m_cbName->currentIndex())).ok();
}

bool TaskEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_meTime && timeFieldEvent(event)) {
        return true;
    }
    if (watched != m_meTime && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Leaving for a menu or another program is not leaving the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            TrimTxt(qobject_cast<QWidget*>(watched));
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TaskEditor::timeFieldEvent(QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            m_meTime->isModified() && !m_meTime->hasAcceptableInput()) {
            // Hour units and both minute digits are needed: the field keeps the focus
            // until they are there or Escape takes the typing back, and says why.
            QApplication::beep();
            QTimer::singleShot(0, m_meTime, [this] {
                m_meTime->setFocus();
                emit hintChanged(QString::fromLatin1(kInvalidTimeText));
            });
        }
    } else if (event->type() == QEvent::FocusIn) {
        if (!m_meTime->isModified()) {
            m_timeOnEntry = m_meTime->displayText();
        }
    } else if (event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_meTime->isModified()) {
            m_meTime->setText(m_timeOnEntry);
            m_meTime->setModified(false);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// A task into the fields and back

void TaskEditor::clearFields(const QString& currentTime) {
    m_edIP->clear();
    m_edPort->clear();
    m_edIn->clear();
    m_edOut->clear();
    m_cbBUTyp->setCurrentIndex(-1);
    clearRunMode();
    setStartTime(currentTime);
}

QString TaskEditor::showLine(const std::string& line) {
    const TaskFields fields = splitTaskLine(line);
    const bool utf8 = isValidUtf8(line);
    m_edIP->setText(fromFileBytes(fields.ip, utf8));
    m_edPort->setText(fromFileBytes(fields.port, utf8));
    m_edIn->setText(fromFileBytes(fields.dbPaths, utf8));
    m_edOut->setText(fromFileBytes(fields.saveDir, utf8));

    // A line that cannot be read whole shows up to the field that fails, with the reason.
    if (fields.backupType < 0) {
        return notAnInteger(line, kSepType);
    }
    m_cbBUTyp->setCurrentIndex(fields.backupType <= 2 ? fields.backupType : -1);
    setStartTime(fromFileBytes(fields.startTime, utf8));
    if (fields.runMode < 0) {
        return notAnInteger(line, kSepRunMode);
    }
    QString failure = showRule(fields, utf8);
    if (failure.isEmpty()) {
        closeDatabaseList();
    }
    return failure;
}

QString TaskEditor::showRule(const TaskFields& fields, bool utf8) {
    const int mode = std::min(fields.runMode, static_cast<int>(kMonthly));
    setRunMode(mode);
    rgRunClick();
    switch (mode) {
        case kOnce: {
            const std::optional<CivilDate> date = parseShortDate(fields.tail);
            if (!date) {
                return QStringLiteral("'%1' is not a valid date")
                    .arg(fromFileBytes(fields.tail, utf8));
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
    return {};
}

std::string TaskEditor::ruleTail(int mode) const {
    switch (mode) {
        case kOnce: {
            const QDate date = m_mcCal->selectedDate();
            return formatShortDate(CivilDate{date.year(), date.month(), date.day()});
        }
        case kWeekly: {
            std::array<bool, 7> days{};
            for (std::size_t k = 0; k < days.size(); ++k) {
                days[k] = m_days[k]->isChecked();
            }
            return weekdayTail(days);
        }
        case kMonthly: {
            std::array<bool, 12> months{};
            for (std::size_t k = 0; k < months.size(); ++k) {
                months[k] = m_months[k]->isChecked();
            }
            return monthTail(months, toFileBytes(m_seDay->text()));
        }
        default:
            return {};
    }
}

TaskFields TaskEditor::fields(int entry) const {
    TaskFields f;
    f.name = toFileBytes(m_cbName->itemText(entry));
    f.ip = toFileBytes(m_edIP->text());
    f.port = toFileBytes(m_edPort->text());
    f.dbPaths = toFileBytes(m_edIn->text());
    f.saveDir = toFileBytes(m_edOut->text());
    f.backupType = m_cbBUTyp->currentIndex();
    f.startTime = toFileBytes(startTimeText());
    f.runMode = runMode();
    f.tail = ruleTail(f.runMode);
    return f;
}

std::string TaskEditor::buildLine(int entry) const {
    return buildTaskLine(fields(entry)).value_or(std::string());
}

RunInputs TaskEditor::runInputs() const {
    return planRun(fields(m_cbName->currentIndex())).inputs;
}

// ---------------------------------------------------------------------------------------
// The database list

QString TaskEditor::databasePaths() const {
    return m_edIn->text();
}

QString TaskEditor::serverAddress() const {
    return m_edIP->text();
}

QString TaskEditor::serverPort() const {
    return m_edPort->text();
}

bool TaskEditor::databaseListOpen() const {
    return !m_clbDB->isHidden();
}

void TaskEditor::ToggleDBList() {
    const bool shown = databaseListOpen();
    for (QWidget* w : {static_cast<QWidget*>(m_lbOut), static_cast<QWidget*>(m_edOut),
                       static_cast<QWidget*>(m_lbBUTyp), static_cast<QWidget*>(m_cbBUTyp)}) {
        w->setVisible(shown);
    }
    m_clbDB->setVisible(!shown);
}

void TaskEditor::openDatabaseList(const std::vector<std::string>& entries,
                                  const std::vector<bool>& marks) {
    m_clbDB->setEntries(entries, marks);
    m_btDB->setText(QStringLiteral("<<"));
    ToggleDBList();
}

std::vector<std::string> TaskEditor::writeDatabaseListBack() {
    const std::string before = toFileBytes(m_edIn->text());
    const std::vector<std::string> entries = m_clbDB->entries();
    std::vector<std::string> dropped = unlistedPaths(entries, before);
    const PathsRewrite back = rewritePaths(before, entries, m_clbDB->marks());
    m_clbDB->uncheckAll();
    // An unchanged text is no edit; a task that earlier edits made pending stays pending,
    // so those edits are still offered for saving.
    if (back.changed) {
        m_edIn->setText(fromFileBytes(back.text));
    }
    m_btDB->setText(QStringLiteral(">>"));
    ToggleDBList();
    return dropped;
}

void TaskEditor::closeDatabaseList() {
    if (!databaseListOpen()) {
        return;
    }
    ToggleDBList();
    m_clbDB->clear();
    m_btDB->setText(QStringLiteral(">>"));
}

void TaskEditor::setDatabaseButtonBusy(bool busy) {
    m_btDB->setEnabled(!busy);
}

}  // namespace tvl::ui
