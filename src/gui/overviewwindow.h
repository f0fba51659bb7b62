#pragma once

#include "watch/overviewmodel.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;

namespace zjx {

class MainWindow;

// "全部快递": every parcel at a glance, sortable and searchable, with the watch of the whole book
// switched on and off here. Double-click or Enter shows a parcel in the main window.
class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverviewWindow(MainWindow& main, QWidget* parent = nullptr);
    ~OverviewWindow() override;

    QTableView* table = nullptr;      // parcel_table
    QLineEdit* search = nullptr;      // parcel_search
    QCheckBox* watchSwitch = nullptr; // 自动跟踪全部快递
    QSpinBox* watchMinutes = nullptr; // watch_minutes
    QCheckBox* chime = nullptr;
    QCheckBox* archivedFilter = nullptr;  // 已归档
    QPushButton* askButton = nullptr;     // 立即查询
    QPushButton* archiveButton = nullptr; // 归档
    QPushButton* restoreButton = nullptr; // 恢复

    OverviewModel& model() { return m_model; }
    OverviewFilter& filter() { return m_filter; }

    // The book or the archive changed: the rows follow.
    void refresh();
    // The parcels of the selected rows, as their record lines.
    QStringList selectedRecords() const;

    // The user's acts on the selected rows.
    void openSelected();
    void askSelected();
    void archiveSelected();
    void restoreSelected();
    void copySelectedNumbers();
    void deleteSelected();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showContextMenu(const QPoint& position);
    void updateButtons();
    void saveLayout() const;
    void restoreLayout();

    MainWindow& m_main;
    OverviewModel m_model;
    OverviewFilter m_filter;
};

} // namespace zjx
