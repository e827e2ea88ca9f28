#include "app/services/reverse_geocoder.h"

#include "tests/app/services/local_http_server.h"

#include <QUrlQuery>

#include <gtest/gtest.h>

#include <thread>

namespace sorvik {
namespace {

    using testing::LocalHttpServer;

    TEST(ReverseGeocoder, ParsesNominatimAnswers)
    {
        struct Case {
            const char* body;
            std::optional<Placemark> expected;
        };
        const Case cases[] = {
            { R"({"address":{"city":"Paris","county":"Paris","country":"France"}})",
                Placemark { "Paris", "Paris", "France" } },
            { R"({"address":{"town":"Hallstatt","county":"Gmunden","country":"Österreich"}})",
                Placemark { "Hallstatt", "Gmunden", "Österreich" } },
            { R"({"address":{"village":"Giethoorn","country":"Nederland"}})",
                Placemark { "Giethoorn", std::nullopt, "Nederland" } },
            { R"({"address":{"county":"Inyo County","state":"California"}})",
                Placemark { std::nullopt, "Inyo County", std::nullopt } },
            { R"({"address":{"city":"","state_district":"Upper Bavaria","country":7}})",
                Placemark { std::nullopt, "Upper Bavaria", std::nullopt } },
            { R"({"error":"Unable to geocode"})", std::nullopt },
            { R"({"place_id":1})", std::nullopt },
            { R"([])", std::nullopt },
            { "<html>busy</html>", std::nullopt },
            { "", std::nullopt },
        };
        for (const Case& item : cases)
            EXPECT_EQ(ReverseGeocoder::parseAnswer(item.body), item.expected) << item.body;
    }

    TEST(ReverseGeocoder, RequestsThePositionWithLanguageAndIdentity)
    {
        LocalHttpServer server([](const LocalHttpServer::Request&) {
            return LocalHttpServer::Response { 200,
                R"({"address":{"city":"Sydney","country":"Australia"}})" };
        });
        ReverseGeocoder geocoder(QUrl(QString::fromStdString(server.baseURL() + "/nominatim/")));
        auto placemark = geocoder.placemark(-33.8567, 151.2153, {});
        ASSERT_TRUE(placemark);
        EXPECT_EQ(*placemark, (Placemark { "Sydney", std::nullopt, "Australia" }));

        auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        const auto& request = requests.front();
        EXPECT_EQ(request.method, "GET");
        QUrl target(QString::fromStdString("http://host" + request.target));
        EXPECT_EQ(target.path(), "/nominatim/reverse");
        QUrlQuery query(target);
        EXPECT_EQ(query.queryItemValue("format"), "jsonv2");
        EXPECT_EQ(query.queryItemValue("lat"), "-33.8567");
        EXPECT_EQ(query.queryItemValue("lon"), "151.2153");
        EXPECT_NE(request.headers.at("user-agent").find("sorvik"), std::string::npos);
        EXPECT_EQ(
            request.headers.at("accept-language"), ReverseGeocoder::acceptLanguage().toStdString());
        EXPECT_FALSE(request.headers.at("accept-language").empty());
    }

    TEST(ReverseGeocoder, FailuresGiveNoPlacemark)
    {
        for (int status : { 500, 404, 429 }) {
            LocalHttpServer server([status](const LocalHttpServer::Request&) {
                return LocalHttpServer::Response { status, R"({"address":{"city":"X"}})" };
            });
            ReverseGeocoder geocoder(QUrl(QString::fromStdString(server.baseURL())));
            EXPECT_FALSE(geocoder.placemark(1, 2, {})) << status;
        }
        // Nothing listens on the port of a server that has gone.
        std::string goneURL;
        {
            LocalHttpServer gone(
                [](const LocalHttpServer::Request&) { return LocalHttpServer::Response {}; });
            goneURL = gone.baseURL();
        }
        ReverseGeocoder geocoder(QUrl(QString::fromStdString(goneURL)));
        EXPECT_FALSE(geocoder.placemark(1, 2, {}));
    }

    TEST(ReverseGeocoder, StopsWaitingWhenCancelled)
    {
        LocalHttpServer server([](const LocalHttpServer::Request&) {
            return LocalHttpServer::Response { 200, R"({"address":{"city":"Late"}})",
                std::chrono::seconds(10) };
        });
        ReverseGeocoder geocoder(QUrl(QString::fromStdString(server.baseURL())));
        std::stop_source stop;
        std::thread canceller([&] {
            while (server.requests().empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            stop.request_stop();
        });
        EXPECT_FALSE(geocoder.placemark(1, 2, stop.get_token()));
        canceller.join();
        EXPECT_FALSE(geocoder.placemark(1, 2, stop.get_token())); // stopped before sending
        EXPECT_EQ(server.requests().size(), 1u);
    }

} // namespace
} // namespace sorvik
