#pragma once

#include "watch/overviewmodel.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimeEdit;
class QPushButton;
class QSpinBox;
class QTableView;

namespace zjx {

class BackgroundOptions;
class MainWindow;

// "全部快递": every parcel at a glance, sortable and searchable, with the watch of the whole book
// switched on and off here. Double-click or Enter shows a parcel in the main window.
class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverviewWindow(MainWindow& main, QWidget* parent = nullptr);
    ~OverviewWindow() override;

    QTableView* table = nullptr;      // 全部快递列表
    QLineEdit* search = nullptr;      // 筛选快递
    QCheckBox* watchSwitch = nullptr; // 自动跟踪全部快递
    QSpinBox* watchMinutes = nullptr; // 跟踪间隔
    QLabel* intervalNote = nullptr;   // why the interval is longer than chosen
    QCheckBox* chime = nullptr;
    QSpinBox* dailyLimit = nullptr;       // 每日上限
    QTimeEdit* quietFrom = nullptr;       // 夜间不查询 from
    QTimeEdit* quietTo = nullptr;         // ... to
    QLabel* costLabel = nullptr;          // "约 N 次查询/天", or that the day's limit is reached
    QComboBox* stateFilter = nullptr;     // 状态
    QPushButton* showAllButton = nullptr; // 显示全部, while only a notice's parcels are shown
    QCheckBox* archivedFilter = nullptr;  // 已归档
    QPushButton* askButton = nullptr;     // 立即查询
    QPushButton* archiveButton = nullptr; // 归档
    QPushButton* restoreButton = nullptr; // 恢复
    BackgroundOptions* background = nullptr; // 登录时自动启动并在后台跟踪, and whether the watch needs the window

    OverviewModel& model() { return m_model; }
    OverviewFilter& filter() { return m_filter; }

    // The book or the archive changed: the rows follow.
    void refresh();
    // The parcels of the selected rows, as their record lines.
    QStringList selectedRecords() const;

    // Where the window opens: `wanted` fitted into the screen's `available` area, beside the main
    // window's frame where there is room (right first), else as far from covering it as fits.
    static QRect placement(const QRect& mainFrame, QSize wanted, const QRect& available);
    static QRect fitted(const QRect& rect, const QRect& available); // moved, and shrunk only if it must

    // The user's acts on the selected rows.
    void openSelected();
    void askSelected();
    void archiveSelected();
    void restoreSelected();
    void copySelectedNumbers();
    void copyPickupCode();
    void deleteSelected();
    // Only these parcels, all selected (a grouped notice's); "显示全部" brings the rest back.
    void showOnly(const QList<ParcelKey>& keys);
    // The parcel's row selected and in view (a notification's parcel).
    void selectParcel(const ParcelKey& key);
    void updateCost();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showContextMenu(const QPoint& position);
    void updateButtons();
    void saveLayout() const;
    void restoreLayout();
    void showIntervalNote();

    MainWindow& m_main;
    OverviewModel m_model;
    OverviewFilter m_filter;
};

} // namespace zjx
