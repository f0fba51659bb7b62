#pragma once

#include <QStringList>
#include <QWidget>

class QComboBox;
class QPushButton;

namespace zjx {

class ParcelBook;

// The command row (the design's Text1 and Command14, 7, 3, 6, 4): the saved-parcel selector, which
// shows one note per record of the book, and "操作", "清空", "添加", "导出", "设置".
class CommandBar : public QObject {
    Q_OBJECT
public:
    // The controls are placed on `window` itself, at their fixed places.
    CommandBar(ParcelBook& book, QWidget* window);

    int chosenIndex() const;
    QString chosenNote() const; // the selector's text; empty when nothing is chosen
    int parcelCount() const;
    QStringList notes() const;
    bool selectorEnabled() const;
    void setSelectorEnabled(bool enabled);
    // Chosen without the user: no query follows.
    void showChosen(int index);
    // A timed or loop query holds the parcel and the book while it runs.
    void setHeld(bool held);
    bool addEnabled() const;
    void focusAdd();

Q_SIGNALS:
    void parcelChosen(); // the user picked an entry, also the same one again
    void operateClicked();
    void clearClicked();
    void addClicked();
    void exportClicked();
    void settingsClicked();

private:
    void followBook(ParcelBook& book);

    QComboBox* m_selector = nullptr;
    QPushButton* m_clearButton = nullptr;
    QPushButton* m_addButton = nullptr;
};

} // namespace zjx
