#pragma once

#include "core/parser.h"
#include "core/querysession.h"
#include "schedule/newsnotice.h"
#include "schedule/updateverdict.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace zjx {

class BookKeeper;
class ParcelStates;
struct HttpResult;

// One tracking query of a parcel from start to verdict: asks the service, reads what it says
// about itself (who answered, a provider's fault, a stale page), screens the answer, records a
// new parcel, parses the rows a moment later and judges whether they are news. The window shows
// what it announces; the questions it must put to the user go through the hooks.
class ParcelQuery : public QObject {
    Q_OBJECT
public:
    ParcelQuery(BookKeeper& keeper, ParcelStates& states, QObject* parent = nullptr);

    struct Hooks {
        std::function<QString()> trackingHost;            // may wait for the service's port
        std::function<bool(const QString&)> confirm;      // a yes-or-no question; true for yes
        std::function<void(const QString&)> inform;       // a box the user closes
        std::function<bool()> userAway;                   // the window is hidden, minimised or not active
    };
    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    QuerySession& session() { return m_session; }
    const QuerySession& session() const { return m_session; }
    // A request waits or a parse is due: nothing may start another query now.
    bool inFlight() const;

    // The service code of the company the add panel shows; every request asks with it.
    void setCompanyCode(const QString& code) { m_companyCode = code; }
    QString companyCode() const { return m_companyCode; }

    // A new parcel from the add panel. True when the answer is good: the parcel is recorded (or
    // was listed already) and its rows are parsed shortly.
    bool askNew(const QString& number, const QString& company, const QString& note);
    // A listed parcel again; `automatic` for a timed or loop re-query.
    void askAgain(const QString& number, const QString& company, bool automatic);
    // Entry counts of the parcel shown, compared by a query the user starts.
    qint16 progressCount = 0;
    qint16 lastProgressCount = 0;

    // The parse that follows a good answer by 100 ms.
    const QTimer& parseTimer() const { return m_parseTimer; }
    void parse();
    QString shownState() const { return m_shownState; }
    void showState(const QString& state); // the parcel state strip's text
    QString askedNumber() const { return m_askedNumber; }
    QString askedCompany() const { return m_askedCompany; }
    // The last provider fault the service named and its hint line sentence; empty when none.
    QString faultWord() const { return m_faultWord; }
    QString faultHint() const { return m_faultHint; }
    // The list is emptied (and holds no parcel's events).
    void clearList();

    // What the update strip says after rows were shown: for a query the user started, by the entry
    // counts; for a re-query, by what was last shown or told for the parcel. Announces the verdict,
    // then any news for the desktop.
    UpdateVerdict judge(const LatestEvent& latest);

Q_SIGNALS:
    void hint(const QString& text);
    void queryEnabled(bool enabled); // whether "开始查询" may be used
    void listCleared();
    // Another parcel is on screen and nothing of it is shown yet: its state and verdict are unknown.
    void parcelSwitched();
    void rowsParsed(const QList<ProgressEntry>& entries); // latest first, for the top of the list
    void stateShown(const QString& state);
    void estimateShown(const QString& text); // "预计送达 12月9日" or ""
    void judged(const UpdateVerdict& verdict);
    void news(const NewsNotice& notice); // news of a re-query while the user is away
    void dataSource(const QString& backend);

private:
    bool begin(); // false while a request waits
    void request(const QString& number, const QString& shownCompany);
    void readServiceHeaders(const HttpResult& result);
    QString faultHintOf(const HttpResult& result); // the hint for the provider's fault the service named
    bool screen(bool fromAddPanel, const QString& number, const QString& company, const QString& note);
    void parseLater();
    void showAnotherParcel(const QString& listed);
    QString troubleOfAnswer() const; // why the answer just screened shows no events

    BookKeeper& m_keeper;
    ParcelStates& m_states;
    Hooks m_hooks;
    QuerySession m_session;
    QTimer m_parseTimer;
    QString m_companyCode;
    QString m_doneHint; // the hint the pending parse ends with, when not the usual one
    QString m_shownState = QStringLiteral("未查询");
    QString m_askedNumber; // the parcel whose answer is being read, as it was asked for
    QString m_askedCompany;
    bool m_askedAutomatically = false;
    QByteArray m_answerState; // X-Zjx-State of the answer being read
    QByteArray m_answerEstimate; // X-Zjx-Estimated-Delivery of the answer being shown
    QString m_estimateText;
    QString m_answerBackend;  // X-Zjx-Backend of the answer being read
    QString m_faultWord;
    QString m_faultHint;
    QString m_listedParcel; // "number|company|" of the events in the list; "" when empty
};

} // namespace zjx
