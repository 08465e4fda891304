#pragma once

#include <QDialog>

#include "core/civil.h"

class QDateEdit;
class QPushButton;

namespace tvl::ui {

// The Date Interval dialog of the Expected backups command: From and To as short dates
// with drop-down calendars. Both are today at creation; later showings keep what was last
// shown. OK clamps To to From + 365 days and accepts a To before From.
class DateIntervalDialog : public QDialog {
    Q_OBJECT
public:
    explicit DateIntervalDialog(QWidget* parent = nullptr, const CivilDate* today = nullptr);

    void bbOkClick();
    // The interval of the last OK, kept for the program's lifetime.
    CivilDate intervalStart() const { return m_start; }
    CivilDate intervalEnd() const { return m_end; }

    QDateEdit* fromField() const { return m_dtpStart; }
    QDateEdit* toField() const { return m_dtpFinish; }

private:
    QDateEdit* m_dtpStart = nullptr;
    QDateEdit* m_dtpFinish = nullptr;
    QPushButton* m_bbOk = nullptr;
    QPushButton* m_bbCancel = nullptr;
    CivilDate m_start;
    CivilDate m_end;
};

}  // namespace tvl::ui
