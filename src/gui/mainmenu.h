#pragma once

#include "platform/environment.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QComboBox;
class QWidget;

namespace zjx {

class ServiceLink;
struct ServiceSettings;
class ServiceSettingsWindow;

// The menu "菜单" (the design's Combo5): a chooser whose entries open the branch lookup, one of
// the maker's sites, the tracking-service settings or the overview. It shows no entry chosen,
// also once a picked one has run.
class MainMenu : public QObject {
    Q_OBJECT
public:
    MainMenu(ServiceLink& link, QWidget* statusArea);

    static QString overviewText() { return QStringLiteral("全部快递"); }

    // The parcel the service settings check with: the chosen one, else the one asked last.
    void setCheckParcel(std::function<std::pair<QString, QString>()> parcel) { m_checkParcel = std::move(parcel); }

    int count() const;
    QString entryText(int index) const;
    int chosenIndex() const;
    void choose(int index); // as the user picking the entry in this place

    // Opens one of the sites in the browser; a page of the program's own service is awaited by
    // the service child before the program ends.
    void openSite(QString Settings::*site);
    void openBranchLookup();
    // The thanks when the program is closed, offering the forum; false when the user cancels.
    bool farewell();
    void openServiceSettings();
    ServiceSettingsWindow* serviceSettingsWindow() const;

Q_SIGNALS:
    void overviewRequested();
    void serviceSaved(const ServiceSettings& now, const ServiceSettings& before); // the service starts again

private:
    void announce();

    ServiceLink& m_link;
    QComboBox* m_chooser = nullptr;
    std::function<std::pair<QString, QString>()> m_checkParcel;
    QPointer<ServiceSettingsWindow> m_serviceSettings;
};

} // namespace zjx
