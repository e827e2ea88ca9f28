#include "app/services/reverse_geocoder.h"

#include "app/services/metadata_text.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrlQuery>

#include <condition_variable>
#include <memory>

namespace sorvik {

namespace {

    /// One request in flight, shared by the waiting caller and the network thread.
    struct PendingAnswer {
        std::mutex mutex;
        std::condition_variable_any finishedChanged;
        bool finished = false;
        std::optional<QByteArray> body;
        QPointer<QNetworkReply> reply; // touched on the network thread only
    };

    std::optional<std::string> text(const QJsonObject& address, const char* key)
    {
        QJsonValue value = address.value(QLatin1String(key));
        if (!value.isString() || value.toString().isEmpty())
            return std::nullopt;
        return MetadataText::cleaned(value.toString().toStdString());
    }

    std::optional<std::string> firstText(
        const QJsonObject& address, std::initializer_list<const char*> keys)
    {
        for (const char* key : keys) {
            if (auto found = text(address, key))
                return found;
        }
        return std::nullopt;
    }

} // namespace

ReverseGeocoder::ReverseGeocoder(QUrl baseURL)
    : m_baseURL(std::move(baseURL))
{
    m_thread.setObjectName("ReverseGeocoder");
}

ReverseGeocoder::~ReverseGeocoder()
{
    if (!m_context)
        return;
    QObject* context = m_context;
    QMetaObject::invokeMethod(
        context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void ReverseGeocoder::startThread()
{
    std::call_once(m_started, [this] {
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        m_thread.start();
    });
}

QUrl ReverseGeocoder::requestURL(double latitude, double longitude) const
{
    QUrl url = m_baseURL;
    QString path = url.path();
    while (path.endsWith('/'))
        path.chop(1);
    url.setPath(path + "/reverse");
    QUrlQuery query;
    query.addQueryItem("format", "jsonv2");
    query.addQueryItem("lat", QString::fromStdString(MetadataText::shortest(latitude, false)));
    query.addQueryItem("lon", QString::fromStdString(MetadataText::shortest(longitude, false)));
    url.setQuery(query);
    return url;
}

QString ReverseGeocoder::acceptLanguage()
{
    QStringList languages = QLocale::system().uiLanguages();
    languages.removeAll(QString());
    languages.removeDuplicates();
    if (languages.isEmpty() || languages == QStringList { "C" })
        return "en";
    return languages.join(", ");
}

QString ReverseGeocoder::userAgent()
{
    QString version = QCoreApplication::applicationVersion();
    return "sorvik" + (version.isEmpty() ? QString() : "/" + version)
        + " (batch file renamer for Linux; place names of photo locations)";
}

std::optional<Placemark> ReverseGeocoder::parseAnswer(const QByteArray& body)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QJsonObject answer = document.object();
    if (answer.contains("error") || !answer.value("address").isObject())
        return std::nullopt;
    QJsonObject address = answer.value("address").toObject();
    Placemark placemark;
    placemark.locality
        = firstText(address, { "city", "town", "village", "municipality", "hamlet" });
    placemark.subAdministrativeArea = firstText(address, { "county", "state_district" });
    placemark.country = text(address, "country");
    return placemark;
}

std::optional<Placemark> ReverseGeocoder::placemark(
    double latitude, double longitude, std::stop_token stop)
{
    if (stop.stop_requested())
        return std::nullopt;
    startThread();

    QNetworkRequest request(requestURL(latitude, longitude));
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setRawHeader("Accept-Language", acceptLanguage().toUtf8());
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(
        static_cast<int>(std::chrono::milliseconds(requestTimeLimit).count()));

    auto pending = std::make_shared<PendingAnswer>();
    QObject* context = m_context;
    bool posted = QMetaObject::invokeMethod(
        context,
        [context, request, pending] {
            auto* network = context->findChild<QNetworkAccessManager*>();
            if (!network)
                network = new QNetworkAccessManager(context);
            QNetworkReply* reply = network->get(request);
            pending->reply = reply;
            QObject::connect(reply, &QNetworkReply::finished, reply, [reply, pending] {
                std::optional<QByteArray> body;
                int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                if (reply->error() == QNetworkReply::NoError && status == 200)
                    body = reply->readAll();
                reply->deleteLater();
                {
                    std::lock_guard lock(pending->mutex);
                    pending->finished = true;
                    pending->body = std::move(body);
                }
                pending->finishedChanged.notify_all();
            });
        },
        Qt::QueuedConnection);
    if (!posted)
        return std::nullopt;

    std::unique_lock lock(pending->mutex);
    if (!pending->finishedChanged.wait(lock, stop, [&] { return pending->finished; })) {
        lock.unlock();
        QMetaObject::invokeMethod(
            context,
            [pending] {
                if (pending->reply)
                    pending->reply->abort();
            },
            Qt::QueuedConnection);
        return std::nullopt;
    }
    if (!pending->body)
        return std::nullopt;
    return parseAnswer(*pending->body);
}

} // namespace sorvik
