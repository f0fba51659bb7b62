#pragma once

#include "core/parser.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QHeaderView;
class QTreeWidget;
class QTreeWidgetItem;

namespace zjx {

class BalloonTip;

// The progress list "物流进度" (the design's ListView1): the parcel's events, latest first and in
// red. A click on an event shows it whole in a balloon, a double click copies it; "导出" writes
// the list to a text file. Its columns keep their widths and order.
class ProgressList : public QObject {
    Q_OBJECT
public:
    enum Column { NumberColumn = 0, TimeColumn = 1, ProgressColumn = 2 };

    // The list is placed on `window` itself, at its fixed place.
    explicit ProgressList(QWidget* window);
    ~ProgressList() override;

    void clear();
    void showEntries(const QList<ProgressEntry>& entries); // at the top, the first one in red
    int rowCount() const;
    QList<QStringList> rows() const; // every cell, row by row
    QStringList headers() const;
    BalloonTip* balloon() const; // made on the first click on an event

    void rowClicked();       // a click on the list: the selected event in a balloon
    void rowDoubleClicked(); // a double click: the selected event to the clipboard
    void exportRows();       // "导出": the rows to a text file the user names

    // False when there is no clipboard to use.
    static bool copyToClipboard(const QString& text);
    static QString noClipboardHint() { return QStringLiteral("剪贴板暂不可用,未能复制.."); }

Q_SIGNALS:
    void hint(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidgetItem* selectedRow() const; // null when no row with a number is selected
    bool headerEvent(QHeaderView* header, QEvent* event);

    QTreeWidget* m_list = nullptr;
    QPointer<BalloonTip> m_balloon;
    QString m_lastExportName; // offered again by the save dialog
    bool m_releaseEndsDoubleClick = false;
};

} // namespace zjx
