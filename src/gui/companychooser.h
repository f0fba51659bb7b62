#pragma once

#include <QComboBox>
#include <QHash>
#include <QList>

class QStandardItemModel;

namespace zjx {

// A company chooser that finds a company by typing: its name, its service code or the pinyin
// initials of its name ("jt" offers 极兔速递). The companies come in the order it is given (the ones
// the user ships with most first); every number it takes or gives is a catalogue index, whatever
// the company's place in the list.
class CompanyChooser : public QComboBox {
    Q_OBJECT
public:
    CompanyChooser(const QString& objectName, const QString& accessibleName, QWidget* parent);

    // The catalogue in this order (catalogue indices); the chosen company stays chosen, silently.
    void arrange(const QList<int>& order);
    int company() const;               // -1 when none is chosen
    QString companyName() const;       // the chosen company's display name, whatever is typed
    void setCompany(int company);      // -1 chooses none
    int rowOf(int company) const;      // the company's place in the list, -1 when absent
    int companyAt(int row) const;

Q_SIGNALS:
    void companyChanged(int company); // chosen by anyone
    void companyPicked(int company);  // chosen by the user (the list, the typed search, the keys)

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showChosen(); // the box shows the chosen company's name again after a search
    void search(const QString& typed);
    void pickTyped();

    QList<int> m_order;
    QStandardItemModel* m_found = nullptr; // what the text typed finds, best first
};

} // namespace zjx
