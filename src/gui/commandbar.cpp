#include "gui/commandbar.h"

#include "book/parcelbook.h"
#include "gui/panelcontrols.h"

#include <QSignalBlocker>
#include <array>
#include <iterator>

namespace zjx {

using namespace controls;

CommandBar::CommandBar(ParcelBook& book, QWidget* window) : QObject(window) {
    m_selector = chooser(window, QStringLiteral("parcelSelector"), QStringLiteral("已保存快递"), QRect(16, 108, 281, 26));
    m_selector->setEnabled(false);
    // The user picking an entry, also the same one again, re-queries that parcel.
    connect(m_selector, &QComboBox::activated, this, &CommandBar::parcelChosen);

    // The buttons stand in a row, 88 pixels apart, each telling its click.
    const struct Command {
        QString name;
        QString text;
        void (CommandBar::*clicked)();
    } commands[] = {
        {QStringLiteral("operateButton"), QStringLiteral("操作"), &CommandBar::operateClicked},
        {QStringLiteral("clearButton"), QStringLiteral("清空"), &CommandBar::clearClicked},
        {QStringLiteral("addButton"), QStringLiteral("添加"), &CommandBar::addClicked},
        {QStringLiteral("exportButton"), QStringLiteral("导出"), &CommandBar::exportClicked},
        {QStringLiteral("settingsButton"), QStringLiteral("设置"), &CommandBar::settingsClicked},
    };
    std::array<QPushButton*, std::size(commands)> buttons{};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i] = button(window, commands[i].name, commands[i].text, QRect(312 + 88 * int(i), 104, 73, 33));
        connect(buttons[i], &QPushButton::clicked, this, commands[i].clicked);
    }
    m_clearButton = buttons[1];
    m_addButton = buttons[2];
    followBook(book);
}

// The selector shows the book's notes: it follows every change of the book here, and only here.
void CommandBar::followBook(ParcelBook& book) {
    connect(&book, &ParcelBook::notesAppended, this, [this](const QStringList& notes) {
        // Filling a chooser selects its first entry by itself; adding entries never does here.
        const int before = m_selector->currentIndex();
        const QSignalBlocker block(m_selector);
        m_selector->addItems(notes);
        m_selector->setCurrentIndex(before);
    });
    connect(&book, &ParcelBook::notesAdopted, this, [this](const QStringList& notes) {
        const QSignalBlocker block(m_selector);
        m_selector->insertItems(0, notes);
    });
    connect(&book, &ParcelBook::noteReplaced, this,
            [this](int index, const QString& note) { m_selector->setItemText(index, note); });
    connect(&book, &ParcelBook::noteRemoved, this, [this](int index) { m_selector->removeItem(index); });
    connect(&book, &ParcelBook::notesCleared, this, [this] {
        const QSignalBlocker block(m_selector);
        m_selector->clear();
    });
}

int CommandBar::chosenIndex() const {
    return m_selector->currentIndex();
}

QString CommandBar::chosenNote() const {
    return m_selector->currentText();
}

int CommandBar::parcelCount() const {
    return m_selector->count();
}

QStringList CommandBar::notes() const {
    QStringList notes;
    for (int i = 0; i < m_selector->count(); ++i)
        notes << m_selector->itemText(i);
    return notes;
}

bool CommandBar::selectorEnabled() const {
    return m_selector->isEnabled();
}

void CommandBar::setSelectorEnabled(bool enabled) {
    m_selector->setEnabled(enabled);
}

void CommandBar::showChosen(int index) {
    const QSignalBlocker block(m_selector);
    m_selector->setCurrentIndex(index);
}

void CommandBar::setHeld(bool held) {
    for (QWidget* control : {static_cast<QWidget*>(m_selector), static_cast<QWidget*>(m_clearButton),
                             static_cast<QWidget*>(m_addButton)})
        control->setEnabled(!held);
}

bool CommandBar::addEnabled() const {
    return m_addButton->isEnabled();
}

void CommandBar::focusAdd() {
    m_addButton->setFocus();
}

} // namespace zjx
