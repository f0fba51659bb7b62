#pragma once

#include "gui/floatingpanel.h"

#include <QStringList>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace zjx {

// The panel "单号操作" (the design's Picture5): the chosen parcel's number, company and note, to
// change ("修改"), delete ("删除") or copy ("复制").
class ParcelPanel : public FloatingPanel {
    Q_OBJECT
public:
    explicit ParcelPanel(QWidget* window);

    void setCompanies(const QStringList& names); // filled without choosing one
    // Shows the parcel; a company the catalogue does not know is left unchosen.
    void open(const QString& number, const QString& company, const QString& note);
    void chooseCompany(int index);
    // A timed or loop query holds its parcel: it cannot be deleted meanwhile.
    void setDeleteHeld(bool held);
    // "修改": checks the boxes (a box says what is missing) and asks for the change.
    void requestChange();

Q_SIGNALS:
    // The boxes passed the checks; the record is to be replaced by these fields.
    void changeRequested(const QString& number, const QString& company, const QString& note);
    void deleteRequested();
    void copyRequested();
    void finderRequested();

private:
    QLineEdit* m_numberBox = nullptr;
    QComboBox* m_companyBox = nullptr;
    QLineEdit* m_noteBox = nullptr;
    QPushButton* m_deleteButton = nullptr;
};

} // namespace zjx
