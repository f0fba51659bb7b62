#pragma once

#include "gui/mainwindow.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

namespace zjx::test {

// Records the addresses the program opens in the browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QStringList urls;
public Q_SLOTS:
    void openUrl(const QUrl& url) { urls << url.toString(); }
};

// Prepares the platform layer for a window test: a temporary program folder, scripted message
// boxes and save dialog, a silent alert player, recorded site openings, and all hosts pointing at
// `hostPort` (an in-process test server, or an unused port).
class WindowFixture {
public:
    explicit WindowFixture(const QString& hostPort = QStringLiteral("127.0.0.1:9"));
    ~WindowFixture();

    QString folder() const { return m_dir.path(); }
    QString storePath() const;
    void writeStore(const QByteArray& bytes) const;
    QByteArray storeBytes() const;
    bool storeExists() const;
    QStringList openedUrls() const { return m_urls->urls; }

    // Builds the main window as the program does. With `released`, the version check is taken as
    // passed: its timer stopped, the query button and the parcel selector enabled.
    std::unique_ptr<MainWindow> makeWindow(bool released = true) const;
    // The released window on screen (null if it never shows); with `active`, also the window that has the keyboard.
    std::unique_ptr<MainWindow> shownWindow(bool active = false) const;
    static void release(MainWindow& window);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<UrlRecorder> m_urls;
};

} // namespace zjx::test
