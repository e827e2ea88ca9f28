#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

namespace sorvik {

/// What a reverse-geocoding answer says about a position. A field the answer lacks is absent.
struct Placemark {
    std::optional<std::string> locality;
    std::optional<std::string> subAdministrativeArea;
    std::optional<std::string> country;

    friend bool operator==(const Placemark&, const Placemark&) = default;
};

/// Reverse geocoding through the Nominatim API of OpenStreetMap ("/reverse?format=jsonv2").
///
/// Policy: QtNetwork needs an event loop, and the callers are worker threads that block, so
/// the requests run on a thread of the geocoder's own, started with the first request. One
/// request is sent per call; it carries an identifying User-Agent and the user's languages
/// (Accept-Language) and gives up after a time limit. The caller spaces the requests; the
/// geocoder keeps no cache and no state between calls.
class ReverseGeocoder {
public:
    static constexpr std::chrono::seconds requestTimeLimit { 15 };

    /// `baseURL` is the service's root, such as https://nominatim.openstreetmap.org.
    explicit ReverseGeocoder(QUrl baseURL);
    ~ReverseGeocoder();
    Q_DISABLE_COPY_MOVE(ReverseGeocoder)

    /// The first placemark of the position, or nothing when the service has none, the request
    /// fails or `stop` is requested first. Blocks the calling thread; never throws.
    std::optional<Placemark> placemark(double latitude, double longitude, std::stop_token stop);

    /// The request for a position.
    QUrl requestURL(double latitude, double longitude) const;

    /// The placemark of a Nominatim "jsonv2" answer; nothing for an error answer or text that
    /// is not such an answer.
    static std::optional<Placemark> parseAnswer(const QByteArray& body);

    /// The Accept-Language value of the user's languages, most preferred first.
    static QString acceptLanguage();
    static QString userAgent();

private:
    void startThread();

    QUrl m_baseURL;
    std::once_flag m_started;
    QThread m_thread;
    QObject* m_context = nullptr; // lives on m_thread; parent of the network manager
};

} // namespace sorvik
