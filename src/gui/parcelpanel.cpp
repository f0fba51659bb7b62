#include "gui/parcelpanel.h"

#include "book/parcelrecord.h"
#include "gui/panelcontrols.h"
#include "gui/platform/messagebox.h"

namespace zjx {

using namespace controls;

ParcelPanel::ParcelPanel(QWidget* window)
    : FloatingPanel(QStringLiteral("parcelPanel"), QStringLiteral("单号操作"), QSize(380, 200), window) {
    caption(this, QStringLiteral("快递单号："), QRect(16, 42, 76, 26));
    m_numberBox = lineEdit(this, QStringLiteral("numberBox"), QStringLiteral("快递单号"), QRect(92, 42, 270, 26));
    caption(this, QStringLiteral("快递公司："), QRect(16, 78, 76, 26));
    m_companyBox = chooser(this, QStringLiteral("companyBox"), QStringLiteral("快递公司"), QRect(92, 78, 180, 26));
    QPushButton* finder =
        button(this, QStringLiteral("finderButton"), QStringLiteral("快捷搜索"), QRect(280, 76, 82, 30));
    caption(this, QStringLiteral("快递备注："), QRect(16, 114, 76, 26));
    m_noteBox = lineEdit(this, QStringLiteral("noteBox"), QStringLiteral("快递备注"), QRect(92, 114, 270, 26));
    QPushButton* change = button(this, QStringLiteral("changeButton"), QStringLiteral("修改"), QRect(16, 154, 108, 32));
    m_deleteButton = button(this, QStringLiteral("deleteButton"), QStringLiteral("删除"), QRect(135, 154, 108, 32));
    QPushButton* copy = button(this, QStringLiteral("copyButton"), QStringLiteral("复制"), QRect(254, 154, 108, 32));

    connect(change, &QPushButton::clicked, this, &ParcelPanel::requestChange);
    connect(m_deleteButton, &QPushButton::clicked, this, &ParcelPanel::deleteRequested);
    connect(copy, &QPushButton::clicked, this, &ParcelPanel::copyRequested);
    connect(finder, &QPushButton::clicked, this, &ParcelPanel::finderRequested);
}

void ParcelPanel::setCompanies(const QStringList& names) {
    m_companyBox->addItems(names);
    m_companyBox->setCurrentIndex(-1);
}

void ParcelPanel::open(const QString& number, const QString& company, const QString& note) {
    m_numberBox->setText(number);
    m_companyBox->setCurrentIndex(m_companyBox->findText(company));
    m_noteBox->setText(note);
    showAlone();
}

void ParcelPanel::chooseCompany(int index) {
    m_companyBox->setCurrentIndex(index);
}

void ParcelPanel::setDeleteHeld(bool held) {
    m_deleteButton->setEnabled(!held);
}

void ParcelPanel::requestChange() {
    // The same rules as on the add panel: a record is one line, and "|" in the number would move
    // the company into the note when the book is read again.
    const QString number = ParcelRecord::singleLine(m_numberBox->text());
    const QString note = ParcelRecord::singleLine(m_noteBox->text());
    QString problem;
    if (number.isEmpty())
        problem = QStringLiteral("请输入单号!");
    else if (number.contains(u'|'))
        problem = QStringLiteral("单号不正确,请您检查!");
    else if (m_companyBox->currentText().isEmpty())
        problem = QStringLiteral("请输入快递公司!");
    else if (note.isEmpty())
        problem = QStringLiteral("请输入备注信息!");
    if (!problem.isEmpty()) {
        MessageBox::information(window(), problem);
        return;
    }
    Q_EMIT changeRequested(number, m_companyBox->currentText(), note);
}

} // namespace zjx
