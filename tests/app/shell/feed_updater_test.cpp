#include "app/shell/feed_updater.h"

#include "app/store/user_defaults.h"
#include "engine/model/error.h"
#include "tests/app/services/local_http_server.h"
#include "tests/app/shell/update_test_support.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QSignalSpy>

#include <set>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::LocalHttpServer;

    /// A port on this computer that nothing listens on.
    int closedPort()
    {
        int descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(descriptor, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(descriptor);
        return ntohs(address.sin_port);
    }

    class FeedUpdaterTest : public ::testing::Test {
    protected:
        /// What the server serves at "/feed.json" and "/feed.json.sig".
        std::string feed = R"({"version": "0.2.0", "downloadPage": "https://sorvik.example/get",
            "releaseNotes": "Faster previews."})";
        std::optional<std::string> signature;
        int feedStatus = 200;

        LocalHttpServer server { [this](const LocalHttpServer::Request& request) {
            if (request.target == "/feed.json")
                return LocalHttpServer::Response { feedStatus, feed };
            if (request.target == "/feed.json.sig")
                return LocalHttpServer::Response { 200, signature.value_or(key.sign(feed)) };
            return LocalHttpServer::Response { 404, "" };
        } };

        BuildInfo build(std::string address = {}) const
        {
            return { "0.1.0", "7", key.publicKeyBase64(),
                address.empty() ? server.baseURL() + "/feed.json" : address };
        }

        /// A started updater of `build`.
        std::unique_ptr<FeedUpdater> started(const BuildInfo& info)
        {
            auto updater = std::make_unique<FeedUpdater>(info, driver);
            updater->start();
            EXPECT_TRUE(updater->isStarted());
            return updater;
        }

        /// The user's check, until it ends.
        std::vector<std::string> check(FeedUpdater& updater)
        {
            QSignalSpy finished(&updater, &FeedUpdater::checkFinished);
            updater.checkForUpdates();
            EXPECT_TRUE(finished.wait(30'000));
            return driver.shown;
        }

        testing::IsolatedHome home;
        testing::SigningKey key;
        testing::RecordingUpdateDriver driver;
    };

    TEST_F(FeedUpdaterTest, ANewerSignedReleaseIsOfferedWithItsPage)
    {
        auto updater = started(build());
        EXPECT_EQ(check(*updater),
            (std::vector<std::string> { "checking",
                "found 0.2.0 https://sorvik.example/get [Faster previews.] over 0.1.0" }));
        auto requests = server.requests();
        ASSERT_EQ(requests.size(), 2u);
        std::set<std::string> targets { requests[0].target, requests[1].target };
        EXPECT_EQ(targets, (std::set<std::string> { "/feed.json", "/feed.json.sig" }));
        EXPECT_EQ(requests[0].headers["user-agent"], "sorvik/0.1.0");
    }

    TEST_F(FeedUpdaterTest, TheSameOrAnOlderVersionIsUpToDate)
    {
        for (const char* version : { "0.1.0", "0.0.9" }) {
            feed = std::string(R"({"version": ")") + version
                + R"(", "downloadPage": "https://sorvik.example/get"})";
            driver.shown.clear();
            auto updater = started(build());
            EXPECT_EQ(
                check(*updater), (std::vector<std::string> { "checking", "up to date 0.1.0" }))
                << version;
        }
    }

    TEST_F(FeedUpdaterTest, AFeedThatDoesNotHoldItsSignatureIsNotRead)
    {
        testing::SigningKey other;
        for (std::string bad :
            { other.sign(feed), key.sign(feed + " "), std::string("AAAA"), std::string() }) {
            signature = bad;
            driver.shown.clear();
            auto updater = started(build());
            EXPECT_EQ(check(*updater),
                (std::vector<std::string> {
                    "checking", std::string("failed ") + FeedUpdater::badSignatureText }));
        }
    }

    TEST_F(FeedUpdaterTest, ASignedFeedThatIsNoFeedFails)
    {
        feed = R"({"version": "0.2.0", "downloadPage": "http://plain.example/get"})";
        auto updater = started(build());
        EXPECT_EQ(check(*updater),
            (std::vector<std::string> {
                "checking", std::string("failed ") + UpdateFeed::notAFeedText }));
    }

    TEST_F(FeedUpdaterTest, TooMuchIsRefused)
    {
        feed = R"({"version": "0.2.0", "downloadPage": "https://x.example/", "releaseNotes": ")"
            + std::string(UpdateFeed::feedSizeLimit, 'a') + "\"}";
        auto updater = started(build());
        EXPECT_EQ(check(*updater),
            (std::vector<std::string> {
                "checking", std::string("failed ") + FeedUpdater::tooLargeText }));
    }

    TEST_F(FeedUpdaterTest, AServerThatAnswersAnotherStatusOrNoneFails)
    {
        feedStatus = 404;
        auto updater = started(build());
        EXPECT_EQ(check(*updater),
            (std::vector<std::string> {
                "checking", std::string("failed ") + FeedUpdater::serverStatusText + "404." }));

        driver.shown.clear();
        auto unreachable
            = started(build("http://127.0.0.1:" + std::to_string(closedPort()) + "/feed.json"));
        auto shown = check(*unreachable);
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_TRUE(shown[1].starts_with("failed ")) << shown[1];
        EXPECT_GT(shown[1].size(), std::string("failed ").size());
    }

    TEST_F(FeedUpdaterTest, ABackgroundCheckShowsOnlyAnUpdateItFound)
    {
        auto updater = started(build());
        QSignalSpy finished(updater.get(), &FeedUpdater::checkFinished);
        updater->checkForUpdatesInBackground();
        ASSERT_TRUE(finished.wait(30'000));
        EXPECT_EQ(driver.shown,
            (std::vector<std::string> { "background found 0.2.0 https://sorvik.example/get [Faster "
                                        "previews.] over 0.1.0" }));

        for (bool upToDate : { true, false }) {
            driver.shown.clear();
            if (upToDate)
                feed = R"({"version": "0.1.0", "downloadPage": "https://x.example/"})";
            else
                signature = "AAAA";
            updater->checkForUpdatesInBackground();
            ASSERT_TRUE(finished.wait(30'000));
            EXPECT_TRUE(driver.shown.empty());
        }
    }

    TEST_F(FeedUpdaterTest, CancellingTheUsersCheckStopsIt)
    {
        auto updater = started(build());
        updater->checkForUpdates();
        ASSERT_TRUE(driver.cancel);
        driver.cancel();
        EXPECT_FALSE(updater->isChecking());
        testing::runEvents(200);
        EXPECT_EQ(driver.shown, std::vector<std::string> { "checking" });
    }

    TEST_F(FeedUpdaterTest, AKeyThatIsNoEd25519KeyOrAnInsecureAddressFailsTheStart)
    {
        unsigned char bytes[31] = {};
        for (std::string badKey : { std::string("key"), testing::base64(bytes, sizeof bytes) }) {
            auto info = build();
            info.updateKey = badKey;
            FeedUpdater updater(info, driver);
            try {
                updater.start();
                ADD_FAILURE() << "started with " << badKey;
            } catch (const Error& error) {
                EXPECT_STREQ(error.what(), FeedUpdater::invalidKeyText);
            }
            EXPECT_FALSE(updater.isStarted());
        }
        for (std::string address : { std::string(), std::string("http://updates.example/feed"),
                 std::string("not an address") }) {
            auto info = build();
            info.updateFeedAddress = address;
            FeedUpdater updater(info, driver);
            EXPECT_THROW(updater.start(), Error) << address;
            EXPECT_FALSE(updater.isStarted());
            // The user's check says why nothing is checked, and asks no server.
            driver.shown.clear();
            updater.checkForUpdates();
            EXPECT_EQ(driver.shown,
                std::vector<std::string> {
                    std::string("unavailable ") + FeedUpdater::insecureFeedText });
        }
        EXPECT_TRUE(server.requests().empty());
    }

    TEST_F(FeedUpdaterTest, AnUnstartedUpdaterSendsTheUserToThePackageManager)
    {
        FeedUpdater updater(build(), driver);
        updater.checkForUpdates();
        updater.checkForUpdatesInBackground();
        testing::runEvents(100);
        EXPECT_EQ(driver.shown,
            std::vector<std::string> {
                std::string("unavailable ") + FeedUpdater::packageManagerText });
        EXPECT_TRUE(server.requests().empty());
    }

    TEST_F(FeedUpdaterTest, AutomaticChecksAreOffUntilTurnedOnAndKeptInTheSettings)
    {
        FeedUpdater updater(build(), driver);
        EXPECT_FALSE(updater.automaticallyChecksForUpdates());
        updater.setAutomaticallyChecksForUpdates(true);
        EXPECT_TRUE(updater.automaticallyChecksForUpdates());
        EXPECT_EQ(UserDefaults::boolValue(FeedUpdater::automaticChecksKey), true);
        FeedUpdater next(build(), driver);
        EXPECT_TRUE(next.automaticallyChecksForUpdates());
        next.setAutomaticallyChecksForUpdates(false);
        EXPECT_FALSE(updater.automaticallyChecksForUpdates());
    }

} // namespace
} // namespace sorvik
