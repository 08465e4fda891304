#include "runsrow.h"

#include <string>

#include <QGridLayout>
#include <QLabel>
#include <QStyle>

#include "captionreader.h"
#include "core/civil.h"
#include "core/messagetable.h"
#include "elidedlabel.h"
#include "named.h"
#include "textcodec.h"

namespace tvl::ui {

QString runMinuteText(const LocalDateTime& minute, const MessageTable& messages) {
    static const char* const kWeekdays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    const QString text = QString::fromStdString(isoDateText(minute.date)) +
                         QStringLiteral(" %1:%2")
                             .arg(minute.hour, 2, 10, QLatin1Char('0'))
                             .arg(minute.minute, 2, 10, QLatin1Char('0'));
    const std::string day = messages.lookup(kWeekdays[isoWeekday(minute.date) - 1]);
    return day.empty() ? text : text + QStringLiteral(", ") + fromFileBytes(day);
}

RunsRow::RunsRow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pnRuns"));
    auto* lbLastRun = new QLabel(QStringLiteral("Last run:"), this);
    lbLastRun->setObjectName(QStringLiteral("lbLastRun"));
    auto* lbNextRun = new QLabel(QStringLiteral("Next run:"), this);
    lbNextRun->setObjectName(QStringLiteral("lbNextRun"));
    m_warning = new QLabel(this);
    m_warning->setObjectName(QStringLiteral("imLastRun"));
    m_warning->setProperty(kKeepsItsText, true);
    const int extent = fontMetrics().height();
    m_warning->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(extent));
    m_warning->setFixedSize(extent, extent);
    // The sign keeps its place when hidden, so the texts of both lines start at one edge.
    QSizePolicy keep = m_warning->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_warning->setSizePolicy(keep);
    m_warning->hide();
    m_last = named(new ElidedLabel(this), "lbLastRunText");
    m_next = named(new ElidedLabel(this), "lbNextRunText");

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(9, 0, 9, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    grid->addWidget(lbLastRun, 0, 0);
    grid->addWidget(m_warning, 0, 1);
    grid->addWidget(m_last, 0, 2);
    grid->addWidget(lbNextRun, 1, 0);
    grid->addWidget(m_next, 1, 2);
    grid->setColumnStretch(2, 1);
}

void RunsRow::setLastRun(const QString& text, bool warning) {
    m_last->setText(text);
    m_warning->setVisible(warning);
}

void RunsRow::setNextRun(const QString& text) {
    m_next->setText(text);
}

}  // namespace tvl::ui
