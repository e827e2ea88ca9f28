#include "app/services/store_services.h"

#include "app/store/renamer_store.h"
#include "tests/support/temporary_folder.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;

    TEST(StoreServices, InstallingMakesThemTheStoresDefault)
    {
        StoreServices::install();
        auto installed = RenamerStore::defaultPreviewServices();
        EXPECT_NE(dynamic_cast<StoreServices*>(installed.get()), nullptr);
        RenamerStore::setDefaultPreviewServices(nullptr);
    }

    TEST(StoreServices, AnswersComeFromTheProcessWideServices)
    {
        IsolatedHome home;
        StoreServices services;
        EXPECT_TRUE(services.metadata({}, false, {}).empty());

        FileItem missing(FileURL("/nowhere/sorvik-store-services/missing.pdf"), true, {}, {}, 0, 0);
        auto answer = services.aiMetadata(missing, AIMode::documents, 6, true, {});
        EXPECT_TRUE(answer.contains("ai.error"));
        EXPECT_FALSE(answer.contains("ai.title"));
    }

} // namespace
} // namespace sorvik
