#pragma once

#include "guess/companyguess.h"
#include "serviceconfig/servicecheck.h"
#include "serviceconfig/serviceconfig.h"

#include <QDialog>
#include <QHash>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace zjx {

// The window "查询服务设置": which back-end the program's own tracking service asks, its keys, a
// check of the settings before they are saved, and the saving. Each field's object name is its
// configuration key (`backend`, `customer`, `key` ...), with `check_number` and `check_company`;
// its accessible name is its Chinese caption. The window keeps its size whatever it shows, so
// 保存 stays where it is. The logic (file, validation, verdicts) lives in the serviceconfig library.
class ServiceSettingsWindow : public QDialog {
    Q_OBJECT
public:
    // `configPath`: the file the service reads. `serviceProgram`: zjx-service, for 检查.
    // `externalHost` not empty: the service runs elsewhere and its settings are only shown.
    ServiceSettingsWindow(const QString& configPath, const QString& serviceProgram, const QString& externalHost,
                          QWidget* parent = nullptr);

    // The parcel to check, usually the chosen one (number, catalogue display name).
    void setCheckParcel(const QString& number, const QString& companyName);

    ServiceSettings settingsShown() const; // what the fields say now
    void check();                          // 检查
    bool save();                           // 保存; false when a field is wrong or the file cannot be written
    void cancelCheck();
    bool checkRunning() const { return m_check.isRunning(); }
    QString verdictText() const;
    QString verdictDetail() const;               // the technical words behind 详细信息
    QString problemAt(const QString& key) const; // the message shown at a field, "" when none
    bool unsaved() const;                        // the fields differ from the file
    void repairFile();                           // 修复: the file made private as it is

    // Escape, 关闭 and the title bar's close: unsaved changes are not thrown away without asking.
    void reject() override;

Q_SIGNALS:
    // The file is written: the program's service must start again with it.
    void saved(const zjx::ServiceSettings& now, const zjx::ServiceSettings& before);
    void checkFinished(const zjx::CheckVerdict& verdict);

private:
    void build();
    void keepSizeStill();
    void showFileState();
    void showVerdict(const QString& text, const QString& detail = {});
    void checkNumberChanged();
    void showSettings(const ServiceSettings& settings);
    void backendChosen();
    void checkDone(const CheckVerdict& verdict);
    bool showProblems(const QList<FieldProblem>& problems); // true when there were none
    void setBusy(bool busy);

    const QString m_configPath;
    const QString m_serviceProgram;
    const bool m_readOnly;
    ServiceConfigFile m_file;
    // Both providers name their secret `key`: one field, each provider's value kept while the other shows.
    QString m_kuaidi100Key, m_track17Key;
    QString m_keyOwner; // the back-end whose key the key field shows

    QComboBox* m_backend = nullptr;
    QLabel* m_providerNote = nullptr;
    QLineEdit* m_customer = nullptr;
    QLineEdit* m_key = nullptr;
    QLineEdit* m_businessId = nullptr;
    QLineEdit* m_appKey = nullptr;
    QComboBox* m_requestType = nullptr;
    QLabel* m_fileNotice = nullptr;
    QPushButton* m_repairButton = nullptr;
    QLineEdit* m_phoneTail = nullptr;
    QSpinBox* m_cacheMinutes = nullptr;
    QCheckBox* m_showKeys = nullptr;
    QHash<QString, QWidget*> m_rows;    // key -> the row's widgets' container
    QHash<QString, QLabel*> m_problems; // key -> the message under the field
    QLineEdit* m_checkNumber = nullptr;
    QComboBox* m_checkCompany = nullptr;
    QPushButton* m_checkButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QProgressBar* m_busy = nullptr;
    QLabel* m_verdict = nullptr;
    QPushButton* m_detailToggle = nullptr;
    QPlainTextEdit* m_detail = nullptr;
    ServiceSettings m_savedSettings; // as the file says, in the fields' terms
    CompanyGuess m_checkGuess;
    QPushButton* m_saveButton = nullptr;
    QLabel* m_status = nullptr;
    ServiceCheck m_check;
};

} // namespace zjx
