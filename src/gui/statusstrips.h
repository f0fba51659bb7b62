#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>

class QLabel;
class QWidget;

namespace zjx {

// The two purple strips (the design's Label11 and Label12 rows): beside the banner the parcel's
// state, the update verdict and who answered; at the bottom the hint line, the version, the maker
// and the clock, which ticks every second. White on purple; the verdict turns red with news.
class StatusStrips : public QObject {
    Q_OBJECT
public:
    enum Field {
        StateHeading,   // 快件状态
        VerdictHeading, // 更新状态
        State,
        Verdict,
        HintCaption, // 查询提示：
        Hint,
        Version,
        Maker,
        Clock,
        DataSource,
        Estimate, // the estimated delivery, in a column of its own between the menu and the state
        FieldCount
    };

    // The strips are placed on `window` itself.
    explicit StatusStrips(QWidget* window);

    // The upper strip, where the menu sits.
    QWidget* statusArea() const { return m_statusArea; }

    QString text(Field field) const;
    void setText(Field field, const QString& text);
    QString toolTip(Field field) const;
    QColor colour(Field field) const;

    void showVerdict(const QString& verdict, bool news); // red with news, white without
    // The caption for a back-end word of the service ("" = a service that does not say).
    void showDataSource(const QString& backend);
    void showConfiguredSource(); // who the own service was configured to ask
    // The own service is not running; `reason` (what it said, whole) rests on the hint line.
    void showServiceStopped(const QString& reason);
    void showServiceRunning(); // running again: the configured source, no reason left on the hint line
    void showEstimate(const QString& text);
    void showClock();
    QTimer& clock() { return m_clock; } // ticks every second

    // A guess about the number is shown in the hint line; withdrawn, it gives back what the line
    // said before, unless something else has been written there since.
    void showGuess(const QString& hint);
    void withdrawGuess();
    // The hint shown now is about the number in the add panel (why its query failed): it holds
    // only while that number does. Once the number is edited it leaves the line, and a guess that
    // covered it does not bring it back.
    void bindHintToNumber();
    void numberEdited();

private:
    QWidget* m_statusArea = nullptr;
    std::array<QLabel*, FieldCount> m_labels{};
    QTimer m_clock;
    QString m_guessHint;      // the guess shown in the hint line, as shown
    QString m_hintBeforeGuess; // what the hint line said before it
    QString m_numberHint;      // the hint about the add panel's number, as shown
};

} // namespace zjx
