#pragma once

#include "guess/companyguess.h"
#include "gui/floatingpanel.h"

#include <QHash>
#include <functional>

#include <QStringList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace zjx {
class CompanyChooser;
class OnlineGuess;
}

namespace zjx {

// The panel "添加新快递" (the design's Picture3): a tracking number, its company and a note, and
// "开始查询", which asks about the parcel and records it.
class AddParcelPanel : public FloatingPanel {
    Q_OBJECT
public:
    explicit AddParcelPanel(QWidget* window);
    ~AddParcelPanel() override;

    void setCompanies(const QStringList& names); // filled without choosing one

    // The boxes as a record holds them (no line breaks).
    QString number() const;
    QString note() const;
    QString company() const;
    int companyIndex() const;
    // Chooses the company; `companyChanged` follows also when it was chosen already.
    void chooseCompany(int index);
    void setCompanyIndex(int index); // `companyChanged` only when it changes
    void chooseCompanyNamed(const QString& name); // a name the catalogue does not know changes nothing
    void setNumberText(const QString& text);       // as typed or pasted

    // Opens the panel empty, the first company chosen and the number box ready for typing; the
    // companies the book uses most come first in the chooser.
    void openEmpty();
    // Empties the number and the note for the next parcel (the company stays).
    void clearEntries();
    // Whether the user or a guess from the number chose the company shown: the chooser's first
    // entry, shown when the panel opens, is nobody's choice.
    bool companyChosen() const { return m_guess.byHand() || m_guess.holds(); }
    // The tracking service recognised `number` as one of `codes`: the most likely is chosen.
    // False when none of them is a company of the catalogue.
    bool takeRecognised(const QString& number, const QStringList& codes);
    void focusCompany();
    // Checks the boxes as "开始查询" does; the hint that says what is missing, or "" when all is there.
    QString missing();

    bool closesAfterAdding() const;
    void setQueryEnabled(bool enabled);
    bool queryEnabled() const;
    // A timed or loop query holds the company (the chooser and its finder) while it runs.
    void setCompanyHeld(bool held);
    // F8: the clipboard into the number box (the panel opens when it is closed); a list of numbers
    // goes to `listPasted` instead.
    void pasteNumber();

    // The chooser follows the number's most likely company unless the user picked one by hand:
    // `host` is the service's address as known now, `bookUses` ranks equal candidates, `busy` says
    // a query is on its way (its company must not change under it).
    void setGuessSources(std::function<QString()> host, std::function<QHash<QString, int>()> bookUses,
                         std::function<bool()> busy);
    bool companyPickedByHand() const { return m_guess.byHand(); }
    void companyPickedInFinder(); // the finder's choice is the user's own


Q_SIGNALS:
    void queryRequested();
    void finderRequested();
    void numberEdited(const QString& number); // typed, pasted (F8, Ctrl+V) or cleared
    void guessHint(const QString& hint);      // the guess's hint; empty: withdraw the one shown
    void companyChanged(int index);
    void listPasted(const QString& text); // more than one number pasted into the number box
    void batchRequested();                // "批量添加"

private:
    bool isEntryField(const QWidget* widget) const;
    // Keys anywhere in the window: F8 pastes the number, Enter in the panel's fields asks as
    // "开始查询" does, Escape closes the open panel. True when the key was taken.
    bool windowKey(QObject* watched, QEvent* event);
    void numberChanged();
    void applyGuess(const CompanyGuess::Step& step);

    QComboBox* m_numberBox = nullptr;
    // True when `text` holds more than one parcel line; it then goes to `listPasted`.
    bool passOnList(const QString& text);

    CompanyChooser* m_companyBox = nullptr;
    QLineEdit* m_noteBox = nullptr;
    QCheckBox* m_closeAfterAdding = nullptr;
    QPushButton* m_queryButton = nullptr;
    QPushButton* m_finderButton = nullptr;
    QPushButton* m_batchButton = nullptr;
    QObject* m_keys = nullptr; // the application's key presses pass it first
    CompanyGuess m_guess;
    OnlineGuess* m_onlineGuess = nullptr; // for numbers the published formats leave open
    std::function<QHash<QString, int>()> m_bookUses;
    std::function<bool()> m_busy;
};

} // namespace zjx
