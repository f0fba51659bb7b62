#include "gui/addparcelpanel.h"

#include "book/parcelrecord.h"
#include "core/catalogue.h"
#include "guess/onlineguess.h"
#include "gui/companychooser.h"
#include "gui/panelcontrols.h"
#include "intake/companysearch.h"
#include "intake/parcellist.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <functional>
#include <QSignalBlocker>

namespace zjx {

using namespace controls;

namespace {

class KeyFilter : public QObject {
public:
    KeyFilter(std::function<bool(QObject*, QEvent*)> filter, QObject* parent)
        : QObject(parent), m_filter(std::move(filter)) {}
    bool eventFilter(QObject* watched, QEvent* event) override { return m_filter(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> m_filter;
};

} // namespace

AddParcelPanel::AddParcelPanel(QWidget* window)
    : FloatingPanel(QStringLiteral("addParcelPanel"), QStringLiteral("添加新快递"), QSize(380, 222), window) {
    caption(this, QStringLiteral("快递单号："), QRect(16, 42, 76, 26));
    m_numberBox = chooser(this, QStringLiteral("numberBox"), QStringLiteral("快递单号"), QRect(92, 42, 270, 26), true);
    caption(this, QStringLiteral("快递公司："), QRect(16, 78, 76, 26));
    m_companyBox = new CompanyChooser(QStringLiteral("companyBox"), QStringLiteral("快递公司"), this);
    m_companyBox->setGeometry(92, 78, 180, 26);
    m_finderButton = button(this, QStringLiteral("finderButton"), QStringLiteral("快捷搜索"), QRect(280, 76, 82, 30));
    caption(this, QStringLiteral("快递备注："), QRect(16, 114, 76, 26));
    m_noteBox = lineEdit(this, QStringLiteral("noteBox"), QStringLiteral("快递备注"), QRect(92, 114, 270, 26));
    m_closeAfterAdding = new QCheckBox(QStringLiteral("是否添加后自动关闭本页,如需继续添加请取消勾选"), this);
    m_closeAfterAdding->setObjectName(QStringLiteral("closeAfterAdding"));
    m_closeAfterAdding->setGeometry(16, 148, 350, 22);
    m_closeAfterAdding->setChecked(true);
    m_queryButton = button(this, QStringLiteral("queryButton"), QStringLiteral("开始查询"), QRect(16, 178, 250, 32));
    m_queryButton->setEnabled(false);
    m_batchButton = button(this, QStringLiteral("batchButton"), QStringLiteral("批量添加"), QRect(272, 178, 90, 32));
    connect(m_batchButton, &QPushButton::clicked, this, &AddParcelPanel::batchRequested);

    connect(m_queryButton, &QPushButton::clicked, this, &AddParcelPanel::queryRequested);
    connect(m_finderButton, &QPushButton::clicked, this, &AddParcelPanel::finderRequested);
    connect(m_companyBox, &CompanyChooser::companyChanged, this, &AddParcelPanel::companyChanged);
    // editTextChanged covers typing, Ctrl+V and F8 (which sets the box's text); activated is only
    // ever the user's own pick, never the program's setCurrentIndex.
    connect(m_numberBox, &QComboBox::editTextChanged, this, [this] {
        numberChanged();
        Q_EMIT numberEdited(number());
    });
    connect(m_companyBox, &CompanyChooser::companyPicked, this, [this](int company) {
        if (m_onlineGuess)
            m_onlineGuess->cancel();
        applyGuess(m_guess.pickedByHand(company));
    });
    // Key presses reach the window before the focused control, wherever the focus is in it.
    m_keys = new KeyFilter([this](QObject* watched, QEvent* event) { return windowKey(watched, event); }, this);
    qApp->installEventFilter(m_keys);
}

AddParcelPanel::~AddParcelPanel() {
    qApp->removeEventFilter(m_keys);
}

void AddParcelPanel::setCompanies(const QStringList&) {
    // The chooser holds the catalogue from the start, without a selection.
    const QSignalBlocker block(m_companyBox);
    m_companyBox->setCompany(-1);
}

QString AddParcelPanel::number() const {
    return ParcelRecord::singleLine(m_numberBox->currentText());
}

QString AddParcelPanel::note() const {
    return ParcelRecord::singleLine(m_noteBox->text());
}

QString AddParcelPanel::company() const {
    return m_companyBox->companyName();
}

int AddParcelPanel::companyIndex() const {
    return m_companyBox->company();
}

void AddParcelPanel::chooseCompany(int index) {
    // No change signal for the same entry; whoever follows the company must still hear of it.
    if (m_companyBox->company() == index)
        Q_EMIT companyChanged(index);
    else
        m_companyBox->setCompany(index);
}

void AddParcelPanel::setCompanyIndex(int index) {
    m_companyBox->setCompany(index);
}

void AddParcelPanel::chooseCompanyNamed(const QString& name) {
    const int index = m_companyBox->rowOf(CourierCatalogue::indexOfName(name));
    if (index >= 0)
        chooseCompany(m_companyBox->companyAt(index));
}

void AddParcelPanel::setNumberText(const QString& text) {
    m_numberBox->setEditText(text);
}

void AddParcelPanel::openEmpty() {
    m_numberBox->clearEditText();
    m_noteBox->clear();
    if (m_bookUses)
        m_companyBox->arrange(companiesByUse(m_bookUses()));
    chooseCompany(0);
    showAlone();
    // Ready for typing the number at once.
    m_numberBox->setFocus();
}

void AddParcelPanel::clearEntries() {
    m_numberBox->clearEditText();
    m_noteBox->clear();
    m_numberBox->setFocus();
}

void AddParcelPanel::focusCompany() {
    m_companyBox->setFocus();
}

bool AddParcelPanel::takeRecognised(const QString& number, const QStringList& codes) {
    // Asked before: an online guess for this number may be on its way and must not ask again.
    if (m_onlineGuess)
        m_onlineGuess->cancel();
    const CompanyGuess::Step step =
        m_guess.onlineAnswered(number, codes, companyIndex(), m_bookUses ? m_bookUses() : QHash<QString, int>());
    if (!step.changes)
        return false;
    applyGuess(step);
    return true;
}

QString AddParcelPanel::missing() {
    const QString shownNumber = number();
    if (shownNumber.isEmpty()) {
        m_numberBox->setFocus();
        return QStringLiteral("请输入快递单号!");
    }
    if (shownNumber.contains(u'|'))
        return QStringLiteral("单号不正确,请您检查!");
    if (company().isEmpty()) {
        m_companyBox->setFocus();
        return QStringLiteral("请选择快递公司!");
    }
    if (note().isEmpty())
        return QStringLiteral("请输入快递备注信息,例如：爸爸衣服");
    return QString();
}

bool AddParcelPanel::closesAfterAdding() const {
    return m_closeAfterAdding->isChecked();
}

void AddParcelPanel::setQueryEnabled(bool enabled) {
    m_queryButton->setEnabled(enabled);
}

bool AddParcelPanel::queryEnabled() const {
    return m_queryButton->isEnabled();
}

void AddParcelPanel::setCompanyHeld(bool held) {
    m_companyBox->setEnabled(!held);
    m_finderButton->setEnabled(!held);
}

bool AddParcelPanel::isEntryField(const QWidget* widget) const {
    return widget == m_numberBox || widget == m_numberBox->lineEdit() || widget == m_noteBox || widget == m_companyBox;
}

} // namespace zjx

namespace zjx {

void AddParcelPanel::setGuessSources(std::function<QString()> host, std::function<QHash<QString, int>()> bookUses,
                                     std::function<bool()> busy) {
    m_bookUses = std::move(bookUses);
    m_busy = std::move(busy);
    m_onlineGuess = new OnlineGuess(std::move(host), this);
    connect(m_onlineGuess, &OnlineGuess::answered, this, [this](const QString& asked, const QStringList& codes) {
        if (m_busy())
            return;
        applyGuess(m_guess.onlineAnswered(asked, codes, m_companyBox->company(), m_bookUses()));
    });
}

void AddParcelPanel::companyPickedInFinder() {
    applyGuess(m_guess.pickedByHand(m_companyBox->company()));
}

void AddParcelPanel::numberChanged() {
    if (!m_onlineGuess)
        return;
    m_onlineGuess->cancel();
    const QString shown = number();
    const CompanyGuess::Step step = m_guess.numberChanged(shown, m_companyBox->company(), m_bookUses());
    applyGuess(step);
    if (step.askOnline)
        m_onlineGuess->ask(shown);
}

void AddParcelPanel::applyGuess(const CompanyGuess::Step& step) {
    if (!step.changes)
        return;
    if (step.company >= 0 && step.company < m_companyBox->count())
        m_companyBox->setCompany(step.company); // the service code follows
    Q_EMIT guessHint(step.hint);
}

bool AddParcelPanel::passOnList(const QString& text) {
    const ReadParcels read = readPastedList(text, 2);
    if (read.rows.size() + read.overLimit < 2)
        return false;
    Q_EMIT listPasted(text);
    return true;
}

void AddParcelPanel::pasteNumber() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QString text = clipboard ? clipboard->text() : QString();
    if (passOnList(text))
        return;
    if (!isVisible())
        openEmpty();
    // A number copied from a page or a chat often ends with a line break, which is not part of it.
    setNumberText(ParcelRecord::singleLine(text));
}

bool AddParcelPanel::windowKey(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != window())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F8 && !key->isAutoRepeat()) {
        pasteNumber();
        return true;
    }
    // A list pasted into the number box would run together into one number.
    if (key->matches(QKeySequence::Paste) && watched == m_numberBox->lineEdit()) {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        return clipboard && passOnList(clipboard->text());
    }
    if (key->key() == Qt::Key_Escape) {
        // Escape closes the open panel, as its close image would.
        bool open = false;
        for (FloatingPanel* panel : window()->findChildren<FloatingPanel*>(Qt::FindDirectChildrenOnly))
            if (panel->isVisible()) {
                panel->hide();
                open = true;
            }
        return open;
    }
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        !isEntryField(static_cast<QWidget*>(watched)))
        return false;
    if (queryEnabled())
        Q_EMIT queryRequested();
    return true;
}

} // namespace zjx
