#include "webdriver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <signal.h>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

// An element's identifier in WebDriver's answers.
const QString elementKey = QStringLiteral("element-6066-11e4-a52e-4f735466cecf");

} // namespace

WebDriver::WebDriver(int width, int height)
{
    const QString driver = QStandardPaths::findExecutable(QStringLiteral("chromedriver"));
    const QString browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (driver.isEmpty() || browser.isEmpty()) {
        m_failure = QStringLiteral("chromium と chromedriver がありません（bash tools/rondella.sh "
                                   "setup で入ります）");
        return;
    }
    QTcpServer probe; // a port nobody listens on
    if (!probe.listen(QHostAddress::LocalHost)) {
        m_failure = QStringLiteral("no free port for chromedriver");
        return;
    }
    const quint16 port = probe.serverPort();
    probe.close();
    m_driver.setProcessChannelMode(QProcess::MergedChannels);
    // a test ended abruptly takes chromedriver, and so its browser, along
    m_driver.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_driver.start(driver, {QStringLiteral("--port=%1").arg(port)});
    if (!m_driver.waitForStarted(10000)) {
        m_failure = QStringLiteral("chromedriver did not start: ") + m_driver.errorString();
        return;
    }
    m_base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QDeadlineTimer ready(30000);
    while (!call("GET", QStringLiteral("/status")).toObject().value(u"ready").toBool()) {
        if (ready.hasExpired() || m_driver.state() == QProcess::NotRunning) {
            m_failure = QStringLiteral("chromedriver did not answer: ")
                + QString::fromLocal8Bit(m_driver.readAll());
            return;
        }
        QThread::msleep(100);
    }
    m_failure.clear();
    const QJsonObject chrome{
        {u"binary"_s, browser},
        {u"args"_s,
         QJsonArray{u"--headless=new"_s, u"--no-sandbox"_s, u"--disable-gpu"_s,
                    u"--disable-dev-shm-usage"_s, u"--no-first-run"_s, u"--disable-extensions"_s,
                    u"--lang=ja"_s, QStringLiteral("--window-size=%1,%2").arg(width).arg(height)}},
        {u"mobileEmulation"_s,
         QJsonObject{{u"deviceMetrics"_s,
                      QJsonObject{{u"width"_s, width},
                                  {u"height"_s, height},
                                  {u"pixelRatio"_s, 1.0},
                                  {u"touch"_s, true}}}}}};
    const QJsonObject asked{
        {u"capabilities"_s,
         QJsonObject{
             {u"alwaysMatch"_s,
              QJsonObject{{u"browserName"_s, u"chrome"_s},
                          {u"goog:chromeOptions"_s, chrome},
                          {u"goog:loggingPrefs"_s, QJsonObject{{u"performance"_s, u"ALL"_s}}}}}}}};
    m_session
        = call("POST", QStringLiteral("/session"), asked).toObject().value(u"sessionId").toString();
    if (m_session.isEmpty() && m_failure.isEmpty())
        m_failure = QStringLiteral("no browser session");
    // a page that hangs fails the call within seconds, not after WebDriver's half minute
    if (!m_session.isEmpty())
        call("POST", QStringLiteral("/session/%1/timeouts").arg(m_session),
             QJsonObject{{u"script"_s, 5000}, {u"pageLoad"_s, 60000}});
}

WebDriver::~WebDriver()
{
    if (!m_session.isEmpty())
        call("DELETE", QStringLiteral("/session/") + m_session);
    if (m_driver.state() != QProcess::NotRunning) {
        // the browser it started, also when the session could not be ended
        // (a page that hangs): chromedriver leaves it running when it goes
        const QString parent = QString::number(m_driver.processId());
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromLatin1(stat.readAll());
            const QStringList after = text.mid(text.lastIndexOf(u')') + 2).split(u' ');
            if (after.value(1) == parent)
                ::kill(pid.toInt(), SIGKILL);
        }
        m_driver.terminate();
        if (!m_driver.waitForFinished(5000)) {
            m_driver.kill();
            m_driver.waitForFinished(5000);
        }
    }
}

QJsonValue WebDriver::call(const QByteArray& method, const QString& path, const QJsonValue& body)
{
    if (m_base.isEmpty())
        return QJsonValue();
    if (!m_session.isEmpty())
        m_failure.clear();
    QNetworkRequest request(QUrl(m_base + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    const QByteArray sent = body.isUndefined()
        ? QByteArray()
        : QJsonDocument(body.isObject() ? body.toObject() : QJsonObject()).toJson();
    QNetworkReply* reply = m_network.sendCustomRequest(request, method, sent);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // within a test function's time, so that a page that hangs fails the test
    // and the browser is still ended
    QTimer::singleShot(path == u"/session" ? 60000 : 20000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const QByteArray answer = reply->isFinished() ? reply->readAll() : QByteArray();
    const bool finished = reply->isFinished();
    reply->abort();
    reply->deleteLater();
    if (!finished) {
        m_failure = QStringLiteral("WebDriver gave no answer to ") + path;
        return QJsonValue();
    }
    const QJsonValue value = QJsonDocument::fromJson(answer).object().value(u"value");
    if (value.isObject() && value.toObject().contains(u"error")) {
        m_failure = value.toObject().value(u"error").toString() + u": "
            + value.toObject().value(u"message").toString().left(600);
        return QJsonValue();
    }
    return value;
}

bool WebDriver::open(const QUrl& url)
{
    m_failure.clear();
    call("POST", QStringLiteral("/session/%1/url").arg(m_session),
         QJsonObject{{u"url"_s, url.toString(QUrl::FullyEncoded)}});
    return m_failure.isEmpty();
}

QJsonValue WebDriver::run(const QString& script, const QJsonArray& arguments)
{
    return call("POST", QStringLiteral("/session/%1/execute/sync").arg(m_session),
                QJsonObject{{u"script"_s, script}, {u"args"_s, arguments}});
}

QString WebDriver::element(const QString& selector, const QString& kind)
{
    return call("POST", QStringLiteral("/session/%1/element").arg(m_session),
                QJsonObject{{u"using"_s, kind}, {u"value"_s, selector}})
        .toObject()
        .value(elementKey)
        .toString();
}

bool WebDriver::type(const QString& element, const QString& text)
{
    m_failure.clear();
    // Ctrl+A, the keys let go, Backspace: emptied as a user empties it, so
    // that the page hears it as typing
    call("POST", QStringLiteral("/session/%1/element/%2/value").arg(m_session, element),
         QJsonObject{{u"text"_s, QString(u"\uE009a\uE000\uE003"_s + text)}});
    return m_failure.isEmpty();
}

bool WebDriver::click(const QString& element)
{
    m_failure.clear();
    call("POST", QStringLiteral("/session/%1/element/%2/click").arg(m_session, element),
         QJsonObject());
    return m_failure.isEmpty();
}

QStringList WebDriver::requested()
{
    QStringList urls;
    const QJsonArray entries = call("POST", QStringLiteral("/session/%1/se/log").arg(m_session),
                                    QJsonObject{{u"type"_s, u"performance"_s}})
                                   .toArray();
    for (const QJsonValue& entry : entries) {
        const QJsonObject message
            = QJsonDocument::fromJson(entry.toObject().value(u"message").toString().toUtf8())
                  .object()
                  .value(u"message")
                  .toObject();
        if (message.value(u"method").toString() == u"Network.requestWillBeSent")
            urls << message.value(u"params")
                        .toObject()
                        .value(u"request")
                        .toObject()
                        .value(u"url")
                        .toString();
    }
    return urls;
}

QByteArray WebDriver::screenshot()
{
    return QByteArray::fromBase64(
        call("GET", QStringLiteral("/session/%1/screenshot").arg(m_session)).toString().toLatin1());
}
