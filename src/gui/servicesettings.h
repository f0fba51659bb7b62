#pragma once

#include "serviceconfig/servicecheck.h"
#include "serviceconfig/serviceconfig.h"

#include <QDialog>
#include <QHash>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace zjx {

// The window "查询服务设置": which back-end the program's own tracking service asks, its keys, a
// check of the settings before they are saved, and the saving. Controls are found by their
// accessible names: `backend`, the configuration keys, `check_number`, `check_company`, "检查",
// "保存". The logic (file, validation, verdicts) lives in the serviceconfig library.
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
    QString problemAt(const QString& key) const; // the message shown at a field, "" when none

Q_SIGNALS:
    // The file is written: the program's service must start again with it.
    void saved(const QString& backend);
    void checkFinished(const zjx::CheckVerdict& verdict);

private:
    void build();
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
    QPushButton* m_saveButton = nullptr;
    QLabel* m_status = nullptr;
    ServiceCheck m_check;
};

} // namespace zjx
