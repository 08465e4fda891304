#include "newtaskdialog.h"

#include <utility>

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/runplan.h"
#include "core/taskline.h"
#include "messagebox.h"
#include "textcodec.h"

namespace tvl::ui {

NewTaskDialog::NewTaskDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmNewDlg"));
    setWindowTitle(QStringLiteral("New Task Name"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    m_edNew = new QLineEdit(this);
    m_edNew->setObjectName(QStringLiteral("edNew"));
    m_edNew->setMinimumWidth(260);

    m_bbOk = new QPushButton(QStringLiteral("OK"), this);
    m_bbOk->setObjectName(QStringLiteral("bbOk"));
    m_bbOk->setDefault(true);
    m_bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_bbCancel->setObjectName(QStringLiteral("bbCancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_bbOk);
    buttons->addWidget(m_bbCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edNew);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_bbOk, &QPushButton::clicked, this, [this] { accept(); });
    connect(m_bbCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void NewTaskDialog::prepare(NameTaken taken, const QString& refusalText) {
    m_taken = std::move(taken);
    m_refusal = refusalText;
    m_name.clear();
    m_edNew->clear();
    m_edNew->setFocus();
}

QString NewTaskDialog::tidyName(const QString& text) {
    return fromFileBytes(tvl::tidyText(toFileBytes(text)));
}

void NewTaskDialog::accept() {
    const QString name = tidyName(m_edNew->text());
    // The name becomes part of the backup's file names on the server.
    if (!isValidTaskName(toFileBytes(name)) || (m_taken && m_taken(name))) {
        MessageBox::warning(this, m_refusal);
        m_edNew->setFocus();
        return;
    }
    m_name = name;
    QDialog::accept();
}

void NewTaskDialog::reject() {
    m_name.clear();
    QDialog::reject();
}

}  // namespace tvl::ui
