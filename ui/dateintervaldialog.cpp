#include "dateintervaldialog.h"

#include <algorithm>

#include <QDate>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/expected.h"

namespace tvl::ui {

namespace {

CivilDate civil(const QDate& d) {
    return CivilDate{d.year(), d.month(), d.day()};
}

QDate qdate(const CivilDate& d) {
    return QDate(d.year, d.month, d.day);
}

QDateEdit* dateField(const char* name, QWidget* parent) {
    auto* field = new QDateEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setCalendarPopup(true);
    field->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    return field;
}

}  // namespace

// A dialog border: the close box only, and room for the title in either language beside it.
DateIntervalDialog::DateIntervalDialog(QWidget* parent, const CivilDate* today)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("fmQueDlg"));
    setWindowTitle(QStringLiteral("Date Interval"));

    m_dtpStart = dateField("dtpStart", this);
    m_dtpFinish = dateField("dtpFinish", this);
    const QDate now = today ? qdate(*today) : QDate::currentDate();
    m_dtpStart->setDate(now);
    m_dtpFinish->setDate(now);
    m_start = m_end = civil(now);

    auto* fromLabel = new QLabel(QStringLiteral("From"), this);
    fromLabel->setObjectName(QStringLiteral("lbStart"));
    fromLabel->setBuddy(m_dtpStart);
    auto* toLabel = new QLabel(QStringLiteral("To"), this);
    toLabel->setObjectName(QStringLiteral("lbFinish"));
    toLabel->setBuddy(m_dtpFinish);

    m_bbOk = new QPushButton(QStringLiteral("OK"), this);
    m_bbOk->setObjectName(QStringLiteral("bbOk"));
    m_bbOk->setDefault(true);
    m_bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_bbCancel->setObjectName(QStringLiteral("bbCancel"));
    connect(m_bbOk, &QPushButton::clicked, this, &DateIntervalDialog::bbOkClick);
    connect(m_bbCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(fromLabel, m_dtpStart);
    form->addRow(toLabel, m_dtpFinish);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_bbOk);
    buttons->addWidget(m_bbCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setFixedSize(std::max(sizeHint().width(), 260), sizeHint().height());
}

void DateIntervalDialog::bbOkClick() {
    m_start = civil(m_dtpStart->date());
    const CivilDate end = clampIntervalEnd(m_start, civil(m_dtpFinish->date()));
    m_dtpFinish->setDate(qdate(end));
    m_end = end;
    accept();
}

}  // namespace tvl::ui
