#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

namespace zjx {

class OnlineGuess;

// The company the add panel's number most likely belongs to: from the published formats at once,
// and from the service for numbers they leave open, unless the user picked a company by hand for
// this number.
class CompanyGuess : public QObject {
    Q_OBJECT
public:
    // `host` gives the service's host[:port] as it is known now (waiting for it would block the panel).
    explicit CompanyGuess(std::function<QString()> host, QObject* parent = nullptr);

    // `bookUses` counts each company in the book (equal candidates are ranked by it); `busy` says
    // a query is on its way, whose company must not change under it.
    void setSources(std::function<QHash<QString, int>()> bookUses, std::function<bool()> busy);

    void numberChanged(const QString& number); // typed, pasted or cleared (a new number begins)
    void pickedByHand();                       // the user chose a company for this number
    void holdPick() { m_byHand = true; } // the user chose in the finder: no guess replaces it
    bool pickedByHandSoFar() const { return m_byHand; }

Q_SIGNALS:
    // The ranked candidates' first, and the hint line's sentence about them.
    void guessed(int index, const QString& hint);
    void withdrawn(); // the guess no longer holds

private:
    void onlineAnswered(const QString& number, const QStringList& codes);
    void show(const QList<int>& ranked);

    OnlineGuess* m_online = nullptr; // for numbers the published formats leave open
    std::function<QHash<QString, int>()> m_bookUses;
    std::function<bool()> m_busy;
    QString m_number;
    bool m_byHand = false; // reset when the number box is emptied
};

} // namespace zjx
