#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// A headless Chromium driven over WebDriver by chromedriver, both as Debian
// installs them (tools/rondella.sh setup): pages opened from the disk, keys
// typed into them as a user types, scripts run in them to read what they
// show. Each call waits for its answer; a failure is kept in failure().
class WebDriver {
public:
    // A browser whose screen is `width` by `height` CSS pixels, one device
    // pixel each, as a phone's browser lays a page out.
    WebDriver(int width, int height);
    ~WebDriver();
    WebDriver(const WebDriver&) = delete;
    WebDriver& operator=(const WebDriver&) = delete;

    // Why the browser could not be started or the last call failed; empty while all is well.
    const QString& failure() const { return m_failure; }
    bool open(const QUrl& url);
    // The value a script's `return` gives, run in the page with these arguments.
    QJsonValue run(const QString& script, const QJsonArray& arguments = {});
    // The WebDriver identifier of the first element the selector finds (CSS,
    // or "xpath").
    QString element(const QString& selector, const QString& kind = QStringLiteral("css selector"));
    // The element emptied and the text typed into it, key by key as a
    // keyboard types.
    bool type(const QString& element, const QString& text);
    bool click(const QString& element);
    // The address of every request the browser made since the last call
    // (its network log).
    QStringList requested();
    // The page as the screen shows it, as PNG.
    QByteArray screenshot();

private:
    QJsonValue call(const QByteArray& method, const QString& path,
                    const QJsonValue& body = QJsonValue::Undefined);
    QProcess m_driver;
    QNetworkAccessManager m_network;
    QString m_base;
    QString m_session;
    QString m_failure;
};
